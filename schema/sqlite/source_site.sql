-- The sensors and the readings of one site, under the names that its SYSTEMS row gives.
CREATE TABLE {{SENSORS}} (
    SensorType INTEGER,
    TrainNumber INTEGER,
    Description VARCHAR(255),
    Units VARCHAR(20),
    SensorID INTEGER,
    HiHi REAL,
    Hi REAL,
    Lo REAL,
    LoLo REAL,
    MaxDisplay REAL,
    MinDisplay REAL,
    DisplayOrder INTEGER,
    DataType VARCHAR(20),
    Virtual BOOLEAN
);

CREATE TABLE {{DATA}} (
    SensorType INTEGER,
    TrainNumber INTEGER,
    Data REAL,
    TimeDate DATETIME
);
CREATE INDEX {{DATA}}_TimeDate ON {{DATA}} (TimeDate);
