#!/bin/sh
# Installs the build into a scratch prefix and builds a consumer against it,
# once through the CMake package and once through pkg-config.
set -e
build="$1"; src="$2"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
cmake -S "$src" -B "$tmp/build" -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
cmake --build "$tmp/build" >/dev/null
LD_LIBRARY_PATH="$tmp/prefix/lib" "$tmp/build/consumer"
LD_LIBRARY_PATH="$tmp/prefix/lib" "$tmp/build/consumer_cxx"
PKG_CONFIG_PATH="$tmp/prefix/lib/pkgconfig" cc "$src/main.c" -o "$tmp/pc_consumer" \
  $(PKG_CONFIG_PATH="$tmp/prefix/lib/pkgconfig" pkg-config --cflags --libs mirtel tarvik)
LD_LIBRARY_PATH="$tmp/prefix/lib" "$tmp/pc_consumer"
test -f "$tmp/prefix/share/tarvik/tarvik_en.lng" || { echo "language files not installed"; exit 1; }
