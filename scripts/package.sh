#!/bin/sh
# Builds the Debian packages, checks them with lintian, installs them, builds
# a consumer against the installed files, runs the tools, and removes the
# packages again. Debian 12, as root.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
pkgs="dpkg-dev lintian file"
missing=""
for p in $pkgs; do dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"; done
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq $missing >/dev/null
fi
dir=build-pkg
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTARVIK_BUILD_TESTS=OFF -DTARVIK_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir"
rm -f "$dir"/*.deb
cmake --build "$dir" --target package >/dev/null
ls "$dir"/*.deb
# Errors fail the check; warnings are listed.
lintian --fail-on error --suppress-tags package-name-doesnt-match-sonames "$dir"/*.deb

dpkg -i "$dir"/*.deb
trap 'dpkg -P python3-tarvik tarvik-tools libtarvik-dev libtarvik1 >/dev/null' EXIT
# A consumer against the installed headers and libraries: the CMake package
# and pkg-config.
tmp=$(mktemp -d)
cmake -S tests/consumer -B "$tmp/build" >/dev/null
cmake --build "$tmp/build" >/dev/null
"$tmp/build/consumer"
cc tests/consumer/main.c -o "$tmp/pc_consumer" $(pkg-config --cflags --libs mirtel tarvik)
"$tmp/pc_consumer"
rm -rf "$tmp"
test -f /usr/share/tarvik/tarvik_en.lng
printf '$$I 0000 10 02\n' | velsor >/dev/null
trvsim --help >/dev/null
if command -v trvctl >/dev/null; then trvctl --sim status; fi
if command -v trvgw >/dev/null; then trvgw --help >/dev/null; fi
# The Python package from the installed files alone: byte-compiled by its
# postinst, the libraries found by the dynamic loader, the example against
# the installed simulator.
tmp=$(mktemp -d)
(cd "$tmp" && env -u PYTHONPATH -u TARVIK_LIBDIR /usr/bin/python3 -c \
  'import tarvik; assert tarvik.__file__.startswith("/usr/lib/python3/dist-packages/"), tarvik.__file__; print("tarvik", hex(tarvik.library_version()[0]))')
ls /usr/lib/python3/dist-packages/tarvik/__pycache__/*.pyc >/dev/null
trvsim --port 0 --card-every-ms 500 > "$tmp/sim.out" &
sim=$!
for i in $(seq 100); do grep -q '^port' "$tmp/sim.out" && break; sleep 0.1; done
port=$(awk '/^port/{print $2}' "$tmp/sim.out")
(cd "$tmp" && env -u PYTHONPATH -u TARVIK_LIBDIR /usr/bin/python3 "$OLDPWD/examples/demo.py" "tcp://127.0.0.1:$port" >/dev/null) || { kill $sim; exit 1; }
kill $sim
wait $sim || true
rm -rf "$tmp"
echo "packages ok"
