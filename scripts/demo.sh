#!/usr/bin/env bash
# Installs what is needed, builds, and starts Kestrin on the demo configuration in
# examples/ with the embedded database (created with the demo data on the first run).
# Further switches go to Kestrin: scripts/demo.sh /type=INPUT /test=9 is the entry station.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build"
kestrin="$top/build/src/kestrin"
ini="$top/examples/demo.ini"
db="$top/examples/run/kestrin-demo.sqlite"
if [ ! -f "$db" ]; then
  "$kestrin" "/ini=$ini" /initdb
  sqlite3 "$db" < "$top/examples/demo-data.sql"
fi
analyser="$top/examples/run/analyser.sqlite"
if [ ! -f "$analyser" ]; then
  sqlite3 "$analyser" < "$top/examples/analyser-schema.sql"
fi
mkdir -p "$top/examples/run/import" "$top/examples/run/export"
cp "$top"/examples/orders/*.hl7 "$top/examples/run/import/" 2>/dev/null || true
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$kestrin" "/ini=$ini" "$@"
fi
echo "No display: Kestrin runs without windows; its log is in examples/run/log/. Ctrl+C stops it."
exec "$kestrin" "/ini=$ini" /headless "$@"
