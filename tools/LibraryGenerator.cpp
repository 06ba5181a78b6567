#include "LibraryGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <numeric>
#include <sstream>
#include <string_view>
#include <vector>

#include "EngineShell.h"
#include "Format25Scripts.h"
#include "platform/DBEngine.h"
#include "platform/DateConversion.h"
#include "platform/JetError.h"

using platform::Value;

namespace tools {
namespace {

// splitmix64: small, fast and the same on every platform, so a seed names one library.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    long Below(long n) { return n <= 0 ? 0 : static_cast<long>(Next() % static_cast<uint64_t>(n)); }
    long Between(long lo, long hi) { return lo + Below(hi - lo + 1); }
    bool PerMille(long p) { return Below(1000) < p; }
    template <typename T, size_t N>
    const T& Pick(const std::array<T, N>& items) {
        return items[static_cast<size_t>(Below(static_cast<long>(N)))];
    }

  private:
    uint64_t state_;
};

struct Genre {
    long id;
    const char* name;
    const char* folder;  // folder name under C:\Music
};

// Ids with gaps, as left by genres that users deleted; Hörspiel has no titles.
constexpr std::array<Genre, 11> kGenres = {{{1, "Rock", "Rock"},
                                            {2, "Pop", "Pop"},
                                            {3, "Schlager", "Schlager"},
                                            {5, "Dance", "Dance"},
                                            {7, "Jazz", "Jazz"},
                                            {8, "Klassik", "Klassik"},
                                            {11, "Hip-Hop", "HipHop"},
                                            {12, "Volksmusik", "Volksmusik"},
                                            {15, "Soundtrack", "Soundtracks"},
                                            {20, "Rock 'n' Roll", "Rock 'n' Roll"},
                                            {21, "Hörspiel", "Hörspiele"}}};
// Genre ids of titles whose genre row is gone.
constexpr std::array<long, 3> kMissingGenres = {99, 0, 4};

struct Artist {
    const char* name;
    size_t genre;  // index into kGenres
};

constexpr std::array<Artist, 62> kArtists = {{
    {"Queen", 0},
    {"Rammstein", 0},
    {"Die Ärzte", 0},
    {"Die Toten Hosen", 0},
    {"Guns N' Roses", 0},
    {"AC/DC", 0},
    {"Mötley Crüe", 0},
    {"Bon Jovi", 0},
    {"Scorpions", 0},
    {"BAP", 0},
    {"Herbert Grönemeyer", 1},
    {"Nena", 1},
    {"Madonna", 1},
    {"The Beatles", 1},
    {"Sinéad O'Connor", 1},
    {"Münchener Freiheit", 1},
    {"Xavier Naidoo", 1},
    {"Rosenstolz", 1},
    {"ABBA", 1},
    {"Des'ree", 1},
    {"Udo Jürgens", 2},
    {"Helene Fischer", 2},
    {"Roland Kaiser", 2},
    {"Andrea Berg", 2},
    {"Wolfgang Petry", 2},
    {"Nicole", 2},
    {"Scooter", 3},
    {"Modern Talking", 3},
    {"Blümchen", 3},
    {"Snap!", 3},
    {"Culture Beat", 3},
    {"Mr. President", 3},
    {"Dr. Alban", 3},
    {"Miles Davis", 4},
    {"Ella Fitzgerald", 4},
    {"Dave Brubeck", 4},
    {"Till Brönner", 4},
    {"Chet Baker", 4},
    {"Billie Holiday", 4},
    {"Wiener Philharmoniker", 5},
    {"Anne-Sophie Mutter", 5},
    {"Berliner Philharmoniker", 5},
    {"Die Fantastischen Vier", 6},
    {"Fettes Brot", 6},
    {"Beginner", 6},
    {"Samy Deluxe", 6},
    {"Kastelruther Spatzen", 7},
    {"Hansi Hinterseer", 7},
    {"Zillertaler Schürzenjäger", 7},
    {"Hans Zimmer", 8},
    {"Ennio Morricone", 8},
    {"Klaus Doldinger", 8},
    {"Elvis Presley", 9},
    {"Chuck Berry", 9},
    {"Little Richard", 9},
    {"Bill Haley & His Comets", 9},
    {"Peter Maffay", 0},
    {"Marius Müller-Westernhagen", 1},
    {"Sportfreunde Stiller", 0},
    {"Wir sind Helden", 1},
    {"Die Prinzen", 1},
    {"Ö La Palöma", 2},
}};

constexpr std::array<const char*, 20> kFirstNames = {
    "Jürgen", "Anna", "Jörg",  "Sören",   "Maik",    "Frank", "Sabine",  "Kevin", "Lisa", "Björn",
    "Chloé",  "Seán", "Renée", "Günther", "Claudia", "Tom",   "Jessica", "Uwe",   "Zoë",  "Mark"};
constexpr std::array<const char*, 20> kLastNames = {
    "Müller",   "Schäfer", "Weiß",    "O'Brien", "Köhler",  "Baumgärtner", "Smith",
    "D'Angelo", "Jäger",   "Groß",    "Krüger",  "MacLeod", "Hoffmann",    "Brown",
    "Öztürk",   "Lehmann", "Fischer", "O'Neill", "Wagner",  "Bäcker"};
constexpr std::array<const char*, 8> kBandHeads = {"The Night",    "The Velvet", "The Silver",
                                                   "The Electric", "Die Wilden", "Die Lauten",
                                                   "Die Schönen",  "Die Müden"};
constexpr std::array<const char*, 8> kBandTails = {"Riders", "Stones", "Kings",  "Echoes",
                                                   "Jungs",  "Füchse", "Brüder", "Dreamers"};

constexpr std::array<const char*, 40> kKnownTitles = {"Bohemian Rhapsody",
                                                      "Don't Stop Me Now",
                                                      "Du hast",
                                                      "Schrei nach Liebe",
                                                      "Über sieben Brücken musst du gehn",
                                                      "Verdammt, ich lieb' dich",
                                                      "Männer",
                                                      "Bochum",
                                                      "99 Luftballons",
                                                      "Nothing Compares 2 U",
                                                      "Sweet Child O' Mine",
                                                      "Highway to Hell",
                                                      "Griechischer Wein",
                                                      "Atemlos durch die Nacht",
                                                      "Hyper Hyper",
                                                      "You're My Heart, You're My Soul",
                                                      "Boot vom Boot",
                                                      "Rhythm Is a Dancer",
                                                      "So What",
                                                      "Take Five",
                                                      "Summertime",
                                                      "Die da!?!",
                                                      "Nur ein Wort",
                                                      "Tage wie diese",
                                                      "Ein Kompliment",
                                                      "Über den Wolken",
                                                      "Hey Jude",
                                                      "Let It Be",
                                                      "It's My Life",
                                                      "Wind of Change",
                                                      "Can't Help Falling in Love",
                                                      "Johnny B. Goode",
                                                      "Tutti Frutti",
                                                      "Rock Around the Clock",
                                                      "Der Kommissar",
                                                      "Königin der Nacht",
                                                      "L'Amour toujours",
                                                      "Ich will Spaß",
                                                      "Mädchen",
                                                      "Cowboy und Indianer"};
constexpr std::array<const char*, 12> kEnAdjectives = {"Lonely", "Electric", "Golden",   "Broken",
                                                       "Sweet",  "Wild",     "Endless",  "Silent",
                                                       "Crazy",  "Blue",     "Midnight", "Burning"};
constexpr std::array<const char*, 12> kEnNouns = {"Heart",  "Night", "Road",    "Summer",
                                                  "Dreams", "Rain",  "Fire",    "Love",
                                                  "City",   "Girl",  "Highway", "Radio"};
constexpr std::array<const char*, 12> kDeNouns = {"Herz",   "Regen", "Sommer", "Nacht",
                                                  "Wind",   "Mond",  "Traum",  "Meer",
                                                  "Himmel", "Feuer", "Straße", "Glück"};
constexpr std::array<const char*, 8> kDeHeads = {"Ein",   "Kein",    "Mein",   "Dein",
                                                 "Unser", "Kleines", "Großes", "Letztes"};
constexpr std::array<const char*, 8> kAlbumWords = {"Greatest Hits", "Live",        "Best Of",
                                                    "Unplugged",     "Gold",        "Die Singles",
                                                    "Remastered",    "Nachtschicht"};
constexpr std::array<const char*, 6> kCities = {"Köln",   "München", "Düsseldorf",
                                                "London", "Zürich",  "Wien"};
constexpr std::array<const char*, 6> kComments = {"Remaster 2001; Lautstärke angepasst",
                                                  "Live",
                                                  "Single-Version",
                                                  "von CD kopiert",
                                                  "Maxi-Version (12\")",
                                                  "Radio Edit"};
constexpr std::array<const char*, 4> kEqualizers = {"0,0,2,3,0,0,-1,0,0,0", "3,2,0,0,0,0,0,1,2,3",
                                                    "0,0,0,0,0,0,0,0,0,0",
                                                    "-2,-1,0,1,2,2,1,0,-1,-2"};

constexpr std::array<const char*, 8> kGroupNames = {
    "Party",           "Ruhig & entspannt", "Archiv",      "Oldies 'n' Goldies",
    "Sport & Fitness", "Hochzeit",          "Weihnachten", "Radio-Show"};
// The group that keeps no playlists (a user emptied it).
constexpr long kEmptyGroup = 3;
constexpr std::array<const char*, 12> kPlaylistNames = {
    "Party Hits",     "Rock Klassiker", "Chillout", "Ohne Gruppe",
    "Lieblingssongs", "Auto",           "Küche",    "Samstagabend",
    "Tanzen!",        "Geburtstag '05", "Joggen",   "Zum Einschlafen"};
// Mix texts as the player stores them; Null and "" both occur.
constexpr std::array<const char*, 10> kMixTexts = {
    "-1,5,,,,", ",,,,,,", "-12", "3,4", "0,2,,,,", "-1", "5,,,", nullptr, nullptr, ""};

// Characters that a Windows file or folder name cannot hold.
std::string FileName(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            if (c == '/') out += '-';
        } else {
            out += c;
        }
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
    return out.empty() ? std::string("_") : out;
}

