#!/bin/sh
# Builds everything, starts the register simulator on a free loopback port,
# runs the demo application against it, lists the frames of the log with
# velsor, and stops the simulator.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The register: busy for 1.5 s after a report, a card swiped every 2 s.
mkfifo "$work/sim.out"
build/trvsim --port 0 --busy-ms 1500 --card-every-ms 2000 --log "$work/sim_log.txt" > "$work/sim.out" &
sim_pid=$!
read -r word port < "$work/sim.out"
[ "$word" = "port" ] || { echo "trvsim did not start"; exit 1; }
cat "$work/sim.out" > /dev/null &
echo "== trvsim listens on 127.0.0.1:$port"
echo

# Status texts come from the language files of the source tree.
status=0
(cd "$work" && TARVIK_LIB_SHARE_DIR="$OLDPWD/lang" "$OLDPWD/build/demo" 127.0.0.1 "$port" demo_log.txt) || status=$?

echo
echo "== The first frames of the library's log, turned back into frames by velsor"
echo "   (each block: a header line, \"Ramka wysłana\" sent or \"Ramka odebrana\" received, in ISO-8859-2, then the bytes):"
build/velsor < "$work/demo_log.txt" | head -c 192 | od -A d -t x1z -v
echo "   ($(build/velsor < "$work/demo_log.txt" | grep -ac '^Ramka') frames in the log)"
exit $status
