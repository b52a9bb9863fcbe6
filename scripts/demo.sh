#!/usr/bin/env bash
# The demo: builds what it needs, makes a temporary machine-state prefix, registers the
# component, starts the simulated Call Control Manager, points the component at it and runs two
# debuggers: extension 101 answers automatically, extension 100 dials 101 automatically. It shows
# the message flow of both and stops by itself after a few calls, cleaning up behind it.
set -euo pipefail
cd "$(dirname "$0")/.."

calls=${KIV_DEMO_CALLS:-3}
build=build

bash scripts/install-deps.sh
echo "==== building (preset default)"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" \
  --target Corvane CvnDebug ccmsim reg regsvr >/dev/null

work=$(mktemp -d /tmp/kiv-demo-XXXXXX)
export KIV_PREFIX="$work/prefix"
mkdir -p "$KIV_PREFIX/drive_c/temp"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "==== registering the component in a fresh prefix ($KIV_PREFIX)"
"$build/bin/regsvr" "$PWD/$build/lib/libCorvane.so"

echo "==== starting the simulator"
mkfifo "$work/sim.in" "$work/answerer.in" "$work/dialler.in"
"$build/bin/ccmsim" --listen 127.0.0.1:0 <"$work/sim.in" >"$work/sim.out" 2>&1 &
pids+=($!)
exec 3>"$work/sim.in"
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.out" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the simulator did not start"; cat "$work/sim.out"; exit 1; }
echo "simulator listening on 127.0.0.1:$port"
"$build/bin/reg" add 'HKLM\Software\KIV\Corvane' /v ServerIPAddr /t REG_SZ /d 127.0.0.1 /f >/dev/null
"$build/bin/reg" add 'HKLM\Software\KIV\Corvane' /v ServerPortId /t REG_SZ /d "$port" /f >/dev/null

echo "==== two debuggers: 101 answers automatically, 100 dials 101 every second"
"$build/bin/CvnDebug" 101 <"$work/answerer.in" >"$work/answerer.out" 2>&1 &
pids+=($!)
exec 4>"$work/answerer.in"
"$build/bin/CvnDebug" 100 <"$work/dialler.in" >"$work/dialler.out" 2>&1 &
pids+=($!)
exec 5>"$work/dialler.in"

# Waits up to $4 seconds until the text $2 stands on at least $3 lines of the file $1.
wait_for_count() {
  for _ in $(seq 1 $(( $4 * 10 ))); do
    [ "$(grep -c -- "$2" "$1" || true)" -ge "$3" ] && return 0
    sleep 0.1
  done
  return 1
}
wait_for() { wait_for_count "$1" "$2" 1 "$3"; }
wait_for "$work/answerer.out" "eRegisterReply" 10 || { echo "101 did not register"; cat "$work/answerer.out"; exit 1; }
wait_for "$work/dialler.out" "eRegisterReply" 10 || { echo "100 did not register"; cat "$work/dialler.out"; exit 1; }
echo "autoans 1" >&4
echo "autodial 101 1" >&5

status=0
if ! wait_for "$work/answerer.out" "Number of calls answered: $calls" $(( calls * 8 + 10 )); then
  echo "**** the automatic test did not complete $calls calls"
  status=1
fi
echo "stopat" >&5
echo "stopat" >&4
# The last call ends when the answerer hangs up: the dialler then gets its on-hook reply.
wait_for_count "$work/dialler.out" "eOnhookReply" "$calls" 10 || true
echo "exit" >&5
echo "exit" >&4
exec 4>&- 5>&-
wait "${pids[1]}" "${pids[2]}" 2>/dev/null || true
echo "quit" >&3
exec 3>&-
wait "${pids[0]}" 2>/dev/null || true
pids=()

echo
echo "==== what the dialling debugger (100) saw"
cat "$work/dialler.out"
echo
echo "==== what the answering debugger (101) saw"
cat "$work/answerer.out"
echo
echo "==== summary"
echo "calls made by 100:     $(grep -c '^Number of calls made:' "$work/dialler.out" || true)"
echo "calls answered by 101: $(grep -c '^Number of calls answered:' "$work/answerer.out" || true)"
exit $status
