#!/usr/bin/env bash
# TCP load benchmark: the query server component alone (tcp-echo-server), a
# headless console in emulation answering GetStateRec and GetUnsavedCount,
# and a Modbus TCP peer for comparison, each with 1, 8 and 64 clients.
# Builds nothing: give it a build folder that holds the programs.
#
#   bench/tcp_load/run.sh build [--runs 3] [--seconds 5] [--warmup 1] [--clients "1 8 64"]
#
# Ports (environment): MODBUS_PORT (15020), ECHO_PORT (17777), CONSOLE_PORT (17778).
# Prints one CSV line per run, then a table with the median of the runs.
set -euo pipefail

usage() {
  echo "usage: $0 BUILD_DIR [--runs N] [--seconds S] [--warmup S] [--clients \"1 8 64\"]" >&2
  exit 2
}

[ $# -ge 1 ] || usage
BIN="$(cd "$1" && pwd)/bin"
shift
RUNS=1
SECONDS_PER_RUN=5
WARMUP=1
CLIENTS="1 8 64"
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) RUNS="$2"; shift 2 ;;
    --seconds) SECONDS_PER_RUN="$2"; shift 2 ;;
    --warmup) WARMUP="$2"; shift 2 ;;
    --clients) CLIENTS="$2"; shift 2 ;;
    *) usage ;;
  esac
done
MODBUS_PORT="${MODBUS_PORT:-15020}"
ECHO_PORT="${ECHO_PORT:-17777}"
CONSOLE_PORT="${CONSOLE_PORT:-17778}"

for program in tcp-load modbus-peer tcp-echo-server; do
  [ -x "$BIN/$program" ] || { echo "missing $BIN/$program (build the bench targets first)" >&2; exit 1; }
done

WORK="$(mktemp -d)"
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$WORK"
}
trap cleanup EXIT

# Waits until "tcp-load --probe" succeeds against the target, at most $2 seconds.
wait_for() {
  local target="$1" limit="$2" waited=0
  until "$BIN/tcp-load" $target --probe --timeout-ms 500 >/dev/null 2>&1; do
    sleep 0.2
    waited=$((waited + 1))
    [ "$waited" -lt $((limit * 5)) ] || return 1
  done
}

"$BIN/modbus-peer" --port "$MODBUS_PORT" >"$WORK/modbus-peer.log" 2>&1 &
PIDS+=($!)
"$BIN/tcp-echo-server" --port "$ECHO_PORT" >"$WORK/tcp-echo-server.log" 2>&1 &
PIDS+=($!)

CONSOLE_OK=0
if [ -x "$BIN/flotation-console" ]; then
  mkdir -p "$WORK/console"
  # Both input modules emulated (fixed answers), so that the read thread runs
  # its whole cycle, conversion, averaging, state record and dosing, without
  # serial lines; room for 64 load clients and the cycle watcher.
  printf '[System]\r\nLanPort=%s\r\nAutoStartControl=1\r\nLanServer=1\r\nLanMaxConnections=100\r\n[COM]\r\nHardReadPort=/nonexistent\r\nHardWritePort=/nonexistent\r\nServerLinkPort=/nonexistent\r\n[MySQL]\r\nDisabled=1\r\n[Emul]\r\nemul_I7017_1_flag=1\r\nemul_I7017_2_flag=1\r\n' \
    "$CONSOLE_PORT" >"$WORK/console/flotation-console.INI"
  "$BIN/flotation-console" --headless --emulate --home "$WORK/console" >"$WORK/console.log" 2>&1 &
  PIDS+=($!)
  if wait_for "--console 127.0.0.1:$CONSOLE_PORT" 20; then
    CONSOLE_OK=1
  else
    echo "console: no greeting on port $CONSOLE_PORT within 20 s; its rows are skipped" >&2
  fi
else
  echo "console: $BIN/flotation-console not built; its rows are skipped" >&2
fi
wait_for "--modbus 127.0.0.1:$MODBUS_PORT" 10 || { echo "modbus-peer does not answer" >&2; exit 1; }
wait_for "--console 127.0.0.1:$ECHO_PORT" 10 || { echo "tcp-echo-server does not answer" >&2; exit 1; }

RESULTS="$WORK/results.csv"
"$BIN/tcp-load" --csv-header | tee "$RESULTS"
measure() {
  local label="$1"
  shift
  local clients run
  for clients in $CLIENTS; do
    for run in $(seq 1 "$RUNS"); do
      "$BIN/tcp-load" "$@" --label "$label" --clients "$clients" --seconds "$SECONDS_PER_RUN" \
        --warmup "$WARMUP" --csv | tee -a "$RESULTS"
    done
  done
}

measure server-alone --console "127.0.0.1:$ECHO_PORT" --command GetStateRec --prefix PUF1
if [ "$CONSOLE_OK" = 1 ]; then
  # --watch-cycle: one more connection reads the state record's time stamp
  # every 20 ms and reports on stderr whether the acquisition kept its period.
  measure console --console "127.0.0.1:$CONSOLE_PORT" --command GetStateRec --prefix PUF1 --watch-cycle
  measure console --console "127.0.0.1:$CONSOLE_PORT" --command GetUnsavedCount --prefix PUF1 --watch-cycle
fi
measure modbus-peer --modbus "127.0.0.1:$MODBUS_PORT"

echo
echo "median of $RUNS run(s), $SECONDS_PER_RUN s each after $WARMUP s warm-up:"
printf '| %s | %s | %s | %s | %s | %s | %s |\n' what request clients "req/s" "median µs" "p99 µs" errors
printf '|---|---|---|---|---|---|---|\n'
# Groups the runs by label, request and client count (in the order measured)
# and takes the median of each column separately.
awk -F, '
  function median(list,   n, values, i, j, t) {
    n = split(list, values, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (values[j] + 0 < values[i] + 0) {
      t = values[i]; values[i] = values[j]; values[j] = t
    }
    return values[int((n + 1) / 2)]
  }
  NR > 1 {
    key = $1 SUBSEP $4 SUBSEP $5
    if (!(key in rate)) order[++count] = key
    rate[key] = rate[key] " " $8
    mid[key] = mid[key] " " $9
    p99[key] = p99[key] " " $10
    errors[key] += $11
  }
  END {
    for (i = 1; i <= count; i++) {
      split(order[i], part, SUBSEP)
      printf "| %s | %s | %s | %s | %s | %s | %s |\n", part[1], part[2], part[3],
        median(rate[order[i]]), median(mid[order[i]]), median(p99[order[i]]), errors[order[i]]
    }
  }' "$RESULTS"

