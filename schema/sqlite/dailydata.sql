-- The daily-data store of one interval code ({{CODE}}): values and comments of variables per
-- slot, and the eight procedures that read and write them. A record belongs to the slot that
-- starts at its slotstarttime; a procedure's window [slotstarttime, slotendtime) selects the
-- records whose slot starts inside it.
CREATE TABLE DD{{CODE}}_VALUES (
    varid INTEGER NOT NULL,
    slotstarttime DATETIME NOT NULL,
    datestamp DATETIME,
    curvalue REAL,
    textvalue VARCHAR(255),
    audituser VARCHAR(50),
    audittimestamp DATETIME,
    status INTEGER,
    forced INTEGER DEFAULT 0,
    PRIMARY KEY (varid, slotstarttime)
);

CREATE TABLE DD{{CODE}}_COMMENTS (
    varid INTEGER NOT NULL,
    slotstarttime DATETIME NOT NULL,
    datestamp DATETIME,
    comment VARCHAR(2000),
    audituser VARCHAR(50),
    audittimestamp DATETIME,
    PRIMARY KEY (varid, slotstarttime)
);

-- A write replaces whatever the variable held in the slot; the forced flag survives it.
INSERT INTO stored_procedures (name, body) VALUES ('WRITEDD{{CODE}}', '
INSERT INTO DD{{CODE}}_VALUES
    (varid, slotstarttime, datestamp, curvalue, textvalue, audituser, audittimestamp, status, forced)
VALUES (:varid, :slotstarttime, :date, :value, :textvalue, :audituser,
    datetime(''now'', ''localtime''), :status, 0)
ON CONFLICT (varid, slotstarttime) DO UPDATE SET
    datestamp = excluded.datestamp, curvalue = excluded.curvalue,
    textvalue = excluded.textvalue, audituser = excluded.audituser,
    audittimestamp = excluded.audittimestamp, status = excluded.status
');

INSERT INTO stored_procedures (name, body) VALUES ('SEEKFDD{{CODE}}', '
SELECT curvalue AS curvalue_3, textvalue AS textvalue_4, varid AS varid_5, audituser,
    audittimestamp, datestamp AS datestamp_out, status, forced
FROM DD{{CODE}}_VALUES
WHERE varid = :varid_2 AND slotstarttime >= :slotstarttime AND slotstarttime < :slotendtime
ORDER BY slotstarttime
LIMIT 1
');

-- The topnum_in-th record of the window in the order of the time stamps, 1 for the first.
INSERT INTO stored_procedures (name, body) VALUES ('SEEKNEXTDD{{CODE}}', '
SELECT varid AS varid_out, datestamp AS datestamp_out, curvalue AS curvalue_out,
    textvalue AS textvalue_out, audituser AS audituser_out,
    audittimestamp AS audittimestamp_out, status AS status_out, forced AS forced_out
FROM DD{{CODE}}_VALUES
WHERE varid = :varid_in AND slotstarttime >= :slotstart_in AND slotstarttime < :slotend_in
ORDER BY datestamp, slotstarttime
LIMIT 1 OFFSET max(coalesce(:topnum_in, 1) - 1, 0)
');

INSERT INTO stored_procedures (name, body) VALUES ('DELETEDD{{CODE}}', '
DELETE FROM DD{{CODE}}_VALUES
WHERE varid = :varid AND slotstarttime >= :slotstarttime AND slotstarttime < :slotendtime
');

INSERT INTO stored_procedures (name, body) VALUES ('SETFDD{{CODE}}', '
UPDATE DD{{CODE}}_VALUES
SET forced = :forced, audituser = :audituser, audittimestamp = datetime(''now'', ''localtime'')
WHERE varid = :varid AND slotstarttime >= :slotstarttime AND slotstarttime < :slotendtime
');

INSERT INTO stored_procedures (name, body) VALUES ('SEEKDD{{CODE}}_C', '
SELECT comment AS comment_out, audituser, audittimestamp
FROM DD{{CODE}}_COMMENTS
WHERE varid = :varid_in AND slotstarttime >= :slotstarttime AND slotstarttime < :slotendtime
ORDER BY slotstarttime
LIMIT 1
');

INSERT INTO stored_procedures (name, body) VALUES ('WRITEDD{{CODE}}_C', '
INSERT INTO DD{{CODE}}_COMMENTS
    (varid, slotstarttime, datestamp, comment, audituser, audittimestamp)
VALUES (:varid_2, :slotstarttime, :datestamp_1, :comment_in, :audituser,
    datetime(''now'', ''localtime''))
ON CONFLICT (varid, slotstarttime) DO UPDATE SET
    datestamp = excluded.datestamp, comment = excluded.comment,
    audituser = excluded.audituser, audittimestamp = excluded.audittimestamp
');

INSERT INTO stored_procedures (name, body) VALUES ('DELETEDD{{CODE}}_C', '
DELETE FROM DD{{CODE}}_COMMENTS
WHERE varid = :varid_2 AND slotstarttime >= :slotstarttime AND slotstarttime < :slotendtime
');
