-- One facility catalog of a ZARN server. The daily-data tables and procedures of each interval
-- come from dailydata.sql. The server compares table names without regard to case
-- (lower_case_table_names=1), as the program's SQL writes LOCATION and Location, VARDESC and
-- vardesc.

-- Locations. UD1 is text so that a key such as '01' keeps its leading zero.
CREATE TABLE LOCATION (
    LocID INTEGER AUTO_INCREMENT PRIMARY KEY,
    RecOrder INTEGER,
    audituser VARCHAR(50),
    audittimestamp DATETIME(3),
    Location VARCHAR(255),
    UD1 VARCHAR(50),
    UD2 INTEGER,
    Description VARCHAR(255),
    SiteAddress VARCHAR(255),
    SiteState VARCHAR(50),
    SiteCity VARCHAR(100),
    SiteZip VARCHAR(20),
    SitePhone VARCHAR(50),
    SiteContact VARCHAR(100),
    SiteEMail VARCHAR(100),
    MailAddress VARCHAR(255),
    MailState VARCHAR(50),
    MailCity VARCHAR(100),
    MailZip VARCHAR(20),
    MailPhone VARCHAR(50),
    MailContact VARCHAR(100),
    MailEMail VARCHAR(100),
    PermitNumber VARCHAR(50),
    NAICS_SIC1 VARCHAR(20),
    NAICS_SIC2 VARCHAR(20),
    UD3 VARCHAR(50),
    UD4 VARCHAR(50),
    UD5 VARCHAR(50),
    UD6 VARCHAR(50),
    UD7 VARCHAR(50),
    UD8 VARCHAR(50),
    UD9 VARCHAR(50),
    Owner VARCHAR(100),
    Notes TEXT,
    LC_PEOPLE_ID INTEGER,
    LocIdType INTEGER,
    AreaId INTEGER,
    Acres DOUBLE,
    Crop VARCHAR(100),
    APPSEASONFROM VARCHAR(20),
    APPSEASONTO VARCHAR(20),
    SOILSERIES VARCHAR(100),
    SOILTEXTURE VARCHAR(100),
    SOILDRAINAGE VARCHAR(100),
    WATERTABLE VARCHAR(100),
    LEGALDESC TEXT
);
CREATE INDEX LOCATION_UD1 ON LOCATION (UD1);

-- Variables. UD1 holds the sensor type as a number (it is compared with bare numbers), UD2 to
-- UD7 the limits and display range, UD8 the display order, UD9 the data type.
CREATE TABLE VARDESC (
    VARID INTEGER AUTO_INCREMENT PRIMARY KEY,
    AuditUser VARCHAR(50),
    AuditTimeStamp DATETIME(3),
    VARNUM INTEGER,
    UD1 INTEGER,
    UD2 DOUBLE,
    UD3 DOUBLE,
    UD4 DOUBLE,
    UD5 DOUBLE,
    UD6 DOUBLE,
    UD7 DOUBLE,
    UD8 INTEGER,
    UD9 VARCHAR(50),
    vartype VARCHAR(10),
    name VARCHAR(255),
    LOCID INTEGER,
    Units VARCHAR(50),
    allowsymbol INTEGER,
    BARCODE VARCHAR(50),
    CASCADERULE INTEGER,
    CHKROLLOVER INTEGER,
    DECPLACES INTEGER,
    SYMBOLRULE1 INTEGER,
    SYMBOLRULE2 INTEGER,
    SYMBOLRULE3 INTEGER,
    SYMBOLRULE4 INTEGER,
    SYMBOLRULE5 INTEGER,
    SYMBOLRULE6 INTEGER,
    SYMBOLRULE7 INTEGER,
    SYMBOLRULE8 INTEGER,
    SYMBOLRULE9 INTEGER,
    SYMBOLRULE10 INTEGER,
    SHORTNAME VARCHAR(50),
    PRIOPERATOR VARCHAR(50),
    PRIOPPRT VARCHAR(50),
    SECOPERATOR VARCHAR(50),
    SECOPPRT VARCHAR(50),
    DESCRIPTION INTEGER
);
CREATE INDEX VARDESC_LOCID_UD1 ON VARDESC (LOCID, UD1);
CREATE INDEX VARDESC_VARNUM ON VARDESC (VARNUM);

-- Captions of the user-defined fields; the key gives the table order.
CREATE TABLE UDCaps (
    UDCapID INTEGER PRIMARY KEY,
    FieldName VARCHAR(50),
    Caption VARCHAR(50)
);
INSERT INTO UDCaps (UDCapID, FieldName, Caption) VALUES
    (1, 'UD1', 'User Field 1'),
    (2, 'UD2', 'User Field 2'),
    (3, 'UD3', 'User Field 3'),
    (4, 'UD4', 'User Field 4'),
    (5, 'UD5', 'User Field 5'),
    (6, 'UD6', 'User Field 6'),
    (7, 'UD7', 'User Field 7'),
    (8, 'UD8', 'User Field 8'),
    (9, 'UD9', 'User Field 9');

-- The audit trail: one transaction row per posted change, one detail row per recorded field.
CREATE TABLE action_history_trans (
    id INTEGER AUTO_INCREMENT PRIMARY KEY,
    audituser VARCHAR(50),
    audittimestamp DATETIME DEFAULT CURRENT_TIMESTAMP,
    filename VARCHAR(64),
    login_history_id INTEGER,
    tablename VARCHAR(64),
    recidnum DOUBLE,
    reciddate DATETIME(3),
    recidtext VARCHAR(255),
    recidnum2 DOUBLE,
    reciddate2 DATETIME(3),
    recidtext2 VARCHAR(255),
    system_comment VARCHAR(255),
    justification VARCHAR(255),
    action INTEGER
);

-- Filled by position: exactly these four columns, in this order.
CREATE TABLE action_history_detail (
    transid INTEGER,
    fieldname VARCHAR(255),
    oldvalue VARCHAR(2000),
    newvalue VARCHAR(2000)
);
CREATE INDEX action_history_detail_transid ON action_history_detail (transid);