// The words joined; a braced list is evaluated left to right, so random picks written into it
// happen in the same order with every compiler (operands of + have no such order).
std::string Words(std::initializer_list<std::string_view> words) {
    std::string out;
    for (std::string_view w : words) out += w;
    return out;
}

Value Text(std::string s) { return Value::FromText(std::move(s)); }
Value Long(long v) { return Value::FromInteger(v); }
Value Bool(bool b) { return Value::FromBoolean(b); }
Value Date(double d) { return Value::FromDate(d); }
Value TextOrNull(const char* s) { return s ? Text(s) : Value(); }

// Writes rows into one table through an updatable recordset, the fields taken once by name.
class RowWriter {
  public:
    RowWriter(platform::Database& db, const std::string& table,
              std::initializer_list<const char*> columns)
        : rs_(db.OpenRecordset(table)) {
        for (const char* c : columns) fields_.push_back(&rs_[c]);
    }
    void Add(std::initializer_list<Value> values) {
        rs_.AddNew();
        size_t i = 0;
        for (const Value& v : values) fields_.at(i++)->SetValue(v);
        rs_.Update();
    }

  private:
    platform::Recordset rs_;
    std::vector<platform::Field*> fields_;
};

struct Location {
    std::string folder;  // with closing backslash
    int driveType;
    const char* volume;
};

