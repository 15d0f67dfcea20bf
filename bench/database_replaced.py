#!/usr/bin/env python3
"""The embedded database moved away and replaced under a running Kestrin service.

One `kestrin /headless` works on an embedded database while order files arrive and results are
queued. Again and again the database file is moved away with its journal files (a cleanup
script, a restore) and a copy of it is put in its place (a technician's copy), at once or after
a pause in which there is no file at all. At the end the service stops, one `kestrin /cycle=all`
does what is left, and the script counts what the file at the database's path holds against
what reached the Done folder and the receiver:

    orders filed but not stored: in Done, but not in the database (lost)
    results dequeued but not published: gone from the queue, never received (lost)
    re-sent: results received more than once

    bench/database_replaced.py [--replacements 20] [--orders 2000] [--results 2000] [--build build] [--seed N]
"""
import argparse
import os
import random
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import threading
import time

from result_receiver import Receiver

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PARTS = ("", "-wal", "-shm")


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--replacements", type=int, default=20)
    parser.add_argument("--orders", type=int, default=2000)
    parser.add_argument("--results", type=int, default=2000)
    parser.add_argument("--build", default=os.path.join(TOP, "build"))
    parser.add_argument("--seed", type=int, default=random.randrange(1 << 31))
    return parser.parse_args()


def order_text(i):
    sample = f"O{i:06d}"
    return "\r".join([
        f"MSH|^~\\&|KIS|HOSP|KESTRIN|LAB|20190120140503||ORM^O01|M{i:06d}|P|2.3",
        f"PID|1||P{i % 500:04d}||Meier^Anna||19800101|F",
        f"ORC|NW|{sample}",
        f"OBR|1|{sample}||AMP^Amphetamines",
    ]) + "\r"


def connect(path):
    """The file at the path, never a new one."""
    return sqlite3.connect(f"file:{path}?mode=rw", uri=True, timeout=30, isolation_level=None)


