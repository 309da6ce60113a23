-- The sensors and the readings of one site, under the names that its SYSTEMS row gives.
CREATE TABLE {{SENSORS}} (
    SensorType INTEGER,
    TrainNumber INTEGER,
    Description VARCHAR(255),
    Units VARCHAR(255),
    SensorID INTEGER,
    HiHi DOUBLE,
    Hi DOUBLE,
    Lo DOUBLE,
    LoLo DOUBLE,
    MaxDisplay DOUBLE,
    MinDisplay DOUBLE,
    DisplayOrder INTEGER,
    DataType VARCHAR(255),
    Virtual BOOLEAN
);

-- Time stamps keep their milliseconds.
CREATE TABLE {{DATA}} (
    SensorType INTEGER,
    TrainNumber INTEGER,
    Data DOUBLE,
    TimeDate DATETIME(3)
);
CREATE INDEX {{DATA}}_TimeDate ON {{DATA}} (TimeDate);
