-- The root catalog of a ZARN server: one row per facility catalog.
CREATE TABLE FACILITY (
    filename VARCHAR(64),
    name VARCHAR(100),
    directory VARCHAR(255)
);
