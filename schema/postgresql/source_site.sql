-- The sensors and the readings of one site, under the names that its SYSTEMS row gives.
CREATE TABLE {{SENSORS}} (
    SensorType integer,
    TrainNumber integer,
    Description text,
    Units text,
    SensorID integer,
    HiHi double precision,
    Hi double precision,
    Lo double precision,
    LoLo double precision,
    MaxDisplay double precision,
    MinDisplay double precision,
    DisplayOrder integer,
    DataType text,
    Virtual boolean
);

CREATE TABLE {{DATA}} (
    SensorType integer,
    TrainNumber integer,
    Data double precision,
    TimeDate timestamp without time zone
);
CREATE INDEX {{DATA}}_TimeDate ON {{DATA}} (TimeDate);