// The whole generation; one object per Write.
class Builder {
  public:
    Builder(const LibraryOptions& options, platform::Database& db)
        : options_(options), random_(options.seed), db_(db) {}

    LibrarySummary Run() {
        WriteGenres();
        MakeArtists();
        WriteTitles();
        WritePlaylists();
        WriteStatistics();
        WriteMixStyles();
        return summary_;
    }

  private:
    void WriteGenres() {
        RowWriter w(db_, "genre", {"genre_id", "name"});
        for (const Genre& g : kGenres) w.Add({Long(g.id), Text(g.name)});
        summary_.genres = static_cast<long>(kGenres.size());
    }

    void MakeArtists() {
        for (const Artist& a : kArtists) artists_.push_back({a.name, a.genre});
        // Large libraries hold many more artists than the well-known ones.
        const long wanted =
            std::max<long>(0, options_.titles / 60 - static_cast<long>(kArtists.size()));
        for (long i = 0; i < wanted; ++i) {
            std::string name =
                random_.PerMille(750)
                    ? Words({random_.Pick(kFirstNames), " ", random_.Pick(kLastNames)})
                    : Words({random_.Pick(kBandHeads), " ", random_.Pick(kBandTails)});
            ownNames_.push_back(std::move(name));
        }
        for (const std::string& n : ownNames_)
            artists_.push_back({n.c_str(), static_cast<size_t>(random_.Below(10))});
    }

