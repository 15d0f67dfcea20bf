#!/usr/bin/env bash
# Installs what is needed, builds, and starts Kestrin on the demo configuration in
# examples/ with the embedded database.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build"
exec "$top/build/src/kestrin" "/ini=$top/examples/demo.ini" /check
