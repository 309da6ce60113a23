-- The daily-data store of one interval code ({{CODE}}): values and comments of variables per
-- slot, and the eight procedures that read and write them. A record belongs to the slot that
-- starts at its slotstarttime; a procedure's window [slotstarttime, slotendtime) selects the
-- records whose slot starts inside it. Each procedure is a function whose IN and OUT parameters
-- stand in the order in which callers list them; parameters are written qualified by the
-- function's name where a column has the same name.
CREATE TABLE DD{{CODE}}_VALUES (
    varid integer NOT NULL,
    slotstarttime timestamp without time zone NOT NULL,
    datestamp timestamp without time zone,
    curvalue double precision,
    textvalue varchar(255),
    audituser varchar(50),
    audittimestamp timestamp without time zone,
    status integer,
    forced integer DEFAULT 0,
    PRIMARY KEY (varid, slotstarttime)
);

CREATE TABLE DD{{CODE}}_COMMENTS (
    varid integer NOT NULL,
    slotstarttime timestamp without time zone NOT NULL,
    datestamp timestamp without time zone,
    comment varchar(2000),
    audituser varchar(50),
    audittimestamp timestamp without time zone,
    PRIMARY KEY (varid, slotstarttime)
);

-- A write replaces whatever the variable held in the slot; the forced flag survives it.
CREATE FUNCTION WRITEDD{{CODE}}(
    IN date timestamp without time zone,
    IN varid integer,
    IN value double precision,
    IN textvalue varchar,
    IN audituser varchar,
    IN slotstarttime timestamp without time zone,
    IN slotendtime timestamp without time zone,
    IN status integer)
RETURNS void LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
    INSERT INTO DD{{CODE}}_VALUES AS v
        (varid, slotstarttime, datestamp, curvalue, textvalue, audituser, audittimestamp,
         status, forced)
    VALUES (WRITEDD{{CODE}}.varid, WRITEDD{{CODE}}.slotstarttime, WRITEDD{{CODE}}.date,
            WRITEDD{{CODE}}.value, WRITEDD{{CODE}}.textvalue, WRITEDD{{CODE}}.audituser,
            localtimestamp(0), WRITEDD{{CODE}}.status, 0)
    ON CONFLICT (varid, slotstarttime) DO UPDATE SET
        datestamp = excluded.datestamp, curvalue = excluded.curvalue,
        textvalue = excluded.textvalue, audituser = excluded.audituser,
        audittimestamp = excluded.audittimestamp, status = excluded.status;
END
$$;

CREATE FUNCTION SEEKFDD{{CODE}}(
    IN datestamp_1 timestamp without time zone,
    IN varid_2 integer,
    OUT curvalue_3 double precision,
    OUT textvalue_4 varchar,
    OUT varid_5 integer,
    OUT audituser varchar,
    OUT audittimestamp timestamp without time zone,
    OUT datestamp_out timestamp without time zone,
    IN slotstarttime timestamp without time zone,
    IN slotendtime timestamp without time zone,
    OUT status integer,
    OUT forced integer)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
    SELECT v.curvalue, v.textvalue, v.varid, v.audituser, v.audittimestamp, v.datestamp,
           v.status, v.forced
    INTO curvalue_3, textvalue_4, varid_5, SEEKFDD{{CODE}}.audituser,
         SEEKFDD{{CODE}}.audittimestamp, datestamp_out, SEEKFDD{{CODE}}.status,
         SEEKFDD{{CODE}}.forced
    FROM DD{{CODE}}_VALUES v
    WHERE v.varid = varid_2 AND v.slotstarttime >= SEEKFDD{{CODE}}.slotstarttime
      AND v.slotstarttime < SEEKFDD{{CODE}}.slotendtime
    ORDER BY v.slotstarttime
    LIMIT 1;
END
$$;

-- The topnum_in-th record of the window in the order of the time stamps, 1 for the first.
CREATE FUNCTION SEEKNEXTDD{{CODE}}(
    IN varid_in integer,
    IN slotstart_in timestamp without time zone,
    IN slotend_in timestamp without time zone,
    IN topnum_in integer,
    OUT varid_out integer,
    OUT datestamp_out timestamp without time zone,
    OUT curvalue_out double precision,
    OUT textvalue_out varchar,
    OUT audituser_out varchar,
    OUT audittimestamp_out timestamp without time zone,
    OUT status_out integer,
    OUT forced_out integer)
