#!/bin/sh
# Builds everything; the demo against the register simulator comes with the
# TCP transport.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
echo "Built. The demo against the register simulator is not there yet."
