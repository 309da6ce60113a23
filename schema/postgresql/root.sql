-- The root catalog of a ZARN server: one row per facility catalog.
CREATE TABLE FACILITY (
    filename text,
    name text,
    directory text
);