    std::string TitleText() {
        switch (random_.Below(6)) {
            case 0:
            case 1:
                return random_.Pick(kKnownTitles);
            case 2:
                return Words({random_.Pick(kEnAdjectives), " ", random_.Pick(kEnNouns)});
            case 3:
                return Words({random_.Pick(kDeNouns), " und ", random_.Pick(kDeNouns)});
            case 4:
                return Words({random_.Pick(kDeHeads), " ", random_.Pick(kDeNouns),
                              random_.PerMille(300) ? " (Live)" : ""});
            default:
                return Words({random_.PerMille(500) ? "Don't " : "Can't ", "Stop the ",
                              random_.Pick(kEnNouns)});
        }
    }

    std::string AlbumText() {
        switch (random_.Below(4)) {
            case 0:
                return random_.Pick(kAlbumWords);
            case 1:
                return std::string("Live in ") + random_.Pick(kCities);
            case 2:
                return Words({random_.Pick(kEnAdjectives), " ", random_.Pick(kEnNouns)});
            default:
                return Words({random_.Pick(kDeHeads), " ", random_.Pick(kDeNouns)});
        }
    }

    // Where an album or a batch of singles lies. Albums sit four to six levels deep; hit
    // folders lie on volumes that come and go (drive type 4), one of them on a server share.
    Location AlbumLocation(const std::string& artist, const std::string& album,
                           const std::string& year, size_t genre) {
        const long r = random_.Below(100);
        const std::string a = FileName(artist);
        const std::string b = FileName(album);
        if (r < 62) {
            std::string folder =
                "C:\\Music\\" + std::string(kGenres[genre].folder) + "\\" + a + "\\" + b + "\\";
            if (random_.PerMille(100))
                folder += "CD" + std::to_string(random_.Between(1, 2)) + "\\";
            return {folder, 3, "SYSTEM"};
        }
        if (r < 82) return {"D:\\Musik\\" + a + "\\" + year + " - " + b + "\\", 3, "DATEN"};
        if (r < 92)
            return {"F:\\MP3\\" + a.substr(0, 1) + "\\" + a + "\\" + b + "\\", 2, "USB-STICK"};
        return {"\\\\nas\\Musik\\Archiv\\" + a + "\\", 4, "ARCHIV"};
    }

    Location HitsLocation() {
        const long r = random_.Below(100);
        if (r < 40) return {"E:\\Hits\\", 4, random_.PerMille(800) ? "MIX02" : "MIX03"};
        if (r < 55)
            return {"E:\\Hits\\" + std::to_string(random_.Between(1998, 2005)) + "\\", 4, "MIX02"};
        if (r < 80) return {"\\\\srv\\share\\Hits\\", 4, "MIX01"};
        if (r < 90) return {"\\\\srv\\share\\Hits\\Party\\", 4, "MIX01"};
        if (r < 96) return {"G:\\", 5, "BRAVO_HITS_23"};  // a CD in the drive
        return {"D:\\", 3, "DATEN"};
    }

