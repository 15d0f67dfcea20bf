#!/usr/bin/env bash
# Installs what is needed, builds the program (not the tests), and starts Kestrin on the demo
# configuration in examples/ with the embedded database. Every run starts from the same demo
# data: examples/run/ is made afresh. Further switches go to Kestrin:
# scripts/demo.sh /type=INPUT /test=9 is the entry station.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
KESTRIN_BUILD_TARGET="kestrin kestrin-stations" "$top/scripts/build.sh" "$top/build"
kestrin="$top/build/src/kestrin"
ini="$top/examples/demo.ini"
run="$top/examples/run"
rm -rf "$run"
mkdir -p "$run/import" "$run/export"
"$kestrin" "/ini=$ini" /initdb
sqlite3 "$run/kestrin-demo.sqlite" < "$top/examples/demo-data.sql"
sqlite3 "$run/analyser.sqlite" < "$top/examples/analyser-schema.sql"
cp "$top"/examples/orders/*.hl7 "$run/import/"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$kestrin" "/ini=$ini" "$@"
fi
echo "No display: Kestrin runs without windows; its log is in examples/run/log/. Ctrl+C stops it."
exec "$kestrin" "/ini=$ini" /headless "$@"
