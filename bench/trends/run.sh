#!/usr/bin/env bash
# The trend benchmarks in one run, medians of --repetitions (default 5):
#   1. trends_graph_bench offscreen, then on a private Xvfb display: the level
#      graph's redraw and cursor move, QtCharts drawing the same lines;
#   2. on one private MariaDB (scripts/mariadb): trends_reload_bench, a day's
#      reload of a flotation window next to the mariadb client and a bare
#      QSqlQuery, then trends_memory_bench --memory-runs times (default 3)
#      and the median of what five windows add.
# Usage: bench/trends/run.sh [BUILD_DIR] [--repetitions N] [--memory-runs N]
# The build folder must hold the three programs; the Xvfb part is skipped
# with a note when Xvfb is not installed (apt-get install xvfb).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build
repetitions=5
memory_runs=3
while [ $# -gt 0 ]; do
  case "$1" in
    --repetitions) repetitions=$2; shift 2 ;;
    --memory-runs) memory_runs=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
graph="$build/bin/trends_graph_bench"
reload="$build/bin/trends_reload_bench"
memory="$build/bin/trends_memory_bench"
for program in "$graph" "$reload" "$memory"; do
  [ -x "$program" ] || { echo "build $program first" >&2; exit 1; }
done
aggregates=(--benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true)

work=$(mktemp -d)
xvfb=
server_started=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  [ -n "$server_started" ] && scripts/mariadb stop "$work/mariadb" >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

echo "== level graph and QtCharts, offscreen"
QT_QPA_PLATFORM=offscreen "$graph" "${aggregates[@]}"

echo
echo "== level graph and QtCharts, Xvfb"
if command -v Xvfb >/dev/null; then
  # Xvfb picks a free display and writes its number once it accepts clients.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
  # A failure here (a display that went away) leaves the database part to run.
  DISPLAY=:$(head -n 1 "$work/display") QT_QPA_PLATFORM=xcb "$graph" "${aggregates[@]}" ||
    echo "the run on Xvfb failed"
  kill "$xvfb"; wait "$xvfb" 2>/dev/null || true; xvfb=
else
  echo "skipped: Xvfb is not installed"
fi

echo
echo "== a day's reload, private MariaDB"
scripts/mariadb start "$work/mariadb" >/dev/null
server_started=1
export FLOT_MARIADB_DIR="$work/mariadb"
QT_QPA_PLATFORM=offscreen "$reload" "${aggregates[@]}"

echo
echo "== memory of the trend windows ($memory_runs runs)"
added=()
for run in $(seq "$memory_runs"); do
  QT_QPA_PLATFORM=offscreen "$memory" > "$work/memory$run"
  [ "$run" -eq 1 ] && cat "$work/memory$run"
  added+=( "$(sed -n 's/^five trend windows add \([0-9.]*\) MB.*/\1/p' "$work/memory$run")" )
done
median=$(printf '%s\n' "${added[@]}" | sort -n | sed -n "$(( (memory_runs + 1) / 2 ))p")
echo "five trend windows add, median of $memory_runs runs: $median MB (runs: ${added[*]} MB; goal: under 30 MB)"
