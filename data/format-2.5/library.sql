-- The old library, format 2.5, as Jet DDL for the engine.
--
-- Real 2.5 libraries are Jet files written on Windows; this script gives the same tables,
-- column order, types, text sizes and indexes as an engine database, for sample and benchmark
-- libraries (make-library) and tests. pl_name is created as the earlier 2.5 files have it,
-- without sid; pl_name-sid.sql adds the column that later 2.5 files carry.

CREATE TABLE db_version (
    Version TEXT(10)
);
.allowzerolength db_version * on
INSERT INTO db_version (Version) VALUES ('2.5');

CREATE TABLE genre (
    genre_id LONG,
    name TEXT(50),
    CONSTRAINT PrimaryKey PRIMARY KEY (genre_id)
);
.allowzerolength genre * on

CREATE TABLE db_all (
    FID COUNTER,
    Titel TEXT(255),
    Interpret TEXT(255),
    Kommentar TEXT(255),
    Album TEXT(255),
    Jahr TEXT(10),
    Genre_ID LONG,
    Path TEXT(255),
    DName TEXT(255),
    DTimeMsec LONG,
    DTime TEXT(10),
    DLen LONG,
    DTSDatei DATETIME,
    DTSImport DATETIME,
    DKhz LONG,
    DBit LONG,
    BPM SINGLE,
    DEL YESNO,
    Play YESNO,
    PlayCountDay LONG,
    PlayCountAll LONG,
    [Note] SHORT,
    Track SHORT,
    FrameStart LONG,
    FrameStop LONG,
    Normalize SINGLE,
    Volume SHORT,
    Pitch SINGLE,
    DriveTyp SHORT,
    DriveName TEXT(50),
    MixTime LONG,
    MixIn TEXT(255),
    MixOut TEXT(255),
    EQ TEXT(255),
    CONSTRAINT PrimaryKey PRIMARY KEY (FID)
);
CREATE INDEX Path ON db_all (Path);
CREATE INDEX Genre_ID ON db_all (Genre_ID);
.allowzerolength db_all * on

CREATE TABLE pl_group (
    GRID COUNTER,
    name TEXT(100),
    pos LONG,
    CONSTRAINT PrimaryKey PRIMARY KEY (GRID)
);
.allowzerolength pl_group * on

CREATE TABLE pl_name (
    NID COUNTER,
    name TEXT(100),
    isplay YESNO,
    activ YESNO,
    grid LONG,
    anzahl LONG,
    UpdateTime DATETIME,
    CONSTRAINT PrimaryKey PRIMARY KEY (NID)
);
.allowzerolength pl_name * on

CREATE TABLE pl_all (
    PID COUNTER,
    pnid LONG,
    FID LONG,
    pos LONG,
    mixin TEXT(255),
    mixout TEXT(255),
    CONSTRAINT PrimaryKey PRIMARY KEY (PID)
);
.allowzerolength pl_all * on

CREATE TABLE db_edit (
    EID COUNTER,
    FID LONG,
    EditTime DATETIME,
    CONSTRAINT PrimaryKey PRIMARY KEY (EID)
);

CREATE TABLE pl_stat (
    STID COUNTER,
    FID LONG,
    pnid LONG,
    PlayTime DATETIME,
    CONSTRAINT PrimaryKey PRIMARY KEY (STID)
);

CREATE TABLE PL_MIXSETS (
    MSID COUNTER,
    name TEXT(50),
    mixin TEXT(255),
    mixout TEXT(255),
    fadetime LONG,
    CONSTRAINT PrimaryKey PRIMARY KEY (MSID)
);
.allowzerolength PL_MIXSETS * on
