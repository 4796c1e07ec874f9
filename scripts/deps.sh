#!/bin/sh
# Installs what building and testing need, on Debian 12 as root; does
# nothing for packages already there.
set -e
pkgs="cmake ninja-build g++ pkg-config python3 libgtest-dev libgmock-dev libbenchmark-dev libftdi-dev libusb-dev clang libclang-rt-14-dev libcli11-dev nlohmann-json3-dev libcpp-httplib-dev libsqlite3-dev libssl-dev openssl python3 python3-jsonschema libsystemd-dev libnats-dev libpqxx-dev"
missing=""
for p in $pkgs; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
fi
