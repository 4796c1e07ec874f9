#!/bin/sh
# Runs the libFuzzer targets under ASan + UBSan.
#   scripts/fuzz.sh [seconds per target]   (default 60)
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
secs="${1:-60}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARVIK_FUZZ=ON -DTARVIK_SANITIZE=address -DTARVIK_BUILD_TESTS=OFF -DTARVIK_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_frame fuzz_recv fuzz_velsor
for t in fuzz_frame fuzz_recv fuzz_velsor; do
  mkdir -p build-fuzz/corpus-$t
  build-fuzz/fuzz/$t -max_total_time="$secs" -print_final_stats=1 build-fuzz/corpus-$t fuzz/corpus/$t 2>&1 | tail -15
done
