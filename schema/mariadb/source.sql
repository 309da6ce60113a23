-- The monitoring database that the importer reads: its sites and their trains. Each site keeps
-- its sensors and its readings in tables of their own, made from source_site.sql. The server
-- compares table names without regard to case (lower_case_table_names=1), as the queries write
-- them in either case.
CREATE TABLE SYSTEMS (
    SystemID INTEGER PRIMARY KEY,
    FacilityName VARCHAR(255),
    Status VARCHAR(1) DEFAULT '1',
    TableName VARCHAR(255),
    SensorsName VARCHAR(255)
);

-- "Group" is a reserved word: queries write it as [Group], which reaches the server quoted.
CREATE TABLE TRAINS (
    SiteID INTEGER,
    TrainNumber INTEGER,
    TrainName VARCHAR(255),
    TrainOrder INTEGER,
    `Group` INTEGER
);
CREATE INDEX TRAINS_SiteID ON TRAINS (SiteID);
