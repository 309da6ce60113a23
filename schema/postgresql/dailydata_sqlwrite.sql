-- The write procedure of the daily-data store of one interval code ({{CODE}}) as a SQL-language
-- function, in place of the PL/pgSQL one of dailydata.sql: the same parameters, the same
-- upsert. Facilities whose procedures are written in SQL are served by the same import; the
-- benchmark and a test of the data import use this one.
CREATE OR REPLACE FUNCTION WRITEDD{{CODE}}(
    IN date timestamp without time zone,
    IN varid integer,
    IN value double precision,
    IN textvalue varchar,
    IN audituser varchar,
    IN slotstarttime timestamp without time zone,
    IN slotendtime timestamp without time zone,
    IN status integer)
RETURNS void LANGUAGE sql AS $$
    INSERT INTO DD{{CODE}}_VALUES AS v
        (varid, slotstarttime, datestamp, curvalue, textvalue, audituser, audittimestamp,
         status, forced)
    VALUES ($2, $6, $1, $3, $4, $5, localtimestamp(0), $8, 0)
    ON CONFLICT (varid, slotstarttime) DO UPDATE SET
        datestamp = excluded.datestamp, curvalue = excluded.curvalue,
        textvalue = excluded.textvalue, audituser = excluded.audituser,
        audittimestamp = excluded.audittimestamp, status = excluded.status;
$$;
