#!/usr/bin/env bash
# After the package "kestrin" is installed and its service has run a cycle (as .ci/run does):
# the owners and modes of its folders and files, and what an account of the ordering system,
# in the group kestrin-exchange only, may and may not do. Run as root.
#
#   packaging/check-installation.sh ACCOUNT   (an account in the group kestrin-exchange only)
set -euo pipefail
account="${1:?name an account of the ordering system}"
failed=0
say() { echo "check-installation: $*" >&2; failed=1; }

expect_mode() { # PATH "MODE OWNER:GROUP"
  local found
  found="$(stat -c '%a %U:%G' "$1")"
  [ "$found" = "$2" ] || say "$1 is $found, not $2"
}
expect_mode /etc/kestrin/kestrin.ini "640 root:kestrin"
expect_mode /var/lib/kestrin "751 kestrin:kestrin"
expect_mode /var/lib/kestrin/import "2770 kestrin:kestrin-exchange"
expect_mode /var/lib/kestrin/export "2770 kestrin:kestrin-exchange"
expect_mode /var/lib/kestrin/export-temp "2700 kestrin:kestrin-exchange"
expect_mode /var/log/kestrin "750 kestrin:kestrin"
id -nG kestrin | grep -qw kestrin-exchange || say "kestrin is not in the group kestrin-exchange"
# Made by the program at every cycle's record, whatever mask the shell that started it had
# (a new database's mode is the tests' matter: this machine may keep one from an older run).
expect_mode /var/log/kestrin/HL7.kestrin-status "640 kestrin:kestrin"
for log in /var/log/kestrin/*_log.txt; do expect_mode "$log" "640 kestrin:kestrin"; done

# The ordering system's account: the exchange folders, nothing else.
as_account() { setpriv --reuid="$account" --regid="$account" --init-groups "$@"; }
as_account sh -c ': > /var/lib/kestrin/import/.check-installation && rm /var/lib/kestrin/import/.check-installation' ||
  say "$account cannot write order files"
as_account ls /var/lib/kestrin/export >/dev/null || say "$account cannot list the result files"
for denied in "cat /etc/kestrin/kestrin.ini" "ls /var/log/kestrin" "ls /var/lib/kestrin/export-temp" "ls /var/lib/kestrin" \
  "sh -c ': >>/var/lib/kestrin/kestrin.sqlite'" "sh -c ': >/var/lib/kestrin/kestrin.sqlite-wal'"; do
  if as_account sh -c "$denied" >/dev/null 2>&1; then say "$account may: $denied"; fi
done
exit "$failed"
