-- Template tables of the shipped target database, format 3.4.
--
-- They never hold rows. At its first start the migration tool builds the side databases
-- sonavoxa.tree.mdb and sonavoxa.temp.mdb from them (one side table per template; the ten
-- column trees all come from x_TREE_default) and links the side tables into sonavoxa.mdb.
-- favorit and tstamp keep the user's favourite tree entries across rebuilds.

-- Directory tree: one row per folder level. A folder may sit on several volumes with the same
-- path (drive type 4), so the volume name belongs to the key.
CREATE TABLE x_tree_dir (
    rlevel SHORT,
    bname TEXT(255),
    Name TEXT(255),
    Path TEXT(255),
    vName TEXT(50),
    Drive SHORT,
    anzahl LONG,
    imgkey TEXT(50),
    BAnzahl LONG,
    tstamp DOUBLE,
    favorit YESNO DEFAULT False,
    CONSTRAINT PrimaryKey PRIMARY KEY (Path, vName)
);
.allowzerolength x_tree_dir * on

CREATE TABLE x_tree_album (
    Name TEXT(255),
    anzahl LONG,
    imgkey TEXT(50),
    tstamp DOUBLE,
    favorit YESNO DEFAULT False,
    CONSTRAINT PrimaryKey PRIMARY KEY (Name)
);
.allowzerolength x_tree_album * on

CREATE TABLE x_TREE_INTERPRET (
    Name TEXT(255),
    anzahl LONG,
    imgkey TEXT(50),
    tstamp DOUBLE,
    favorit YESNO DEFAULT False,
    CONSTRAINT PrimaryKey PRIMARY KEY (Name)
);
.allowzerolength x_TREE_INTERPRET * on

CREATE TABLE x_TREE_GENRE (
    Name TEXT(255),
    anzahl LONG,
    imgkey TEXT(50),
    tstamp DOUBLE,
    favorit YESNO DEFAULT False,
    CONSTRAINT PrimaryKey PRIMARY KEY (Name)
);
.allowzerolength x_TREE_GENRE * on

CREATE TABLE x_TREE_GENRE_INTERPRET (
    Genre TEXT(50),
    Name TEXT(255),
    anzahl LONG,
    imgkey TEXT(50),
    tstamp DOUBLE,
    favorit YESNO DEFAULT False,
    CONSTRAINT PrimaryKey PRIMARY KEY (Genre, Name)
);
.allowzerolength x_TREE_GENRE_INTERPRET * on

-- The trees of the columns Situation, Stimmung, Tempo, Kategorie, User1..User5 and of the
-- import date.
CREATE TABLE x_TREE_default (
    name TEXT(255),
    anzahl LONG,
    imgkey TEXT(50),
    tstamp DOUBLE,
    favorit YESNO DEFAULT False,
    CONSTRAINT PrimaryKey PRIMARY KEY (name)
);
.allowzerolength x_TREE_default * on

-- Work tables of the tag editor and the import: the columns of db_all, FID a plain number
-- and no index, so that any rows can be staged.
CREATE TABLE X_TEMP_MP3Edit (
    FID LONG,
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
    User5 TEXT(50)
);
.allowzerolength X_TEMP_MP3Edit * on

CREATE TABLE X_TEMP_MP3Import (
    FID LONG,
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
    User5 TEXT(50)
);
.allowzerolength X_TEMP_MP3Import * on

-- Playlist imports (the application's own list format and M3U).
CREATE TABLE X_TEMP_PLImport (
    pos LONG,
    Path TEXT(255),
    DName TEXT(255),
    Titel TEXT(255),
    DTimeMsec LONG
);
.allowzerolength X_TEMP_PLImport * on

CREATE TABLE X_TEMP_PLImportM3U (
    pos LONG,
    Path TEXT(255),
    DName TEXT(255),
    Titel TEXT(255),
    DTimeMsec LONG
);
.allowzerolength X_TEMP_PLImportM3U * on

-- Undo of playlist edits: the entries as they were, one UndoStep per edit.
CREATE TABLE X_TEMP_PL_UNDO (
    PID LONG,
    pnid LONG,
    FID LONG,
    pos LONG,
    mixin TEXT(255),
    mixout TEXT(255),
    UndoStep LONG
);
.allowzerolength X_TEMP_PL_UNDO * on
