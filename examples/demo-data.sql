-- Demo laboratory data for the embedded database of examples/demo.ini: tests with their
-- import codes, validation ranges, users, quality controls and captions. Plain SQL that
-- SQLite and PostgreSQL both accept.

INSERT INTO TEST_DEF (PARAMETER_ID, SHORT, LONG, UNIT, CUTOFF, IMP_CODE_LDT, PRINT_POS) VALUES
  (1, 'AMP', 'Amphetamines', 'ng/mL', '500', 'AMP', 1),
  (2, 'BAR', 'Barbiturates', 'ng/mL', '200', 'BAR', 2),
  (3, 'BZD', 'Benzodiazepines', 'ng/mL', '200', 'BZD', 3),
  (4, 'COC', 'Cocaine metabolite', 'ng/mL', '150', 'COC', 4),
  (5, 'MDMA', 'Ecstasy', 'ng/mL', '500', 'MDMA', 5),
  (6, 'MTD', 'Methadone', 'ng/mL', '300', 'MTD', 6),
  (7, 'OPI', 'Opiates', 'ng/mL', '300', 'OPI', 7),
  (8, 'THC', 'Cannabinoids', 'ng/mL', '50', 'THC', 8),
  (9, 'CREA', 'Creatinine', 'mg/dL', '20', 'CREA', 9),
  (10, 'ETG', 'Ethyl glucuronide', 'ng/mL', '500', 'ETG', 10);

INSERT INTO interpretation (ID, value, value_arab) VALUES
  (1, 'negative', 'سلبي'),
  (2, 'positive', 'إيجابي'),
  (3, 'diluted', 'مخفف');

-- Range set 2 is the one the entry station validates against. Results below the lowest upper
-- bound of a parameter's suspicious ranges show in red letters there: Creatinine (9) below 19.99.
INSERT INTO VALIDATION (parameter_ID, V_from, v_to, interpretation, suspicious, nw_id) VALUES
  (1, 0, 499.99, 1, 0, 2), (1, 500, 1000000, 2, 1, 2),
  (2, 0, 199.99, 1, 0, 2), (2, 200, 1000000, 2, 1, 2),
  (3, 0, 199.99, 1, 0, 2), (3, 200, 1000000, 2, 1, 2),
  (4, 0, 149.99, 1, 0, 2), (4, 150, 1000000, 2, 1, 2),
  (5, 0, 499.99, 1, 0, 2), (5, 500, 1000000, 2, 1, 2),
  (6, 0, 299.99, 1, 0, 2), (6, 300, 1000000, 2, 1, 2),
  (7, 0, 299.99, 1, 0, 2), (7, 300, 1000000, 2, 1, 2),
  (8, 0, 49.99, 1, 0, 2), (8, 50, 1000000, 2, 1, 2),
  (9, 0, 19.99, 3, 1, 2), (9, 20, 1000, 1, 0, 2),
  (10, 0, 499.99, 1, 0, 2), (10, 500, 1000000, 2, 1, 2);

-- The entry station's users (run type INPUT); any of them opens entry.
INSERT INTO user_base (userid, comment) VALUES
  ('MB', 'Morning bench'),
  ('EB', 'Evening bench'),
  ('QC', 'Quality control');

INSERT INTO control_base (control_id, name) VALUES
  ('QC-LOW-1', 'Urine control LOW'),
  ('QC-MED-1', 'Urine control MED'),
  ('QC-HIGH-1', 'Urine control HIGH');

INSERT INTO control_def (control_id, parameter_id) VALUES
  ('QC-LOW-1', 1), ('QC-LOW-1', 3), ('QC-LOW-1', 4), ('QC-LOW-1', 7), ('QC-LOW-1', 8),
  ('QC-MED-1', 1), ('QC-MED-1', 3), ('QC-MED-1', 4), ('QC-MED-1', 7), ('QC-MED-1', 8),
  ('QC-HIGH-1', 1), ('QC-HIGH-1', 3), ('QC-HIGH-1', 4), ('QC-HIGH-1', 7), ('QC-HIGH-1', 8);

