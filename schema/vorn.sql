-- vorn.sqlite3: the eight tables efimport loads and derives, with their indexes.
--
-- Inserts name no columns, so every table has exactly these columns in this
-- order. Every column that receives a field of an input file is TEXT: codes keep
-- their leading zeros and amounts their exact text. TEXT affinity also lets the
-- deletes compare the keys yymmkbn and ymd with integers or bare numbers while
-- the inserts store text ("0" = 0 holds in a TEXT column, not in one without a
-- type). The derived usage amount (shiyouryou times kaisu) is NUMERIC.
--
-- Indexes: deletes go by (yymm, yymmkbn) or by ymd. The usage derivation looks
-- up the E row of each F row by the eight match columns, twice (jisymd, then
-- kaisu): the match index leads with the columns that tell rows apart (yymm
-- and the facility code are the same for a whole month, so comparisons
-- starting there would go through them on every step of every look-up) and
-- carries jisymd and kaisu, so a look-up never visits the table.
--
-- Applying this file again changes nothing.

-- E file, inpatient
CREATE TABLE IF NOT EXISTS En (
  yymm TEXT, yymmkbn TEXT, scode TEXT, dscode TEXT, taiymd TEXT, nyuymd TEXT, dkbn TEXT, jno TEXT,
  tencode TEXT, rdcode TEXT, kaisyaku TEXT, meisyou TEXT, tensu TEXT, yakuzairyou TEXT,
  zairyouryou TEXT, yenten TEXT, kaisu TEXT, hno TEXT, rdscode TEXT, jisymd TEXT, rdsnk TEXT,
  snk TEXT, drcode TEXT, byotocode TEXT, byotokbn TEXT, ngkbn TEXT, stype TEXT
);
CREATE INDEX IF NOT EXISTS En_key ON En (yymm, yymmkbn);
CREATE INDEX IF NOT EXISTS En_match ON En (dscode, jno, taiymd, nyuymd, dkbn, scode, yymm, yymmkbn, jisymd, kaisu);

-- E file, outpatient
CREATE TABLE IF NOT EXISTS Eg (
  yymm TEXT, yymmkbn TEXT, scode TEXT, dscode TEXT, birthday TEXT, gairaiymd TEXT, dkbn TEXT, jno TEXT,
  tencode TEXT, rdcode TEXT, kaisyaku TEXT, meisyou TEXT, tensu TEXT, yakuzairyou TEXT,
  zairyouryou TEXT, yenten TEXT, kaisu TEXT, hno TEXT, rdscode TEXT, jisymd TEXT, rdsnk TEXT,
  snk TEXT, drcode TEXT, byotocode TEXT, byotokbn TEXT, ngkbn TEXT, stype TEXT
);
CREATE INDEX IF NOT EXISTS Eg_key ON Eg (yymm, yymmkbn);
CREATE INDEX IF NOT EXISTS Eg_match ON Eg (dscode, jno, birthday, gairaiymd, dkbn, scode, yymm, yymmkbn, jisymd, kaisu);

-- F file, inpatient
CREATE TABLE IF NOT EXISTS Fn (
  yymm TEXT, yymmkbn TEXT, scode TEXT, dscode TEXT, taiymd TEXT, nyuymd TEXT, dkbn TEXT, jno TEXT,
  kmno TEXT, tencode TEXT, rdcode TEXT, kaisyaku TEXT, meisyou TEXT, shiyouryou TEXT, tani TEXT,
  kmtensu TEXT, kmyakuzairyou TEXT, kmzairyoryou TEXT, yenten TEXT, jistensu TEXT, kmkjyouhou TEXT
);
CREATE INDEX IF NOT EXISTS Fn_key ON Fn (yymm, yymmkbn);

-- F file, outpatient (its material amount column is spelt kmzairyouryou)
CREATE TABLE IF NOT EXISTS Fg (
  yymm TEXT, yymmkbn TEXT, scode TEXT, dscode TEXT, birthday TEXT, gairaiymd TEXT, dkbn TEXT, jno TEXT,
  kmno TEXT, tencode TEXT, rdcode TEXT, kaisyaku TEXT, meisyou TEXT, shiyouryou TEXT, tani TEXT,
  kmtensu TEXT, kmyakuzairyou TEXT, kmzairyouryou TEXT, yenten TEXT, jistensu TEXT, kmkjyouhou TEXT
);
CREATE INDEX IF NOT EXISTS Fg_key ON Fg (yymm, yymmkbn);

-- Drug usage derived from Fn and En: the F row's columns, the E row's jisymd
-- and the usage amount
CREATE TABLE IF NOT EXISTS EFn (
  yymm TEXT, yymmkbn TEXT, scode TEXT, dscode TEXT, taiymd TEXT, nyuymd TEXT, dkbn TEXT, jno TEXT,
  kmno TEXT, tencode TEXT, rdcode TEXT, meisyou TEXT, jisymd TEXT, shiyouryou_kaisu NUMERIC
);
CREATE INDEX IF NOT EXISTS EFn_key ON EFn (yymm, yymmkbn);

-- Drug usage derived from Fg and Eg (no kmno)
CREATE TABLE IF NOT EXISTS EFg (
  yymm TEXT, yymmkbn TEXT, scode TEXT, dscode TEXT, birthday TEXT, gairaiymd TEXT, dkbn TEXT, jno TEXT,
  tencode TEXT, rdcode TEXT, meisyou TEXT, jisymd TEXT, shiyouryou_kaisu NUMERIC
);
CREATE INDEX IF NOT EXISTS EFg_key ON EFg (yymm, yymmkbn);

-- MHLW drug list, by list date
CREATE TABLE IF NOT EXISTS kyak (
  ymd TEXT, code TEXT, seibunmei TEXT, hinmei TEXT, flg TEXT, bikou1 TEXT, bikou2 TEXT, bikou3 TEXT,
  bikou4 TEXT
);
CREATE INDEX IF NOT EXISTS kyak_ymd ON kyak (ymd);

-- Y drug code list, by import date; the derivation joins the newest list by yjcode
CREATE TABLE IF NOT EXISTS yak (
  ymd TEXT, yjcode TEXT, name TEXT, yakcode TEXT
);
CREATE INDEX IF NOT EXISTS yak_ymd_yjcode ON yak (ymd, yjcode);
