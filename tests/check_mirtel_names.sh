#!/bin/sh
# libmirtel exports exactly the functions of its command tables (and the two
# without a command), and every one of them is called by some test.
#   check_mirtel_names.sh LIBMIRTEL GENERATED_DIR TESTS_DIR
set -e
lib=$1 gen=$2 tests=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' > "$tmp/symbols"
grep -v '^_Z' "$tmp/symbols" | sort > "$tmp/exported"
{ cat "$gen/mirtel_names.txt"; echo TRVG_Default; echo TRV_GetHLLibraryVersion; } | sort > "$tmp/table"
status=0
if ! cmp -s "$tmp/exported" "$tmp/table"; then
  echo "exported names and table differ (< exported, > table):"
  diff "$tmp/exported" "$tmp/table" | grep '^[<>]' | head -20
  status=1
fi
# The C++ symbols are exactly those of the entries flagged cxx (which are in
# the C list above too).
{ grep '^_Z' "$tmp/symbols" || true; } | c++filt | sed 's/(.*//' | sort > "$tmp/cxx"
if ! sort "$gen/mirtel_cxx_names.txt" | cmp -s "$tmp/cxx" -; then
  echo "C++ symbols and cxx entries differ (< exported, > table):"
  sort "$gen/mirtel_cxx_names.txt" | diff "$tmp/cxx" - | grep '^[<>]' | head -20
  status=1
fi
untested=0
while read -r f; do
  if ! grep -rqw --include='*.cpp' --include='*.c' --include='*.h' -- "$f" "$tests" "$gen"/test_mirtel_layout*.cpp; then
    echo "no test calls $f"
    untested=$((untested + 1))
  fi
done < "$tmp/table"
[ "$untested" -eq 0 ] || status=1
echo "$(wc -l < "$tmp/table") libmirtel functions, $untested named by no test"
exit $status