    // Imports happen in sessions a few days apart, each in the evening, titles seconds apart;
    // a session may run past midnight.
    double ImportTime(long index) {
        const long sessions = std::clamp<long>(options_.titles / 400 + 3, 3, 40);
        const long session = index * sessions / std::max<long>(1, options_.titles);
        while (static_cast<long>(sessionStart_.size()) <= session) {
            const double day =
                sessionStart_.empty()
                    ? base_
                    : std::floor(sessionStart_.back()) + static_cast<double>(random_.Between(1, 4));
            sessionStart_.push_back(day +
                                    (19.0 + static_cast<double>(random_.Below(40)) / 10.0) / 24.0);
            sessionTime_ = sessionStart_.back();
        }
        sessionTime_ += static_cast<double>(random_.Between(4, 9)) / 86400.0;
        return sessionTime_;
    }

    void WriteTitles() {
        RowWriter w(
            db_, "db_all",
            {"Titel",        "Interpret",    "Kommentar", "Album",    "Jahr",       "Genre_ID",
             "Path",         "DName",        "DTimeMsec", "DTime",    "DLen",       "DTSDatei",
             "DTSImport",    "DKhz",         "DBit",      "BPM",      "DEL",        "Play",
             "PlayCountDay", "PlayCountAll", "Note",      "Track",    "FrameStart", "FrameStop",
             "Normalize",    "Volume",       "Pitch",     "DriveTyp", "DriveName",  "MixTime",
             "MixIn",        "MixOut",       "EQ"});
        // A few rows are written and deleted again, leaving the gaps in FID that real files show
        // (never the rows 2 and 4, which are sure to be marked deleted and to lack a genre).
        const long gaps = options_.titles >= 10 ? std::max<long>(1, options_.titles / 300) : 0;
        const long rows = options_.titles + gaps;
        std::vector<long>& gapFids = gapFids_;
        for (long i = 0; i < gaps; ++i) gapFids.push_back(random_.Between(5, rows - 1));
        std::sort(gapFids.begin(), gapFids.end());
        gapFids.erase(std::unique(gapFids.begin(), gapFids.end()), gapFids.end());
        const long written = options_.titles + static_cast<long>(gapFids.size());

        long fid = 0;
        while (fid < written) {
            const bool hits = random_.PerMille(180);
            const long batch = std::min<long>(
                written - fid, hits ? random_.Between(5, 30) : random_.Between(8, 14));
            const Artist& albumArtist =
                artists_[static_cast<size_t>(random_.Below(static_cast<long>(artists_.size())))];
            const std::string album = AlbumText();
            const std::string year = std::to_string(random_.Between(1956, 2005));
            const Location albumPlace =
                hits ? HitsLocation()
                     : AlbumLocation(albumArtist.name, album, year, albumArtist.genre);
            for (long track = 1; track <= batch; ++track) {
                ++fid;
                const Artist& artist = hits ? artists_[static_cast<size_t>(random_.Below(
                                                  static_cast<long>(artists_.size())))]
                                            : albumArtist;
                WriteTitle(w, fid, track, artist, hits ? std::string() : album,
                           hits ? std::to_string(random_.Between(1970, 2005)) : year, albumPlace,
                           hits);
            }
        }
        for (long gap : gapFids) {
            db_.Execute("DELETE FROM db_all WHERE FID = " + std::to_string(gap));
            if (deleted_[static_cast<size_t>(gap)]) --summary_.deleted;
            if (noGenre_[static_cast<size_t>(gap)]) --summary_.withoutGenre;
        }
        summary_.titles = written - static_cast<long>(gapFids.size());
        maxFid_ = written;
    }

