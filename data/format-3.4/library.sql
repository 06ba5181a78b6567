-- Library tables of the shipped target database, format 3.4.
--
-- Run by the build through the engine shell (see data/BuildDatabase.cmake) on a new, empty
-- database. Names, column order, types and text sizes are those the application and the
-- migration tool read; primary keys are named PrimaryKey, other indexes after their field.
-- Every text field allows zero-length text, as in the old libraries, so that a migration
-- keeps "" and Null apart.

CREATE TABLE db_version (
    Version TEXT(10)
);
.allowzerolength db_version * on
INSERT INTO db_version (Version) VALUES ('3.4');

-- Kept for the application's own use; the migration does not fill it.
CREATE TABLE genre (
    genre_id LONG,
    name TEXT(50),
    CONSTRAINT PrimaryKey PRIMARY KEY (genre_id)
);
.allowzerolength genre * on

-- One row per music file. Genre holds the genre's name (format 2.5 kept a Genre_ID); the
-- eleven columns after EQ are new in 3.4.
CREATE TABLE db_all (
    FID COUNTER,
    Titel TEXT(255),
    Interpret TEXT(255),
    Kommentar TEXT(255),
    Album TEXT(255),
    Jahr TEXT(10),
    Genre TEXT(50),
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
    Favorit YESNO,
    [Image] TEXT(255),
    Situation TEXT(50),
    Tempo TEXT(50),
    Stimmung TEXT(50),
    Kategorie TEXT(50),
    User1 TEXT(50),
    User2 TEXT(50),
    User3 TEXT(50),
    User4 TEXT(50),
    User5 TEXT(50),
    CONSTRAINT PrimaryKey PRIMARY KEY (FID)
);
-- Path carries the directory tree: its prefix searches (Path Like 'C:\Music\*') run on it.
CREATE INDEX Path ON db_all (Path);
CREATE INDEX Genre ON db_all (Genre);
CREATE INDEX Album ON db_all (Album);
CREATE INDEX Interpret ON db_all (Interpret);
.allowzerolength db_all * on

CREATE TABLE pl_group (
    GRID COUNTER,
    name TEXT(100),
    pos LONG,
    CONSTRAINT PrimaryKey PRIMARY KEY (GRID)
);
.allowzerolength pl_group * on

-- grid is -1 for a playlist outside any group; anzahl is the stored entry count.
CREATE TABLE pl_name (
    NID COUNTER,
    name TEXT(100),
    isplay YESNO,
    activ YESNO,
    grid LONG,
    anzahl LONG DEFAULT 0,
    UpdateTime DATETIME,
    sid LONG,
    sicherung YESNO DEFAULT False,
    CONSTRAINT PrimaryKey PRIMARY KEY (NID)
);
.allowzerolength pl_name * on

-- Playlist entries; mixin and mixout are comma lists such as -1,5,,,,
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
