#!/usr/bin/env python3
"""A plain export script for comparison with Kestrin: the same queue (a copy of the database
export_bench fills), one ORU^R01 file per queued sample written under a temporary name, forced
to disk and renamed into the export folder, the queue rows deleted with a commit per 100 samples.

    plain_export.py <database file> <export folder>
"""
import os
import sqlite3
import sys
import time
from datetime import datetime

database, folder = sys.argv[1], sys.argv[2]
os.makedirs(folder, exist_ok=True)
db = sqlite3.connect(database)
db.execute("PRAGMA journal_mode=WAL")
db.execute("PRAGMA synchronous=FULL")
tests = {row[0]: row[1:] for row in db.execute("SELECT PARAMETER_ID, IMP_CODE_LDT, LONG, UNIT, CUTOFF FROM TEST_DEF")}
samples = [row[0] for row in db.execute("SELECT DISTINCT SAMPLE_ID FROM REQ2SEND ORDER BY SAMPLE_ID")]
start = time.perf_counter()
done = []
for sample in samples:
    status, changed = db.execute("SELECT STATUS_1, LAST_CHANGE_DAT FROM SAMPLE_BASE WHERE SAMPLE_ID = ?",
                                 (sample,)).fetchone()
    lines = ["MSH|^~\\&|KESTRIN||KIS||%s||ORU^R01|%s|P|2.3" % (datetime.now().strftime("%d.%m.%Y %H:%M:%S"), sample)]
    for kind in ("PID", "PV1"):
        row = db.execute("SELECT STRING_TEXT FROM HL7_STRINGS WHERE ORDER_ID = ? AND STRING_DEF = ?",
                         (status, kind)).fetchone()
        lines.append(row[0] if row else "")
    left = db.execute("SELECT COUNT(*) FROM REQUEST WHERE SAMPLE_ID = ?", (sample,)).fetchone()[0]
    lines.append("OBR|1|%s|DRUGSCREEN||||%s" % (sample, changed) + "|" * 18 + ("P" if left else "F"))
    n = 0
    for parameter, result, interpretation in db.execute(
            "SELECT PARAMETER_ID, RESULT, INTERPRETATION FROM RESULTS WHERE SAMPLE_ID = ?", (sample,)):
        n += 1
        code, name, unit, cutoff = tests.get(parameter, ("", "", "", ""))
        lines.append("OBX|%d|NM|%s^%s||%s|%s|%s|%s|||F" % (n, code, name, result, unit, cutoff, interpretation))
    for (parameter,) in db.execute("SELECT PARAMETER_ID FROM REQUEST WHERE SAMPLE_ID = ?", (sample,)):
        n += 1
        code, name, unit, cutoff = tests.get(parameter, ("", "", "", ""))
        lines.append("OBX|%d|NM|%s^%s||offen|%s|%s|offen|||O" % (n, code, name, unit, cutoff))
    final = os.path.join(folder, "ORU_%s.hl7" % sample)
    temporary = final + ".tmp"
    with open(temporary, "w", encoding="cp1252", newline="") as f:
        f.write("".join(line + "\r\n" for line in lines))
        f.flush()
        os.fsync(f.fileno())
    os.rename(temporary, final)
    done.append(sample)
    if len(done) == 100:
        db.executemany("DELETE FROM REQ2SEND WHERE SAMPLE_ID = ?", [(s,) for s in done])
        db.commit()
        done = []
db.executemany("DELETE FROM REQ2SEND WHERE SAMPLE_ID = ?", [(s,) for s in done])
db.commit()
seconds = time.perf_counter() - start
print(f"plain_export: {len(samples)} samples in {seconds:.2f} s: {len(samples) / seconds:.0f} samples per second")
