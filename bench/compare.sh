#!/usr/bin/env bash
# Runs Kestrin as the laboratory does, one whole process (`kestrin /cycle=import` on N generated
# order files, or `kestrin /cycle=export` on N queued samples, each on a fresh station with a
# durable embedded database), and a plain Python script on the same files or queue, in turns,
# RUNS times each. Prints each side's median, its spread, Kestrin's peak memory and the ratio.
#
#   bench/compare.sh import|export [N=10000] [RUNS=3] [build folder=build]
#
# The plain scripts: bench/plain_import.py (python-hl7 and sqlite3, a commit per 100 messages)
# and bench/plain_export.py (every file forced to disk, a commit per 100 samples).
#
# This machine's file system (ext4 without a journal) looks at every inode freed in the last
# minutes each time it creates a file, so a run that follows another's clean-up creates files
# at half speed or less: every run works in a folder of its own, and all go at the end.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:?import or export}"
count="${2:-10000}"
runs="${3:-3}"
build="${4:-$top/build}"
python=/usr/bin/python3 # Debian's, which has python3-hl7
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

case "$kind" in
import)
  unit="messages"
  prepare() { KESTRIN_BENCH_STATION="$run/station" KESTRIN_BENCH_COPY_TO="$run/files" "$build/bench/import_bench" "$count" >/dev/null; }
  plain() { "$python" "$top/bench/plain_import.py" "$run/files" "$run/plain.sqlite" >/dev/null; }
  handled() { find "$run/station/in/Done" -type f | wc -l; }
  ;;
export)
  unit="samples"
  prepare() { KESTRIN_BENCH_STATION="$run/station" KESTRIN_BENCH_COPY_TO="$run/queue.sqlite" "$build/bench/export_bench" "$count" >/dev/null; }
  plain() { "$python" "$top/bench/plain_export.py" "$run/queue.sqlite" "$run/out" >/dev/null; }
  handled() { find "$run/station/out" -type f | wc -l; }
  ;;
*) echo "compare.sh: import or export, not \"$kind\"" >&2; exit 2 ;;
esac

# Runs a command whole and prints N per second of its wall time.
rate() {
  local start end
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  awk -v n="$count" -v ns=$((end - start)) 'BEGIN { printf "%.0f\n", n / (ns / 1e9) }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
spread() { sort -n | awk 'NR == 1 { low = $1 } { high = $1 } END { print low " to " high }'; }
kestrin_cycle() {
  /usr/bin/time -f %M -o "$run/memory" "$build/src/kestrin" "/ini=$run/station/kestrin.ini" "/cycle=$kind" 2>/dev/null
}

kestrin_runs=() plain_runs=() memory=()
for n in $(seq "$runs"); do
  run="$work/$n"
  prepare
  kestrin_runs+=("$(rate kestrin_cycle)")
  memory+=("$(awk '{ printf "%.1f", $1 / 1024 }' "$run/memory")")
  test "$(handled)" -eq "$count" # every item went through
  plain_runs+=("$(rate plain)")
done
kestrin="$(printf '%s\n' "${kestrin_runs[@]}" | median)"
plain="$(printf '%s\n' "${plain_runs[@]}" | median)"
echo "$kind of $count $unit, whole processes, median of $runs ($unit per second):"
echo "  Kestrin       $kestrin ($(printf '%s\n' "${kestrin_runs[@]}" | spread)), peak memory $(printf '%s\n' "${memory[@]}" | spread) MiB"
echo "  plain script  $plain ($(printf '%s\n' "${plain_runs[@]}" | spread))"
awk -v k="$kestrin" -v p="$plain" 'BEGIN { printf "  Kestrin is %.1f times the plain script\n", k / p }'
