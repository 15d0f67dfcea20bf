#!/usr/bin/env bash
# Runs Kestrin's import and a plain Python script (python-hl7 and sqlite3, durable) on the
# same generated order files, three times each, and prints the medians and their ratio.
#
#   bench/compare_import.sh [N=10000] [build folder=build]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
count="${1:-10000}"
build="${2:-$top/build}"
python=/usr/bin/python3 # Debian's, which has python3-hl7
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

median() { sort -n | sed -n 2p; }
kestrin_runs=() plain_runs=()
for run in 1 2 3; do
  rm -rf "$work/files" "$work/plain.sqlite"*
  out="$(KESTRIN_BENCH_COPY_TO="$work/files" "$build/bench/import_bench" "$count")"
  kestrin_runs+=("$(sed -n 's/.*: \([0-9]*\) messages per second/\1/p' <<<"$out")")
  out="$("$python" "$top/bench/plain_import.py" "$work/files" "$work/plain.sqlite")"
  plain_runs+=("$(sed -n 's/.*: \([0-9]*\) messages per second/\1/p' <<<"$out")")
done
kestrin="$(printf '%s\n' "${kestrin_runs[@]}" | median)"
plain="$(printf '%s\n' "${plain_runs[@]}" | median)"
echo "import of $count order files, median of 3 (messages per second):"
echo "  Kestrin       $kestrin (${kestrin_runs[*]})"
echo "  plain script  $plain (${plain_runs[*]})"
awk -v k="$kestrin" -v p="$plain" 'BEGIN { printf "  Kestrin is %.1f times the plain script\n", k / p }'
