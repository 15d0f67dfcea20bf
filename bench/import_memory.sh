#!/usr/bin/env bash
# Peak memory of `kestrin /cycle=import` on one order file of SIZE bytes (default 10 MiB, the
# default ImportMaxBytes) built to cost a parser the most: a PID-5 of nothing but "^", a million
# unknown segments, one segment of nothing but "|", a note of nothing but blanks, a plain order
# with a remark that fills the file. Each runs alone on a fresh embedded database; the line
# gives the process's peak (resident set), the same for an empty import folder, and the file's
# share of the difference as a multiple of its size.
#
#   bench/import_memory.sh [SIZE=10485760] [build folder=build]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
size="${1:-10485760}"
build="${2:-$top/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The file's lines, padded with the character that costs most to SIZE bytes.
make_order() {
  python3 - "$1" "$size" "$2" <<'EOF'
import sys
path, size, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
head = "MSH|^~\\&|KIS|HOSP|KESTRIN|LAB|20261207081502||ORM^O01|M1|P|2.3\r"
pid = "PID|1||P1||Doe^John||19791103|M\r"
order = "ORC|NW|26009001\rOBR|1|26009001||AMP^Amphetamines\r"
def fill(before, char, after=""):
    return before + char * (size - len(before) - len(after)) + after
if kind == "components":
    text = fill(head + "PID|1||P1||", "^", "|19791103|M\r" + order)
elif kind == "segments":
    text = head + pid + order + "Z\r" * ((size - len(head + pid + order)) // 2)
elif kind == "fields":
    text = fill(head + pid + order + "ZZZ", "|", "\r")
elif kind == "blanks":
    text = fill(head + pid + order + "NTE|1|L|", " ", "\r")
elif kind == "remark":
    text = fill(head + pid + order + "NTE|1|L|", "x", "\r")
with open(path, "w", encoding="ascii", newline="") as f:
    f.write(text)
EOF
}

# One station, one cycle; prints the peak in KiB.
peak_of() {
  local station="$work/$1"
  mkdir -p "$station/in"
  cat >"$station/kestrin.ini" <<EOF
engine=sqlite
database=lab.sqlite
ImportPath=in
TempExportPath=tmp
ExportPath=out
ComLogPath=log
shiftlen=8
firstshift=01.01.2019 06:00:00
ImportExtension=hl7
ImportMinAge=0
ImportMaxBytes=$size
CancelSign=CA
STDSampleMat=S
EOF
  mkdir -p "$station/out"
  "$build/src/kestrin" "/ini=$station/kestrin.ini" /initdb >/dev/null
  [ "$1" = empty ] || make_order "$station/in/order.hl7" "$1"
  /usr/bin/time -f %M -o "$station/memory" "$build/src/kestrin" "/ini=$station/kestrin.ini" /cycle=import \
    >/dev/null 2>&1 || true
  tail -n 1 "$station/memory" # after "Command exited with non-zero status" where it failed
}

base=$(peak_of empty)
echo "import_memory: one order file of $size bytes; an empty import folder peaks at $((base / 1024)) MiB"
for kind in components segments fields blanks remark; do
  peak=$(peak_of "$kind")
  awk -v k="$kind" -v p="$peak" -v b="$base" -v s="$size" \
    'BEGIN { printf "  %-10s peak %4.0f MiB, the file %5.1f x its size\n", k, p / 1024, (p - b) * 1024 / s }'
done