    void WriteTitle(RowWriter& w, long fid, long track, const Artist& artist,
                    const std::string& album, const std::string& year, const Location& place,
                    bool hits) {
        const std::string titel = TitleText();
        Value interpret = Text(artist.name);
        Value albumValue = hits ? (random_.PerMille(500) ? Value() : Text("")) : Text(album);
        Value jahr = Text(year);
        Value trackValue = hits && random_.PerMille(300) ? Value() : Long(track);
        Value kommentar;
        const long k = random_.Below(100);
        if (k < 8)
            kommentar = Text("");
        else if (k < 20)
            kommentar = Text(random_.Pick(kComments));
        std::string dname = hits ? FileName(std::string(artist.name) + " - " + titel) + ".mp3"
                                 : (track < 10 ? "0" : "") + std::to_string(track) + " - " +
                                       FileName(titel) + ".mp3";
        Value titelValue = Text(titel);
        const long tags = random_.Below(1000);
        if (tags < 10) {  // an untagged file
            titelValue = Text("Track" + std::string(track < 10 ? "0" : "") + std::to_string(track));
            dname = "Track" + std::string(track < 10 ? "0" : "") + std::to_string(track) + ".mp3";
            interpret = albumValue = jahr = trackValue = Value();
        } else if (tags < 15) {  // tags present but empty
            interpret = albumValue = jahr = kommentar = Text("");
        }

        size_t genre = artist.genre;
        if (hits && random_.PerMille(400)) genre = static_cast<size_t>(random_.Below(10));
        long genreId = kGenres[genre].id;
        const bool noGenre = random_.PerMille(4) || fid == 4;
        if (noGenre) genreId = random_.Pick(kMissingGenres);
        const bool del = random_.PerMille(15) || fid == 2;

        const long msec = random_.Between(95000, 480000);
        const std::string dtime = std::to_string(msec / 60000) + ":" +
                                  (msec / 1000 % 60 < 10 ? "0" : "") +
                                  std::to_string(msec / 1000 % 60);
        constexpr std::array<long, 5> kBitrates = {128, 160, 192, 256, 320};
        const long bits = random_.Pick(kBitrates);
        const long khz = random_.PerMille(930) ? 44100 : (random_.PerMille(700) ? 48000 : 22050);
        const double imported = ImportTime(fid);
        const long fileDay = random_.Below(static_cast<long>(imported - CalendarBase(1999)));
        const double fileTime = CalendarBase(1999) + static_cast<double>(fileDay) +
                                static_cast<double>(random_.Below(86400)) / 86400.0;
        const bool play = random_.PerMille(30);
        const float bpm =
            random_.PerMille(600) ? 0.0f : static_cast<float>(random_.Between(700, 1800)) / 10.0f;
        const float normalize =
            random_.PerMille(900) ? 1.0f : static_cast<float>(random_.Between(70, 130)) / 100.0f;
        const long volume = random_.PerMille(950) ? 100 : random_.Between(80, 120);
        const float pitch =
            random_.PerMille(980) ? 0.0f : static_cast<float>(random_.Between(-4, 4)) / 2.0f;
        const long mix = random_.Below(1000);
        const char* mixIn = mix < 40    ? "-1"
                            : mix < 60  ? "0,3"
                            : mix < 80  ? ""
                            : mix < 100 ? "-1,5,,,,"
                                        : nullptr;
        const char* mixOut = mix < 30 ? "-1" : (mix >= 100 && mix < 115) ? "" : nullptr;
        const long eq = random_.Below(1000);
        const char* eqText = eq < 20 ? "" : eq < 60 ? random_.Pick(kEqualizers) : nullptr;

        w.Add(
            {titelValue,
             interpret,
             kommentar,
             albumValue,
             jahr,
             Long(genreId),
             Text(place.folder),
             Text(dname),
             Long(msec),
             Text(dtime),
             Long(msec * bits / 8 + random_.Below(4000)),
             Date(std::floor(fileTime * 86400.0) / 86400.0),
             Date(imported),
             Long(khz),
             Long(bits),
             Value::FromSingle(bpm),
             Bool(del),
             Bool(play),
             Long(play ? random_.Between(1, 3) : 0),
             Long(random_.PerMille(300) ? 0 : random_.Between(1, random_.PerMille(900) ? 12 : 60)),
             Long(random_.Below(6)),
             trackValue,
             Long(random_.PerMille(980) ? 0 : random_.Between(50, 400)),
             Long(msec * 1000 / 26122),
             Value::FromSingle(normalize),
             Long(volume),
             Value::FromSingle(pitch),
             Long(place.driveType),
             Text(place.volume),
             Long(random_.PerMille(950) ? 0 : random_.Between(2000, 8000)),
             TextOrNull(mixIn),
             TextOrNull(mixOut),
             TextOrNull(eqText)});
        deleted_.resize(static_cast<size_t>(fid) + 1);
        noGenre_.resize(static_cast<size_t>(fid) + 1);
        deleted_[static_cast<size_t>(fid)] = del;
        noGenre_[static_cast<size_t>(fid)] = noGenre;
        summary_.deleted += del ? 1 : 0;
        summary_.withoutGenre += noGenre ? 1 : 0;
    }

