#!/usr/bin/env python3
"""Several Kestrin stations on one PostgreSQL database while one process at a time is killed.

Three import stations (each with an import folder of its own) take order files that overlap
(every sample is ordered twice, in two folders; patients and customers recur across all three),
and three exporters publish into one export folder, where a receiver takes each file away as
the receiving system would. Each station runs `kestrin /cycle=...` again and again; every so
often one running process is killed with SIGKILL. When all work is done, every station runs
once more without kills, and the script counts what reached the database and the receiver.

    bench/stations_under_kills.py [--orders 10000] [--results 10000] [--build build] [--seed N]

The server is the one KESTRIN_TEST_PG names (libpq key=value form), else the one that
scripts/start-postgres.sh starts; a database of its own is made and dropped again.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from result_receiver import Receiver

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
STATIONS = 3


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--orders", type=int, default=10000)
    parser.add_argument("--results", type=int, default=10000)
    parser.add_argument("--build", default=os.path.join(TOP, "build"))
    parser.add_argument("--seed", type=int, default=random.randrange(1 << 31))
    return parser.parse_args()


def server():
    text = os.environ.get("KESTRIN_TEST_PG") or subprocess.run(
        [os.path.join(TOP, "scripts", "start-postgres.sh")], capture_output=True, text=True).stdout.strip()
    if not text:
        sys.exit("no PostgreSQL server: set KESTRIN_TEST_PG or run as root (scripts/start-postgres.sh)")
    return dict(pair.split("=", 1) for pair in text.split())


def psql(conn, sql):
    dsn = " ".join(f"{k}={v}" for k, v in conn.items())
    result = subprocess.run(["psql", dsn, "-qtA", "-v", "ON_ERROR_STOP=1", "-c", sql],
                            capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"psql failed: {result.stderr.strip()}\n{sql[:200]}")
    return result.stdout.strip()


def order_text(i):
    sample = f"O{i // 2:05d}"  # each sample twice, in two folders
    return "\r".join([
        f"MSH|^~\\&|KIS|HOSP|KESTRIN|LAB|20190120140503||ORM^O01|M{i:06d}|P|2.3",
        f"PID|1||P{i % 2000:04d}||Meier^Anna||19800101|F",
        "PV1|1|O|STAT^^^HOSP",
        f"ORC|NW|{sample}" + "|" * 19 + f"C{i % 300:03d}",
        f"OBR|1|{sample}||AMP^Amphetamines",
    ]) + "\r"


def write_ini(path, conn, folders):
    keys = {
        "engine": "postgres", "server": f"{conn['host']}:{conn['port']}", "database": conn["dbname"],
        "DbUser": conn["user"], "DbPassword": conn["password"], "ImportExtension": "hl7",
        "ImportMinAge": "0", "shiftlen": "8", "firstshift": "01.01.2019 06:00:00",
    }
    keys.update(folders)
    with open(path, "w") as f:
        f.writelines(f"{k}={v}\n" for k, v in keys.items())


def main():
    args = parse_args()
    print(f"seed {args.seed} (--seed repeats it)")
    rng = random.Random(args.seed)
    program = os.path.join(args.build, "src", "kestrin")
    admin = server()
    conn = dict(admin, dbname=f"kestrin_kills_{os.getpid()}")
    psql(admin, f"CREATE DATABASE {conn['dbname']}")
    work = tempfile.mkdtemp(prefix="kestrin-kills-")
    try:
        run(args, rng, program, conn, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        psql(admin, f"DROP DATABASE IF EXISTS {conn['dbname']} WITH (FORCE)")


def run(args, rng, program, conn, work):
    out, received = os.path.join(work, "out"), os.path.join(work, "received")
    os.makedirs(out)
    os.makedirs(received)
    roles = []
    for k in range(STATIONS):
        for kind in ("import", "export"):
            ini = os.path.join(work, f"{kind}{k}.ini")
            write_ini(ini, conn, {"ImportPath": f"in{k}" if kind == "import" else f"unused{k}",
                                  "ExportPath": out, "TempExportPath": f"tmp-{kind}{k}",
                                  "ComLogPath": f"log-{kind}{k}"})
            roles.append((kind, k, ini))
    subprocess.run([program, f"/ini={roles[0][2]}", "/initdb"], check=True, capture_output=True)
    psql(conn, "INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, LONG, UNIT, CUTOFF, PRINT_POS) "
               "VALUES (1, 'AMP', 'Amphetamines', 'ng/mL', '500', 1)")
    psql(conn, f"INSERT INTO SAMPLE_BASE (SAMPLE_ID, STATUS_1) SELECT 'R' || lpad(n::text, 6, '0'), 'X' "
               f"FROM generate_series(1, {args.results}) n; "
               f"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT) SELECT 'R' || lpad(n::text, 6, '0'), 1, '12' "
               f"FROM generate_series(1, {args.results}) n; "
               f"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) SELECT 'R' || lpad(n::text, 6, '0'), 1 "
               f"FROM generate_series(1, {args.results}) n")
    for k in range(STATIONS):
        os.makedirs(os.path.join(work, f"in{k}"))
    for i in range(args.orders):
        folder = os.path.join(work, f"in{(i // 2 + i % 2) % STATIONS}")  # a sample's two orders part
        with open(os.path.join(folder, f"order{i:06d}.hl7"), "w", newline="") as f:
            f.write(order_text(i))

    receiver = Receiver(out, received)
    receiver.start()
    started = time.monotonic()

    def work_left(kind, k):
        if kind == "import":
            return any(name.endswith(".hl7") for name in os.listdir(os.path.join(work, f"in{k}")))
        return psql(conn, "SELECT COUNT(*) FROM REQ2SEND") != "0"

    running, lock, kills = {}, threading.Lock(), [0]

    def station(kind, k, ini, killable):
        while work_left(kind, k):
            process = subprocess.Popen([program, f"/ini={ini}", f"/cycle={kind}"], cwd=work,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with lock:
                if killable:
                    running[(kind, k)] = process
            process.wait()
            with lock:
                running.pop((kind, k), None)
        if not killable:
            subprocess.run([program, f"/ini={ini}", f"/cycle={kind}"], cwd=work, capture_output=True)

    threads = [threading.Thread(target=station, args=(*role, True)) for role in roles]
    for thread in threads:
        thread.start()
    while any(thread.is_alive() for thread in threads):
        time.sleep(rng.uniform(0.2, 1.0))
        with lock:
            victims = list(running.values())
            if victims:
                victim = rng.choice(victims)
                if victim.poll() is None:
                    victim.send_signal(signal.SIGKILL)
                    kills[0] += 1
    # A last pass without kills files what killed processes left claimed.
    for role in roles:
        station(*role, False)
    elapsed = time.monotonic() - started
    receiver.stop = True
    receiver.join()
    report(args, conn, received, kills[0], elapsed)


def report(args, conn, received, kills, elapsed):
    stored = {}
    for line in psql(conn, "SELECT ORDER_ID, COUNT(*) FROM HL7_STRINGS WHERE STRING_DEF = 'MSH' "
                           "GROUP BY ORDER_ID").splitlines():
        order, count = line.split("|")
        stored[order] = int(count)
    orders = [f"M{i:06d}" for i in range(args.orders)]
    sent = {}
    for name in os.listdir(received):
        sample = name.split("#")[0]
        sent[sample] = sent.get(sample, 0) + 1
    results = [f"R{n:06d}" for n in range(1, args.results + 1)]
    def count(sql):
        return int(psql(conn, sql))

    orders_samples = "FROM SAMPLE_BASE s WHERE s.SAMPLE_ID LIKE 'O%'"
    print(f"{STATIONS} import stations and {STATIONS} exporters on one PostgreSQL database, "
          f"{kills} kills, {elapsed:.0f} s")
    print(f"orders:    {args.orders} given; stored once {sum(stored.get(o, 0) == 1 for o in orders)}, "
          f"twice or more {sum(stored.get(o, 0) > 1 for o in orders)}, "
          f"missing {sum(stored.get(o, 0) == 0 for o in orders)}")
    print(f"samples:   {count(f'SELECT COUNT(*) {orders_samples}')} stored; without their customer "
          f"{count(f'SELECT COUNT(*) {orders_samples} AND NOT EXISTS (SELECT 1 FROM CUSTOMER c WHERE c.CUST_ID = s.CUST_ID)')}, "
          f"without their patient "
          f"{count(f'SELECT COUNT(*) {orders_samples} AND NOT EXISTS (SELECT 1 FROM PATIENTS p WHERE p.P_ID = s.P_ID)')}")
    print(f"patients:  twice or more "
          f"{count('SELECT COUNT(*) FROM (SELECT SI_ID FROM PATIENTS GROUP BY SI_ID HAVING COUNT(*) > 1) d')}")
    print(f"results:   {args.results} queued; sent once {sum(sent.get(r, 0) == 1 for r in results)}, "
          f"twice or more {sum(sent.get(r, 0) > 1 for r in results)}, "
          f"not at all {sum(sent.get(r, 0) == 0 for r in results)}; "
          f"still queued {count('SELECT COUNT(DISTINCT SAMPLE_ID) FROM REQ2SEND')}")

if __name__ == "__main__":
    main()
