#!/usr/bin/env bash
# The windowed console on a private Xvfb display:
#   1. start-up of the real binary until the main menu is painted, --runs
#      times (default 5), median and all runs (module emulation, no
#      database, no query server);
#   2. ui_mainwindow_bench: one TimerGetLog tick, and the resident memory
#      after --seconds (default 60) with all windows of the frame created.
# Usage: bench/ui_startup/run.sh [BUILD_DIR] [--runs N] [--seconds N]
# Needs xvfb (apt-get install xvfb); the build folder must hold the programs.
set -euo pipefail
build=build
runs=5
seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
console="$build/bin/flotation-console"
bench="$build/bin/ui_mainwindow_bench"
[ -x "$console" ] && [ -x "$bench" ] || { echo "build $console and $bench first" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (apt-get install xvfb)" >&2; exit 1; }

work=$(mktemp -d)
display=:$(( 90 + RANDOM % 9 ))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display

times=()
for run in $(seq "$runs"); do
  home="$work/home$run"
  mkdir -p "$home"
  printf '[MySQL]\r\nDisabled=1\r\n[System]\r\nLanServer=0\r\n' > "$home/flotation-console.INI"
  start=$(date +%s%N)
  "$console" --home "$home" --emulate 2> "$home/stderr" &
  pid=$!
  until grep -q "main menu painted" "$home/stderr"; do
    kill -0 $pid 2>/dev/null || { cat "$home/stderr" >&2; exit 1; }
    sleep 0.002
  done
  end=$(date +%s%N)
  times+=( $(( (end - start) / 1000000 )) )
  kill -TERM $pid; wait $pid
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | sed -n "$(( (runs + 1) / 2 ))p")
echo "start-up to the main menu painted: median ${median} ms of $runs runs (${times[*]} ms)"

"$bench" --seconds "$seconds"