    static double CalendarBase(int year) {
        return platform::CalendarToOleDate({year, 1, 1, 0, 0, 0});
    }

    double SomeTimeAfterImports() {
        const double first = sessionStart_.empty() ? base_ : sessionStart_.front();
        const double last = sessionTime_ > first ? sessionTime_ : first + 1.0;
        const double share = static_cast<double>(random_.Below(100000)) / 100000.0;
        return first + (last - first) * share + static_cast<double>(random_.Below(3));
    }

    static double WholeSecond(double d) { return std::floor(d * 86400.0 + 0.5) / 86400.0; }

    void WritePlaylists() {
        const long groups =
            std::min<long>(static_cast<long>(kGroupNames.size()), 3 + options_.titles / 20000);
        {
            RowWriter w(db_, "pl_group", {"name", "pos"});
            for (long g = 0; g < groups; ++g)
                w.Add({Text(kGroupNames[static_cast<size_t>(g)]), Long(g + 1)});
        }
        const long longest = options_.titles >= 5000 ? 120 : 40;
        // Playlist 4 stays empty; the others hold (5 + longest) / 2 entries on average.
        const long playlists =
            std::max(4 + options_.titles / 2500, 4 + options_.entries * 2 / (5 + longest));
        RowWriter names =
            options_.withSid
                ? RowWriter(db_, "pl_name",
                            {"name", "isplay", "activ", "grid", "anzahl", "UpdateTime", "sid"})
                : RowWriter(db_, "pl_name",
                            {"name", "isplay", "activ", "grid", "anzahl", "UpdateTime"});
        RowWriter entries(db_, "pl_all", {"pnid", "FID", "pos", "mixin", "mixout"});
        for (long p = 1; p <= playlists; ++p) {
            std::string name = kPlaylistNames[static_cast<size_t>(
                (p - 1) % static_cast<long>(kPlaylistNames.size()))];
            if (p > static_cast<long>(kPlaylistNames.size()))
                name +=
                    " " + std::to_string((p - 1) / static_cast<long>(kPlaylistNames.size()) + 1);
            // Playlist 4 ("Ohne Gruppe") is outside any group and empty.
            long grid = p == 4 || random_.PerMille(120) ? -1 : random_.Between(1, groups);
            if (grid == kEmptyGroup) grid = 1;
            const long count = p == 4 ? 0 : random_.Between(5, longest);
            Value anzahl = Long(count);  // the stored count is not always up to date
            const long stale = random_.Below(100);
            if (p == 3 || stale < 10)
                anzahl = Value();
            else if (stale < 25)
                anzahl = Long(std::max<long>(0, count + random_.Between(-3, 5)));
            std::vector<Value> row = {Text(name),   Bool(p == 1),
                                      Bool(p == 1), Long(grid),
                                      anzahl,       Date(WholeSecond(SomeTimeAfterImports()))};
            const Value sid =
                p == 3 || random_.PerMille(150) ? Value() : Long(random_.Between(1, 20));
            if (options_.withSid)
                names.Add({row[0], row[1], row[2], row[3], row[4], row[5], sid});
            else
                names.Add({row[0], row[1], row[2], row[3], row[4], row[5]});

            std::vector<long> positions(static_cast<size_t>(count));
            std::iota(positions.begin(), positions.end(), 1);
            if (random_.PerMille(250)) {  // entries moved around after they were added
                for (size_t i = positions.size(); i > 1; --i)
                    std::swap(positions[i - 1],
                              positions[static_cast<size_t>(random_.Below(static_cast<long>(i)))]);
            }
            for (long pos : positions) {
                // Any title, also ones marked deleted and ones that are gone; the first entry
                // of the second playlist always refers to a title that is gone.
                long fid = random_.Between(1, maxFid_ + (random_.PerMille(10) ? 5 : 0));
                if (p == 2 && pos == positions.front())
                    fid = gapFids_.empty() ? maxFid_ + 1 : gapFids_.front();
                entries.Add({Long(p), Long(fid), Long(pos), TextOrNull(random_.Pick(kMixTexts)),
                             TextOrNull(random_.Pick(kMixTexts))});
                ++summary_.entries;
            }
        }
        summary_.playlists = playlists;
    }

