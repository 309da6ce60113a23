-- The root catalog of a ZARN server: one row per facility catalog.
CREATE TABLE FACILITY (
    filename VARCHAR(255),
    name VARCHAR(255),
    directory VARCHAR(255)
);
