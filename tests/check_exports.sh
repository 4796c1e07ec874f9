#!/bin/sh
# Every dynamic symbol a library defines must be an API name. One function,
# TRVS_TcpClose, is exported with C++ linkage as well (C++ callers see it so
# declared); its one mangled symbol, for
# TRVS_TcpClose(void*, void**, unsigned char), is the only other name allowed.
status=0
for lib in "$@"; do
  bad=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -vE '^(TRV_|TRVS_|TRVG_)' \
    | grep -vE '^(_init|_fini|_edata|_end|__bss_start)$' | grep -vx '_Z13TRVS_TcpClosePvPS_h')
  if [ -n "$bad" ]; then
    echo "$lib exports non-API symbols:"; echo "$bad" | head -20; status=1
  fi
done
[ $status -eq 0 ] && echo "exports ok"
exit $status
