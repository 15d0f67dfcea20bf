#!/usr/bin/env bash
# Installs what Kestrin needs to build, run and test on Debian 12, without questions.
# Packages already present are not fetched again.
set -euo pipefail

packages=(
  g++ cmake make pkg-config clang-format
  # readiness and the watchdog under systemd (sd_notify)
  libsystemd-dev
  qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
  # Kestrin's German texts: lupdate and lrelease with their CMake functions; Qt's own German
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
  unixodbc tdsodbc libsqliteodbc
  sqlite3
  # for the tests: a PostgreSQL server and certificates for its SSL, pseudo-terminals, a general
  # HL7 reader, a T-SQL parser
  postgresql openssl socat python3 python3-hl7 sqlfluff
  # for the Debian packages: Debian's policy checker, and man to find their manual pages
  lintian man-db
  # for the menu entry's test: a display server without a screen, and a look at its windows
  xvfb x11-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
