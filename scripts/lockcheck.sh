#!/bin/sh
# Builds the libraries with clang's thread-safety analysis, warnings as
# errors: every guarded field is touched under its lock, the lock order
# written down in tarvik_lib/core/trvlib_device.h holds, scoped locks are released.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
CC=clang CXX=clang++ cmake -S . -B build-lockcheck -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARVIK_THREAD_SAFETY=ON -DTARVIK_BUILD_TESTS=OFF -DTARVIK_BUILD_BENCH=OFF >/dev/null
cmake --build build-lockcheck --target tarvik mirtel velsor
