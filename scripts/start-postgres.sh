#!/usr/bin/env bash
# Starts the local PostgreSQL server and makes the role and database the tests use.
# Prints the connection for KESTRIN_TEST_PG; prints nothing when it cannot (no server,
# no rights), and the PostgreSQL tests then skip and say so.
set -uo pipefail
command -v pg_lsclusters >/dev/null || exit 0
as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then su postgres -c "$*"; else sudo -n -u postgres sh -c "$*"; fi
}
if ! pg_lsclusters -h 2>/dev/null | grep -q online; then
  cluster=$(pg_lsclusters -h 2>/dev/null | awk 'NR==1 {print $1" "$2}')
  [ -n "$cluster" ] || exit 0
  if [ "$(id -u)" -eq 0 ]; then pg_ctlcluster $cluster start; else sudo -n pg_ctlcluster $cluster start; fi >/dev/null 2>&1 || exit 0
fi
port=$(pg_lsclusters -h | awk '$4=="online" {print $3; exit}')
as_postgres "psql -p $port -tAc \"select 1 from pg_roles where rolname='kestrin_test'\"" 2>/dev/null | grep -q 1 ||
  as_postgres "psql -p $port -qc \"create role kestrin_test login createdb password 'kestrin_test'\"" >/dev/null 2>&1 || exit 0
as_postgres "psql -p $port -tAc \"select 1 from pg_database where datname='kestrin_test'\"" 2>/dev/null | grep -q 1 ||
  as_postgres "createdb -p $port -O kestrin_test kestrin_test" >/dev/null 2>&1 || exit 0
echo "host=127.0.0.1 port=$port dbname=kestrin_test user=kestrin_test password=kestrin_test"
