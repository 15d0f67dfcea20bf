#!/usr/bin/env bash
# The order import on the PostgreSQL server that KESTRIN_TEST_PG names, as if that server stood
# across the network: bench/latency_proxy.py between the two holds every chunk back DELAY_MS
# milliseconds each way (0 runs without the proxy). Runs import_bench RUNS times and prints
# each run's lines and the median messages per second.
#
#   bench/import_over_network.sh [DELAY_MS=0.5] [N=10000] [RUNS=3] [BUILD=build]
set -euo pipefail
delay=${1:-0.5}
count=${2:-10000}
runs=${3:-3}
build=${4:-build}
here=$(cd "$(dirname "$0")" && pwd)
: "${KESTRIN_TEST_PG:?set KESTRIN_TEST_PG (scripts/start-postgres.sh prints it)}"

connection=$KESTRIN_TEST_PG
proxy=
if [ "$delay" != 0 ]; then
  server_host=$(sed -n 's/.*host=\([^ ]*\).*/\1/p' <<<"$KESTRIN_TEST_PG")
  server_port=$(sed -n 's/.*port=\([^ ]*\).*/\1/p' <<<"$KESTRIN_TEST_PG")
  listen_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  python3 "$here/latency_proxy.py" --delay-ms "$delay" --listen "127.0.0.1:$listen_port" \
    --target "${server_host:-127.0.0.1}:${server_port:-5432}" &
  proxy=$!
  trap 'kill $proxy 2>/dev/null; wait $proxy 2>/dev/null || true' EXIT
  sleep 0.5
  connection=$(sed "s/host=[^ ]*/host=127.0.0.1/; s/port=[^ ]*/port=$listen_port/" <<<"$KESTRIN_TEST_PG")
fi

rates=()
for _ in $(seq "$runs"); do
  output=$(KESTRIN_TEST_PG=$connection "$build/bench/import_bench" "$count" 100 postgres)
  echo "$output"
  rates+=("$(sed -n 's/.*s: \([0-9]*\) messages per second.*/\1/p' <<<"$output")")
done
median=$(printf '%s\n' "${rates[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "median of $runs runs, $delay ms each way: $median messages per second (runs: ${rates[*]})"
