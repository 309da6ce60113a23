-- The monitoring database that the importer reads: its sites and their trains. Each site keeps
-- its sensors and its readings in tables of their own, made from source_site.sql. Names are
-- unquoted, so they fold to lower case like the names in the queries.
CREATE TABLE SYSTEMS (
    SystemID integer PRIMARY KEY,
    FacilityName text,
    Status varchar(1) DEFAULT '1',
    TableName text,
    SensorsName text
);

-- "Group" is a reserved word: queries write it as [Group], which reaches the server as "group".
CREATE TABLE TRAINS (
    SiteID integer,
    TrainNumber integer,
    TrainName text,
    TrainOrder integer,
    "group" integer
);
CREATE INDEX TRAINS_SiteID ON TRAINS (SiteID);
