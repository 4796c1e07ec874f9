#!/bin/sh
# Builds everything and runs the whole test suite.
#   scripts/test.sh              normal build
#   TARVIK_SANITIZE=address scripts/test.sh   ASan + UBSan
#   TARVIK_SANITIZE=thread  scripts/test.sh   TSan
#   TARVIK_TARGET=threaded_tests ...          build only that target
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
# The Python package's tests run with Debian's own pytest and interpreter;
# the chain test starts Debian's NATS server and PostgreSQL itself.
missing=""
for p in python3-pytest nats-server postgresql; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
fi
san="${TARVIK_SANITIZE:-none}"
dir="build"
[ "$san" != "none" ] && dir="build-$san"
# The benchmarks are built (not run) in the normal build only.
bench=ON
[ "$san" != "none" ] && bench=OFF
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIK_SANITIZE="$san" \
  -DTARVIK_WERROR="${TARVIK_WERROR:-OFF}" -DTARVIK_BUILD_BENCH=$bench >/dev/null
cmake --build "$dir" ${TARVIK_TARGET:+--target "$TARVIK_TARGET"}
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
(cd "$dir" && ctest --output-on-failure -j2 ${CTEST_ARGS:-})
# The gateway's support page in a real browser (the normal build only).
if [ "$san" = "none" ] && [ -z "${CTEST_ARGS:-}" ]; then
  sh scripts/browser-test.sh "$dir"
fi
