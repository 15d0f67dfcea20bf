#!/usr/bin/env python3
"""A plain import script for comparison with Kestrin: the same order files, the same tables,
python-hl7 for parsing and the standard sqlite3 module, durable (WAL, synchronous=FULL),
a commit per 100 messages, each file moved to Done after the commit that holds it.

    plain_import.py <folder of order files> <database file>
"""
import os
import sqlite3
import sys
import time
from datetime import datetime

import hl7

folder, database = sys.argv[1], sys.argv[2]
db = sqlite3.connect(database)
db.execute("PRAGMA journal_mode=WAL")
db.execute("PRAGMA synchronous=FULL")
db.executescript("""
CREATE TABLE IF NOT EXISTS PATIENTS (P_ID INTEGER PRIMARY KEY AUTOINCREMENT, SI_ID VARCHAR(14),
  SURNAME VARCHAR(30), FORENAME VARCHAR(30), SEX VARCHAR(1), BIRTH DATETIME, ENTRY_DATE DATETIME);
CREATE INDEX IF NOT EXISTS IX_PATIENTS_SI_ID ON PATIENTS (SI_ID);
CREATE TABLE IF NOT EXISTS CUSTOMER (CUST_ID VARCHAR(20) PRIMARY KEY, CUST_NAME VARCHAR(60), CREATED DATETIME);
CREATE TABLE IF NOT EXISTS SAMPLE_BASE (SAMPLE_ID VARCHAR(19) PRIMARY KEY, SI_ID VARCHAR(14), P_ID INTEGER,
  CUST_ID VARCHAR(20), STATUS_1 VARCHAR(20), ENTRY_DAT DATETIME, LAST_CHANGE_DAT DATETIME, COLL_DAT DATETIME);
CREATE TABLE IF NOT EXISTS REQUEST (SAMPLE_ID VARCHAR(18), PARAMETER_ID INTEGER);
CREATE INDEX IF NOT EXISTS IX_REQUEST_SAMPLE_ID ON REQUEST (SAMPLE_ID);
CREATE TABLE IF NOT EXISTS HL7_STRINGS (ORDER_ID VARCHAR(20), STRING_DEF VARCHAR(10), STRING_DEF_CTR INTEGER,
  STRING_TEXT VARCHAR(2000), TIME_STAMP DATETIME);
CREATE INDEX IF NOT EXISTS IX_HL7_STRINGS ON HL7_STRINGS (ORDER_ID, STRING_DEF);
CREATE TABLE IF NOT EXISTS TEST_DEF (PARAMETER_ID INTEGER PRIMARY KEY, IMP_CODE_LDT VARCHAR(20));
""")
codes = ["AMP", "BAR", "BZD", "COC", "MDMA", "MTD", "OPI", "THC", "CREA", "ETG"]
db.executemany("INSERT OR IGNORE INTO TEST_DEF VALUES (?, ?)", [(i + 1, c) for i, c in enumerate(codes)])
db.commit()

done = os.path.join(folder, "Done")
os.makedirs(done, exist_ok=True)
names = sorted(n for n in os.listdir(folder) if n.lower().endswith("hl7"))
start = time.perf_counter()
batch = []
for name in names:
    path = os.path.join(folder, name)
    with open(path, encoding="utf-8") as f:
        text = f.read().replace("\r\n", "\r").replace("\n", "\r")
    message = hl7.parse(text)
    now = datetime.now().strftime("%Y-%m-%d %H:%M:%S")
    order = str(message.segment("MSH")[10])
    for segment in message:
        kind = str(segment[0])
        if kind in ("MSH", "PID", "PV1", "ORC", "OBX"):
            db.execute("INSERT INTO HL7_STRINGS VALUES (?, ?, 1, ?, ?)", (order[:20], kind, str(segment), now))
    pid, orc = message.segment("PID"), message.segment("ORC")
    si_id, sample = str(pid[3])[:14], str(orc[2])[:19]
    surname, forename = str(pid[5][0][0]), str(pid[5][0][1])
    if db.execute("SELECT P_ID FROM PATIENTS WHERE SI_ID = ?", (si_id,)).fetchone():
        db.execute("UPDATE PATIENTS SET SURNAME = ?, FORENAME = ?, SEX = ?, ENTRY_DATE = ? WHERE SI_ID = ?",
                   (surname, forename, str(pid[8]), now, si_id))
    else:
        db.execute("INSERT INTO PATIENTS (SI_ID, SURNAME, FORENAME, SEX, ENTRY_DATE) VALUES (?, ?, ?, ?, ?)",
                   (si_id, surname, forename, str(pid[8]), now))
    p_id = db.execute("SELECT MIN(P_ID) FROM PATIENTS WHERE SI_ID = ?", (si_id,)).fetchone()[0]
    customer = str(orc[21])
    if not db.execute("SELECT CUST_ID FROM CUSTOMER WHERE CUST_ID = ?", (customer[:10],)).fetchone():
        db.execute("INSERT INTO CUSTOMER VALUES (?, ?, ?)", (customer[:10], customer, now))
    if db.execute("SELECT SAMPLE_ID FROM SAMPLE_BASE WHERE SAMPLE_ID = ?", (sample,)).fetchone():
        db.execute("UPDATE SAMPLE_BASE SET SI_ID = ?, P_ID = ?, CUST_ID = ?, STATUS_1 = ?, LAST_CHANGE_DAT = ? "
                   "WHERE SAMPLE_ID = ?", (si_id, p_id, customer, order[:20], now, sample))
    else:
        db.execute("INSERT INTO SAMPLE_BASE (SAMPLE_ID, SI_ID, P_ID, CUST_ID, STATUS_1, ENTRY_DAT, LAST_CHANGE_DAT) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?)", (sample, si_id, p_id, customer, order[:20], now, now))
    for obr in message.segments("OBR"):
        row = db.execute("SELECT PARAMETER_ID FROM TEST_DEF WHERE IMP_CODE_LDT = ?", (str(obr[4][0][0]),)).fetchone()
        if row:
            db.execute("INSERT INTO REQUEST VALUES (?, ?)", (sample[:18], row[0]))
    batch.append(name)
    if len(batch) == 100:
        db.commit()
        for n in batch:
            os.rename(os.path.join(folder, n), os.path.join(done, n))
        batch = []
db.commit()
for n in batch:
    os.rename(os.path.join(folder, n), os.path.join(done, n))
seconds = time.perf_counter() - start
print(f"plain_import: {len(names)} order files in {seconds:.2f} s: {len(names) / seconds:.0f} messages per second")
