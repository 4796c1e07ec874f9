#!/bin/sh
# The support page's tests in a real browser: Debian's chromium driven by
# playwright-core (from the committed lock file) under node's test runner,
# against the trvgw and trvsim of the build folder given (default build).
# Screenshots of each main view go to BUILD/browser-screenshots/.
set -e
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
missing=""
command -v chromium >/dev/null 2>&1 || missing="$missing chromium"
command -v node >/dev/null 2>&1 || missing="$missing nodejs"
command -v npm >/dev/null 2>&1 || missing="$missing npm"
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
fi
cd tests/browser
# playwright-core brings no browser of its own, and is told not to fetch one.
PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
rm -rf "$build/browser-screenshots"
TRVGW_BUILD="$build" TRVGW_SCREENSHOTS="$build/browser-screenshots" \
  node --test --test-concurrency=1 --test-timeout=240000 page.test.mjs
echo "screenshots: $build/browser-screenshots"
