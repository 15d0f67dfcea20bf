#!/usr/bin/env bash
# Installs what is needed, builds, starts PostgreSQL for the database tests and runs every
# test. Extra arguments go to ctest (for example -R import).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
build="${KESTRIN_BUILD_DIR:-$top/build}"
"$top/scripts/build.sh" "$build" ${KESTRIN_CMAKE_ARGS:-}
if [ -z "${KESTRIN_TEST_PG:-}" ]; then
  KESTRIN_TEST_PG="$("$top/scripts/start-postgres.sh")" || true
  export KESTRIN_TEST_PG
fi
cd "$build"
ctest --output-on-failure --parallel 2 "$@"
