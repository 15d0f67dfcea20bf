#!/usr/bin/env bash
# Runs Kestrin's export and a plain Python script (sqlite3, every file forced to disk) on the
# same queue, three times each, and prints the medians and their ratio.
#
#   bench/compare_export.sh [N=10000] [build folder=build]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
count="${1:-10000}"
build="${2:-$top/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

median() { sort -n | sed -n 2p; }
kestrin_runs=() plain_runs=()
for run in 1 2 3; do
  rm -rf "$work/out" "$work/queue.sqlite"*
  out="$(KESTRIN_BENCH_COPY_TO="$work/queue.sqlite" "$build/bench/export_bench" "$count")"
  kestrin_runs+=("$(sed -n 's/.*: \([0-9]*\) samples per second/\1/p' <<<"$out")")
  out="$(python3 "$top/bench/plain_export.py" "$work/queue.sqlite" "$work/out")"
  plain_runs+=("$(sed -n 's/.*: \([0-9]*\) samples per second/\1/p' <<<"$out")")
done
kestrin="$(printf '%s\n' "${kestrin_runs[@]}" | median)"
plain="$(printf '%s\n' "${plain_runs[@]}" | median)"
echo "export of $count queued samples, median of 3 (samples per second):"
echo "  Kestrin       $kestrin (${kestrin_runs[*]})"
echo "  plain script  $plain (${plain_runs[*]})"
awk -v k="$kestrin" -v p="$plain" 'BEGIN { printf "  Kestrin is %.1f times the plain script\n", k / p }'
