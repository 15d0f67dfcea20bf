#!/usr/bin/env bash
# Configures and builds Kestrin into build/ (or the folder given as the first argument);
# further arguments go to CMake, e.g. -DKESTRIN_SANITIZE=ON. KESTRIN_BUILD_TARGET="kestrin
# kestrin-stations" builds the two programs alone.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
shift || true
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE="${KESTRIN_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)" ${KESTRIN_BUILD_TARGET:+--target $KESTRIN_BUILD_TARGET}
