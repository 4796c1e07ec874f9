#!/bin/sh
# Every dynamic symbol a library defines must be an API name.
status=0
for lib in "$@"; do
  bad=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -vE '^(TRV_|TRVS_|TRVG_)' | grep -vE '^(_init|_fini|_edata|_end|__bss_start)$')
  if [ -n "$bad" ]; then
    echo "$lib exports non-API symbols:"; echo "$bad" | head -20; status=1
  fi
done
[ $status -eq 0 ] && echo "exports ok"
exit $status