    void WriteStatistics() {
        {
            RowWriter w(db_, "db_edit", {"FID", "EditTime"});
            std::vector<double> times;
            for (long i = std::max<long>(3, options_.titles / 200); i > 0; --i)
                times.push_back(WholeSecond(SomeTimeAfterImports()));
            std::sort(times.begin(), times.end());
            for (double t : times) w.Add({Long(random_.Between(1, maxFid_)), Date(t)});
        }
        RowWriter w(db_, "pl_stat", {"FID", "pnid", "PlayTime"});
        std::vector<double> times;
        for (long i = std::max<long>(5, options_.titles / 100); i > 0; --i)
            times.push_back(WholeSecond(SomeTimeAfterImports()));
        std::sort(times.begin(), times.end());
        for (double t : times)
            w.Add({Long(random_.Between(1, maxFid_)), Long(random_.Between(1, summary_.playlists)),
                   Date(t)});
    }

    void WriteMixStyles() {
        RowWriter w(db_, "PL_MIXSETS", {"name", "mixin", "mixout", "fadetime"});
        w.Add({Text("Standard"), Text("-1,5,,,,"), Text("-1,5,,,,"), Long(5000)});
        w.Add({Text("Schneller Übergang"), Text("0,2,,,,"), Text("0,2,,,,"), Long(2000)});
        w.Add({Text("Ohne Blende"), Text(",,,,,,"), Value(), Long(0)});
        w.Add({Text("Lange Blende"), Text("-1,12,,,,"), Text(""), Long(12000)});
    }

    const LibraryOptions& options_;
    Random random_;
    platform::Database& db_;
    LibrarySummary summary_;
    std::vector<std::string> ownNames_;
    std::vector<Artist> artists_;
    std::vector<bool> deleted_;
    std::vector<bool> noGenre_;
    long maxFid_ = 0;
    std::vector<long> gapFids_;
    const double base_ = platform::CalendarToOleDate({2005, 3, 3, 0, 0, 0});
    std::vector<double> sessionStart_;
    double sessionTime_ = 0;
};

void RunScript(const std::string& path, const char* script) {
    std::ostringstream out, err;
    std::istringstream in(script);
    EngineShell shell(out, err);
    if (shell.Run({path}, in) != 0)
        throw platform::JetError(platform::jet::kEngineFailure, err.str());
}

}  // namespace

LibrarySummary LibraryGenerator::Write(const std::string& path) const {
    platform::DBEngine::Instance().CreateDatabase(path, platform::dbLangGeneral).Close();
    RunScript(path, kFormat25Library);
    if (options_.withSid) RunScript(path, kFormat25PlNameSid);
    platform::Database db = platform::DBEngine::Instance().OpenDatabase(path);
    Builder builder(options_, db);
    return builder.Run();
}

}  // namespace tools
