-- The monitoring database that the importer reads: its sites and their trains. Each site keeps
-- its sensors and its readings in tables of its own, made from source_site.sql.
CREATE TABLE SYSTEMS (
    SystemID INTEGER PRIMARY KEY,
    FacilityName VARCHAR(100),
    Status VARCHAR(1) DEFAULT '1',
    TableName VARCHAR(64),
    SensorsName VARCHAR(64)
);

-- "Group" is a reserved word: queries write it as [Group].
CREATE TABLE TRAINS (
    SiteID INTEGER,
    TrainNumber INTEGER,
    TrainName VARCHAR(100),
    TrainOrder INTEGER,
    "Group" INTEGER
);
CREATE INDEX TRAINS_SiteID ON TRAINS (SiteID);
