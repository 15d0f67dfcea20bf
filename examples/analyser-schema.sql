-- An analyser's own order database as an SQLite file: the tables and columns Kestrin writes
-- in run mode MGC (on Windows the analyser's software keeps them in an Access file). The demo
-- and the tests create their analyser file with this script; "kestrin /initdb" never touches
-- an analyser database.

CREATE TABLE samp_odr (
  samp_id VARCHAR(20),
  fdate DATETIME,
  s_rnd_no INTEGER,
  samp_mode INTEGER,
  samp_no INTEGER,
  samp_kind INTEGER,
  ord_state INTEGER,
  autorerun INTEGER,
  samp_state INTEGER,
  samp_type INTEGER,
  ctrl_type INTEGER,
  asp_no INTEGER,
  asp_date DATETIME,
  ord_total INTEGER,
  reord_total INTEGER,
  pati_id VARCHAR(20),
  comment1 VARCHAR(60),
  comment2 VARCHAR(60),
  r_rnd_no INTEGER,
  profile1 INTEGER,
  profile2 INTEGER,
  profile3 INTEGER,
  profile4 INTEGER,
  profile5 INTEGER,
  profile6 INTEGER,
  profile7 INTEGER,
  profile8 INTEGER,
  profile9 INTEGER,
  profile10 INTEGER,
  barID VARCHAR(20)
);

CREATE TABLE samp_dat (
  samp_id VARCHAR(20),
  fdate DATETIME,
  s_rnd_NO INTEGER,
  ord_state INTEGER,
  item_no INTEGER,
  item_name VARCHAR(20),
  autorerun INTEGER,
  dil_ord INTEGER,
  data_state INTEGER,
  rst_Date DATETIME,
  p_flag VARCHAR(10),
  s_flag VARCHAR(10),
  d_flag VARCHAR(10),
  od_data REAL,
  conc_data REAL,
  mon_link INTEGER,
  conc_data_re REAL,
  p_flag_re VARCHAR(10)
);

CREATE TABLE itempara (
  item_no INTEGER,
  item_name VARCHAR(20)
);

-- The names the demo analyser AN1 gives the channels of the demo controls' parameters
-- (examples/demo-data.sql: param2channel).
INSERT INTO itempara (item_no, item_name) VALUES
  (1, 'AMP'),
  (3, 'BZD'),
  (4, 'COC'),
  (7, 'OPI'),
  (8, 'THC');
