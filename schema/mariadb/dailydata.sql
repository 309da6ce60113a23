-- The daily-data store of one interval code ({{CODE}}): values and comments of variables per
-- slot, and the eight procedures that read and write them. A record belongs to the slot that
-- starts at its slotstarttime; a procedure's window [slotstarttime, slotendtime) selects the
-- records whose slot starts inside it. Each procedure is a PROCEDURE whose IN and OUT parameters
-- stand in the order in which callers list them. Inside a procedure a parameter hides a column
-- of the same name, so columns are written qualified by their table's alias. The script runs as
-- one text through the ODBC driver, which splits it into statements at every semicolon that
-- follows the first statement: each procedure's body is one statement. A seek reads one row
-- whatever it finds (its window's record joined to a single row), so that it never ends in a
-- "no data" condition and leaves its outputs Null when it finds nothing.
CREATE TABLE DD{{CODE}}_VALUES (
    varid INTEGER NOT NULL,
    slotstarttime DATETIME(3) NOT NULL,
    datestamp DATETIME(3),
    curvalue DOUBLE,
    textvalue VARCHAR(255),
    audituser VARCHAR(50),
    audittimestamp DATETIME,
    status INTEGER,
    forced INTEGER DEFAULT 0,
    PRIMARY KEY (varid, slotstarttime)
);

CREATE TABLE DD{{CODE}}_COMMENTS (
    varid INTEGER NOT NULL,
    slotstarttime DATETIME(3) NOT NULL,
    datestamp DATETIME(3),
    comment VARCHAR(2000),
    audituser VARCHAR(50),
    audittimestamp DATETIME,
    PRIMARY KEY (varid, slotstarttime)
);

-- A write replaces whatever the variable held in the slot; the forced flag survives it.
CREATE PROCEDURE WRITEDD{{CODE}}(
    IN date DATETIME(3),
    IN varid INTEGER,
    IN value DOUBLE,
    IN textvalue VARCHAR(255),
    IN audituser VARCHAR(50),
    IN slotstarttime DATETIME(3),
    IN slotendtime DATETIME(3),
    IN status INTEGER)
    INSERT INTO DD{{CODE}}_VALUES
        (varid, slotstarttime, datestamp, curvalue, textvalue, audituser, audittimestamp,
         status, forced)
    VALUES (varid, slotstarttime, date, value, textvalue, audituser, NOW(), status, 0)
    ON DUPLICATE KEY UPDATE
        DD{{CODE}}_VALUES.datestamp = date, DD{{CODE}}_VALUES.curvalue = value,
        DD{{CODE}}_VALUES.textvalue = textvalue, DD{{CODE}}_VALUES.audituser = audituser,
        DD{{CODE}}_VALUES.audittimestamp = NOW(), DD{{CODE}}_VALUES.status = status;

CREATE PROCEDURE SEEKFDD{{CODE}}(
    IN datestamp_1 DATETIME(3),
    IN varid_2 INTEGER,
    OUT curvalue_3 DOUBLE,
    OUT textvalue_4 VARCHAR(255),
    OUT varid_5 INTEGER,
    OUT audituser VARCHAR(50),
    OUT audittimestamp DATETIME(3),
    OUT datestamp_out DATETIME(3),
    IN slotstarttime DATETIME(3),
    IN slotendtime DATETIME(3),
    OUT status INTEGER,
    OUT forced INTEGER)
    SELECT v.curvalue, v.textvalue, v.varid, v.audituser, v.audittimestamp, v.datestamp,
           v.status, v.forced
    INTO curvalue_3, textvalue_4, varid_5, audituser, audittimestamp, datestamp_out, status,
         forced
    FROM (SELECT 1) AS one LEFT JOIN (
        SELECT f.* FROM DD{{CODE}}_VALUES f
        WHERE f.varid = varid_2 AND f.slotstarttime >= slotstarttime
          AND f.slotstarttime < slotendtime
        ORDER BY f.slotstarttime
        LIMIT 1) AS v ON TRUE;

-- The topnum_in-th record of the window in the order of the time stamps, 1 for the first.
CREATE PROCEDURE SEEKNEXTDD{{CODE}}(
    IN varid_in INTEGER,
    IN slotstart_in DATETIME(3),
    IN slotend_in DATETIME(3),
    IN topnum_in INTEGER,
    OUT varid_out INTEGER,
    OUT datestamp_out DATETIME(3),
    OUT curvalue_out DOUBLE,
    OUT textvalue_out VARCHAR(255),
    OUT audituser_out VARCHAR(50),
    OUT audittimestamp_out DATETIME(3),
    OUT status_out INTEGER,
    OUT forced_out INTEGER)
    SELECT v.varid, v.datestamp, v.curvalue, v.textvalue, v.audituser, v.audittimestamp,
           v.status, v.forced
    INTO varid_out, datestamp_out, curvalue_out, textvalue_out, audituser_out,
         audittimestamp_out, status_out, forced_out
    FROM (SELECT 1) AS one LEFT JOIN (
        SELECT f.*, ROW_NUMBER() OVER (ORDER BY f.datestamp, f.slotstarttime) AS n
        FROM DD{{CODE}}_VALUES f
        WHERE f.varid = varid_in AND f.slotstarttime >= slotstart_in
          AND f.slotstarttime < slotend_in) AS v
    ON v.n = GREATEST(COALESCE(topnum_in, 1), 1);

CREATE PROCEDURE DELETEDD{{CODE}}(
    IN slotstarttime DATETIME(3),
    IN varid INTEGER,
    IN audituser VARCHAR(50),
    IN slotendtime DATETIME(3))
    DELETE v FROM DD{{CODE}}_VALUES v
    WHERE v.varid = varid AND v.slotstarttime >= slotstarttime
      AND v.slotstarttime < slotendtime;

CREATE PROCEDURE SETFDD{{CODE}}(
    IN slotstarttime DATETIME(3),
    IN slotendtime DATETIME(3),
    IN varid INTEGER,
    IN audituser VARCHAR(50),
    IN forced INTEGER)
    UPDATE DD{{CODE}}_VALUES v
    SET v.forced = forced, v.audituser = audituser, v.audittimestamp = NOW()
    WHERE v.varid = varid AND v.slotstarttime >= slotstarttime
      AND v.slotstarttime < slotendtime;

CREATE PROCEDURE SEEKDD{{CODE}}_C(
    IN varid_in INTEGER,
    OUT comment_out VARCHAR(2000),
    OUT audituser VARCHAR(50),
    OUT audittimestamp DATETIME(3),
    IN slotstarttime DATETIME(3),
    IN slotendtime DATETIME(3))
    SELECT c.comment, c.audituser, c.audittimestamp
    INTO comment_out, audituser, audittimestamp
    FROM (SELECT 1) AS one LEFT JOIN (
        SELECT f.* FROM DD{{CODE}}_COMMENTS f
        WHERE f.varid = varid_in AND f.slotstarttime >= slotstarttime
          AND f.slotstarttime < slotendtime
        ORDER BY f.slotstarttime
        LIMIT 1) AS c ON TRUE;

CREATE PROCEDURE WRITEDD{{CODE}}_C(
    IN datestamp_1 DATETIME(3),
    IN varid_2 INTEGER,
    IN comment_in VARCHAR(2000),
    IN audituser VARCHAR(50),
    IN slotstarttime DATETIME(3),
    IN slotendtime DATETIME(3))
    INSERT INTO DD{{CODE}}_COMMENTS
        (varid, slotstarttime, datestamp, comment, audituser, audittimestamp)
    VALUES (varid_2, slotstarttime, datestamp_1, comment_in, audituser, NOW())
    ON DUPLICATE KEY UPDATE
        DD{{CODE}}_COMMENTS.datestamp = datestamp_1, DD{{CODE}}_COMMENTS.comment = comment_in,
        DD{{CODE}}_COMMENTS.audituser = audituser, DD{{CODE}}_COMMENTS.audittimestamp = NOW();

CREATE PROCEDURE DELETEDD{{CODE}}_C(
    IN slotstarttime DATETIME(3),
    IN varid_2 INTEGER,
    IN slotendtime DATETIME(3),
    IN audituser VARCHAR(50))
    DELETE c FROM DD{{CODE}}_COMMENTS c
    WHERE c.varid = varid_2 AND c.slotstarttime >= slotstarttime
      AND c.slotstarttime < slotendtime;