-- Channels of the analyser AN1, and of the service station HL7 for the demo's control blocks.
INSERT INTO param2channel (parameter_id, analyzer_id, channel_id) VALUES
  (1, 'AN1', 1), (2, 'AN1', 2), (3, 'AN1', 3), (4, 'AN1', 4), (5, 'AN1', 5),
  (6, 'AN1', 6), (7, 'AN1', 7), (8, 'AN1', 8), (9, 'AN1', 9),
  (1, 'HL7', 1), (4, 'HL7', 2), (8, 'HL7', 3);

-- AN1's control blocks as a day change builds them, so that its QC orders go out
-- (kestrin /type=MGC /id=AN1) even when another station has already begun the day.
INSERT INTO control_block (control_id, parameter_id, analyzer_id) VALUES
  ('QC-HIGH-1', 1, 'AN1'), ('QC-HIGH-1', 3, 'AN1'), ('QC-HIGH-1', 4, 'AN1'), ('QC-HIGH-1', 7, 'AN1'),
  ('QC-HIGH-1', 8, 'AN1'),
  ('QC-LOW-1', 1, 'AN1'), ('QC-LOW-1', 3, 'AN1'), ('QC-LOW-1', 4, 'AN1'), ('QC-LOW-1', 7, 'AN1'),
  ('QC-LOW-1', 8, 'AN1'),
  ('QC-MED-1', 1, 'AN1'), ('QC-MED-1', 3, 'AN1'), ('QC-MED-1', 4, 'AN1'), ('QC-MED-1', 7, 'AN1'),
  ('QC-MED-1', 8, 'AN1');

INSERT INTO textstrings ("key", english, german) VALUES
  (6601, 'Select user', 'Benutzer wählen'),
  (6602, 'Please select a user', 'Bitte Benutzer wählen'),
  (6603, 'Samples in session', 'Proben in Sitzung'),
  (6604, 'Sample ID', 'Proben-ID'),
  (6605, 'Result', 'Ergebnis'),
  (6606, 'Clear session', 'Sitzung löschen'),
  (6607, 'Log out / Close', 'Abmelden / Schließen');

-- A sample imported earlier whose results are in: the first export cycle sends it out.
INSERT INTO PATIENTS (SI_ID, SURNAME, FORENAME, SEX, BIRTH, ENTRY_DATE) VALUES
  ('P100100', 'Lindqvist', 'Maja', 'F', '1988-06-14 00:00:00', '2026-12-06 09:12:00');
INSERT INTO SAMPLE_BASE (SAMPLE_ID, SI_ID, CUST_ID, STATUS_1, ENTRY_DAT, LAST_CHANGE_DAT, COLL_DAT, COMMENT_COLL,
                         SAMPLE_MAT, ADD3, ENTRY_USER) VALUES
  ('26000999', 'P100100', 'STATION-7', 'ORD-2026-0999', '2026-12-06 09:12:00', '2026-12-06 11:30:00',
   '2026-12-06 08:50:00', 'Abnahme unter Sicht', 'U', '1', 'Kestrin');
INSERT INTO HL7_STRINGS (ORDER_ID, STRING_DEF, STRING_DEF_CTR, STRING_TEXT, TIME_STAMP) VALUES
  ('ORD-2026-0999', 'MSH', 1, 'MSH|^~\&|KIS|HOSP|KESTRIN|LAB|20261206091200||ORM^O01|ORD-2026-0999|P|2.3', '2026-12-06 09:12:00'),
  ('ORD-2026-0999', 'PID', 1, 'PID|1||P100100||Lindqvist^Maja||19880614|F', '2026-12-06 09:12:00'),
  ('ORD-2026-0999', 'PV1', 1, 'PV1|1|O|TOX^^^HOSP', '2026-12-06 09:12:00'),
  ('ORD-2026-0999', 'ORC', 1, 'ORC|NW|26000999|||||||||||||||||||STATION-7', '2026-12-06 09:12:00');
INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT, INTERPRETATION, INTERPRETATION_ARAB, SUSPICIOUS, ANALYZER_ID,
                     R_VALIDATOR, MEAS_TIME_STAMP, VAL_TIME_STAMP) VALUES
  ('26000999', 1, '112', 'negative', 'سلبي', FALSE, 'AN1', 'MB', '2026-12-06 11:10:00', '2026-12-06 11:30:00'),
  ('26000999', 8, '74', 'positive', 'إيجابي', TRUE, 'AN1', 'MB', '2026-12-06 11:10:00', '2026-12-06 11:30:00');
INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES ('26000999', 4);
INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES ('26000999', 1), ('26000999', 8);

-- Open samples for the analyser AN1: kestrin /ini=examples/demo.ini /type=ACT /id=AN1 shows
-- them as tiles. The last one asks only for ETG, which AN1 does not measure.
INSERT INTO PATIENTS (SI_ID, SURNAME, FORENAME, SEX, BIRTH, ENTRY_DATE) VALUES
  ('P100101', 'Okafor', 'Chidi', 'M', '1979-03-02 00:00:00', '2026-12-07 07:40:00'),
  ('P100102', 'Brandt', 'Lukas', 'M', '1995-11-23 00:00:00', '2026-12-07 07:42:00'),
  ('P100103', 'Haddad', 'Lina', 'F', '1990-01-17 00:00:00', '2026-12-07 07:51:00'),
  ('P100104', 'Nováková', 'Jana', 'F', '1984-08-09 00:00:00', '2026-12-07 08:03:00'),
  ('P100105', 'Berg', 'Ingrid', 'F', '1969-05-30 00:00:00', '2026-12-07 08:10:00'),
  ('P100106', 'Costa', 'Rui', 'M', '2001-02-12 00:00:00', '2026-12-07 08:22:00'),
  ('P100107', 'Yilmaz', 'Emre', 'M', '1987-10-04 00:00:00', '2026-12-07 08:35:00');
INSERT INTO SAMPLE_BASE (SAMPLE_ID, SI_ID, CUST_ID, STATUS_1, ENTRY_DAT, LAST_CHANGE_DAT, COLL_DAT, SAMPLE_MAT,
                         ENTRY_USER) VALUES
  ('26001001', 'P100101', 'STATION-7', 'ORD-2026-1001', '2026-12-07 07:40:00', '2026-12-07 07:40:00',
   '2026-12-07 07:15:00', 'U', 'Kestrin'),
  ('26001002', 'P100102', 'STATION-7', 'ORD-2026-1002', '2026-12-07 07:42:00', '2026-12-07 07:42:00',
   '2026-12-07 07:20:00', 'U', 'Kestrin'),
  ('26001003', 'P100103', 'STATION-3', 'ORD-2026-1003', '2026-12-07 07:51:00', '2026-12-07 07:51:00',
   '2026-12-07 07:30:00', 'U', 'Kestrin'),
  ('26001004', 'P100104', 'STATION-3', 'ORD-2026-1004', '2026-12-07 08:03:00', '2026-12-07 08:03:00',
   '2026-12-07 07:45:00', 'U', 'Kestrin'),
  ('26001005', 'P100105', 'STATION-7', 'ORD-2026-1005', '2026-12-07 08:10:00', '2026-12-07 08:10:00',
   '2026-12-07 07:55:00', 'U', 'Kestrin'),
  ('26001006', 'P100106', 'STATION-7', 'ORD-2026-1006', '2026-12-07 08:22:00', '2026-12-07 08:22:00',
   '2026-12-07 08:05:00', 'U', 'Kestrin'),
  ('26001007', 'P100107', 'STATION-3', 'ORD-2026-1007', '2026-12-07 08:35:00', '2026-12-07 08:35:00',
   '2026-12-07 08:20:00', 'U', 'Kestrin');
INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES
  ('26001001', 1), ('26001001', 4), ('26001001', 8),
  ('26001002', 8), ('26001002', 9),
  ('26001003', 1), ('26001003', 3), ('26001003', 6), ('26001003', 7),
  ('26001004', 5), ('26001004', 8),
  ('26001005', 2), ('26001005', 3), ('26001005', 9),
  ('26001006', 4), ('26001006', 7),
  ('26001007', 10);

-- Each sample belongs to the patient with its SI_ID, whatever P_ID the database gave them.
UPDATE SAMPLE_BASE SET P_ID = (SELECT P_ID FROM PATIENTS WHERE PATIENTS.SI_ID = SAMPLE_BASE.SI_ID) WHERE P_ID IS NULL;