def main():
    args = parse_args()
    print(f"seed {args.seed} (--seed repeats it)")
    program = os.path.join(args.build, "src", "kestrin")
    work = tempfile.mkdtemp(prefix="kestrin-replaced-")
    try:
        run(args, random.Random(args.seed), program, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(args, rng, program, work):
    database = os.path.join(work, "lab.sqlite")
    folders = {name: os.path.join(work, name) for name in ("in", "out", "received", "away")}
    for folder in folders.values():
        os.makedirs(folder)
    ini = os.path.join(work, "lab.ini")
    with open(ini, "w") as f:
        f.write("engine=sqlite\ndatabase=lab.sqlite\nImportPath=in\nExportPath=out\nTempExportPath=tmp\n"
                "ComLogPath=log\nImportExtension=hl7\nImportMinAge=0\nImportCycle=0\nExportCycle=1\n"
                "ExportLeader=ORU_\nExportExtension=.hl7\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n")
    subprocess.run([program, f"/ini={ini}", "/initdb"], check=True, capture_output=True)
    db = connect(database)
    db.execute("INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, LONG, UNIT, CUTOFF, PRINT_POS) "
               "VALUES (1, 'AMP', 'Amphetamines', 'ng/mL', '500', 1)")
    db.close()

    # The laboratory's software queues results while nobody moves the file: it is not what is tried here.
    holding = threading.Lock()
    service = subprocess.Popen([program, f"/ini={ini}", "/headless"], cwd=work,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        receiver = Receiver(folders["out"], folders["received"])
        receiver.start()
        started = time.monotonic()

        def feed():
            orders, results = 0, 0
            while orders < args.orders or results < args.results:
                for i in range(orders, min(orders + 40, args.orders)):
                    with open(os.path.join(folders["in"], f"order{i:06d}.hl7"), "w", newline="") as f:
                        f.write(order_text(i))
                orders = min(orders + 40, args.orders)
                batch = [f"R{n:06d}" for n in range(results, min(results + 40, args.results))]
                if batch:
                    with holding:
                        db = connect(database)
                        db.execute("BEGIN IMMEDIATE")
                        db.executemany("INSERT INTO SAMPLE_BASE (SAMPLE_ID, STATUS_1) VALUES (?, 'X')",
                                       [(s,) for s in batch])
                        db.executemany("INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT) VALUES (?, 1, '12')",
                                       [(s,) for s in batch])
                        db.executemany("INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, 1)",
                                       [(s,) for s in batch])
                        db.execute("COMMIT")
                        db.close()
                    results += len(batch)
                time.sleep(rng.uniform(0.2, 0.6))

        feeder = threading.Thread(target=feed)
        feeder.start()
        pauses = 0
        for round_ in range(args.replacements):
            time.sleep(rng.uniform(0.5, 2.0))
            with holding:
                # Copied while the file's write lock is held, as a backup tool does: what the copy
                # lacks was not committed yet. The copy becomes the file at the path; the file
                # itself, still open in the service, is moved away with its journal files.
                lock = connect(database)
                lock.execute("BEGIN IMMEDIATE")
                for part in PARTS[:2]:
                    if os.path.exists(database + part):
                        shutil.copyfile(database + part, os.path.join(work, "copy.sqlite" + part))
                for part in PARTS:
                    if os.path.exists(database + part):
                        os.replace(database + part, os.path.join(folders["away"], "lab.sqlite" + part))
                lock.execute("ROLLBACK")
                lock.close()
                if round_ % 2:
                    pauses += 1
                    time.sleep(rng.uniform(1.0, 4.0))  # no file at all: the service waits
                for part in PARTS[:2]:
                    if os.path.exists(os.path.join(work, "copy.sqlite" + part)):
                        os.replace(os.path.join(work, "copy.sqlite" + part), database + part)
        feeder.join()
        time.sleep(3)  # a cycle or two on the last file before the counting begins

        # Until everything has gone through, or no more progresses.
        def left():
            db = connect(database)
            queued = db.execute("SELECT COUNT(*) FROM REQ2SEND").fetchone()[0]
            db.close()
            return queued + sum(name.endswith(".hl7") for name in os.listdir(folders["in"]))
        last, still = None, 0
        while still < 30:
            now = left()
            if now == 0:
                break
            still = still + 1 if now == last else 0
            last = now
            time.sleep(1)
        service.send_signal(signal.SIGTERM)
        stop_status = service.wait()
    finally:
        if service.poll() is None:  # the script failed: no service is left running
            service.kill()
    subprocess.run([program, f"/ini={ini}", "/cycle=all"], cwd=work, capture_output=True)
    elapsed = time.monotonic() - started
    receiver.stop = True
    receiver.join()
    report(args, work, database, folders, pauses, stop_status, elapsed)


def report(args, work, database, folders, pauses, stop_status, elapsed):
    db = connect(database)
    stored = dict(db.execute("SELECT ORDER_ID, COUNT(*) FROM HL7_STRINGS WHERE STRING_DEF = 'MSH' GROUP BY ORDER_ID"))
    queued = {row[0] for row in db.execute("SELECT DISTINCT SAMPLE_ID FROM REQ2SEND")}
    db.close()
    done = [name for name in os.listdir(os.path.join(folders["in"], "Done"))]
    filed = {"M" + name[len("order"):-len(".hl7")] for name in done}
    sent = {}
    for name in os.listdir(folders["received"]):
        sample = name.split("#")[0][len("ORU_"):-len(".hl7")]
        sent[sample] = sent.get(sample, 0) + 1
    results = [f"R{n:06d}" for n in range(args.results)]
    log_lines = []
    for name in os.listdir(os.path.join(work, "log")):
        if name.endswith("_log.txt"):
            with open(os.path.join(work, "log", name), encoding="latin-1") as f:
                log_lines += f.read().splitlines()
    said = sum("is missing (moved or deleted)" in line or "was replaced by another file" in line for line in log_lines)
    mended = sum("is open again" in line for line in log_lines)
    print(f"{args.replacements} replacements of the database under one kestrin /headless ({pauses} with a pause "
          f"without a file), {args.orders} orders, {args.results} results, {elapsed:.0f} s; stopped with {stop_status}")
    print(f"orders:   filed into Done {len(done)}; filed but not stored {sum(o not in stored for o in filed)}; "
          f"stored twice or more {sum(count > 1 for count in stored.values())}; "
          f"not filed {args.orders - len(done)}")
    print(f"results:  queued {args.results}; dequeued but not published "
          f"{sum(r not in queued and r not in sent for r in results)}; "
          f"re-sent {sum(sent.get(r, 0) > 1 for r in results)}; still queued {len(queued)}")
    print(f"log:      the trouble said {said} times, mended {mended} times")


if __name__ == "__main__":
    main()
