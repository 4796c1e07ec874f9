# bash completion for trvctl: trvctl itself says which words may follow.
_trvctl() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local IFS=$'\n'
    COMPREPLY=($(trvctl __complete "${COMP_WORDS[@]:1:COMP_CWORD}" 2>/dev/null))
    if [ ${#COMPREPLY[@]} -eq 0 ]; then
        COMPREPLY=($(compgen -f -- "$cur"))
    elif [ ${#COMPREPLY[@]} -eq 1 ] && [ "${COMPREPLY[0]%=}" != "${COMPREPLY[0]}" ]; then
        compopt -o nospace 2>/dev/null
    fi
}
complete -F _trvctl trvctl