LANGUAGE plpgsql AS $$
BEGIN
    SELECT v.varid, v.datestamp, v.curvalue, v.textvalue, v.audituser, v.audittimestamp,
           v.status, v.forced
    INTO varid_out, datestamp_out, curvalue_out, textvalue_out, audituser_out,
         audittimestamp_out, status_out, forced_out
    FROM DD{{CODE}}_VALUES v
    WHERE v.varid = varid_in AND v.slotstarttime >= slotstart_in
      AND v.slotstarttime < slotend_in
    ORDER BY v.datestamp, v.slotstarttime
    LIMIT 1 OFFSET greatest(coalesce(topnum_in, 1) - 1, 0);
END
$$;

CREATE FUNCTION DELETEDD{{CODE}}(
    IN slotstarttime timestamp without time zone,
    IN varid integer,
    IN audituser varchar,
    IN slotendtime timestamp without time zone)
RETURNS void LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
    DELETE FROM DD{{CODE}}_VALUES
    WHERE varid = DELETEDD{{CODE}}.varid AND slotstarttime >= DELETEDD{{CODE}}.slotstarttime
      AND slotstarttime < DELETEDD{{CODE}}.slotendtime;
END
$$;

CREATE FUNCTION SETFDD{{CODE}}(
    IN slotstarttime timestamp without time zone,
    IN slotendtime timestamp without time zone,
    IN varid integer,
    IN audituser varchar,
    IN forced integer)
RETURNS void LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
    UPDATE DD{{CODE}}_VALUES
    SET forced = SETFDD{{CODE}}.forced, audituser = SETFDD{{CODE}}.audituser,
        audittimestamp = localtimestamp(0)
    WHERE varid = SETFDD{{CODE}}.varid AND slotstarttime >= SETFDD{{CODE}}.slotstarttime
      AND slotstarttime < SETFDD{{CODE}}.slotendtime;
END
$$;

CREATE FUNCTION SEEKDD{{CODE}}_C(
    IN varid_in integer,
    OUT comment_out varchar,
    OUT audituser varchar,
    OUT audittimestamp timestamp without time zone,
    IN slotstarttime timestamp without time zone,
    IN slotendtime timestamp without time zone)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
    SELECT c.comment, c.audituser, c.audittimestamp
    INTO comment_out, SEEKDD{{CODE}}_C.audituser, SEEKDD{{CODE}}_C.audittimestamp
    FROM DD{{CODE}}_COMMENTS c
    WHERE c.varid = varid_in AND c.slotstarttime >= SEEKDD{{CODE}}_C.slotstarttime
      AND c.slotstarttime < SEEKDD{{CODE}}_C.slotendtime
    ORDER BY c.slotstarttime
    LIMIT 1;
END
$$;

CREATE FUNCTION WRITEDD{{CODE}}_C(
    IN datestamp_1 timestamp without time zone,
    IN varid_2 integer,
    IN comment_in varchar,
    IN audituser varchar,
    IN slotstarttime timestamp without time zone,
    IN slotendtime timestamp without time zone)
RETURNS void LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
    INSERT INTO DD{{CODE}}_COMMENTS AS c
        (varid, slotstarttime, datestamp, comment, audituser, audittimestamp)
    VALUES (varid_2, WRITEDD{{CODE}}_C.slotstarttime, datestamp_1, comment_in,
            WRITEDD{{CODE}}_C.audituser, localtimestamp(0))
    ON CONFLICT (varid, slotstarttime) DO UPDATE SET
        datestamp = excluded.datestamp, comment = excluded.comment,
        audituser = excluded.audituser, audittimestamp = excluded.audittimestamp;
END
$$;

CREATE FUNCTION DELETEDD{{CODE}}_C(
    IN slotstarttime timestamp without time zone,
    IN varid_2 integer,
    IN slotendtime timestamp without time zone,
    IN audituser varchar)
RETURNS void LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
    DELETE FROM DD{{CODE}}_COMMENTS
    WHERE varid = varid_2 AND slotstarttime >= DELETEDD{{CODE}}_C.slotstarttime
      AND slotstarttime < DELETEDD{{CODE}}_C.slotendtime;
END
$$;
