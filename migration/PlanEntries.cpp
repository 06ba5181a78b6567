#include "migration/PlanEntries.h"

#include <memory>

namespace migration {
namespace {

// Each piece is blank-padded to the same width, which also keeps "User5" and "from" apart.
std::string Piece(const std::string& text) {
    std::string piece = text;
    if (piece.size() < kTitleQueryPieceLength) piece.resize(kTitleQueryPieceLength, ' ');
    return piece;
}

struct Entry {
    const char* tableName;
    const char* description;
    bool titleQuery;
    const char* insertSql;
};

constexpr Entry kEntries[] = {
    {"db_all", "MP3 Dateiinformationen", true, ""},
    {"pl_name", "Playlistnamen", false,
     "insert into pl_name (name,isplay,activ,grid) values ('Jingleliste',true,true,-1)"},
    {"pl_group", "Gruppennamen", false, ""},
    {"db_edit", "Vor kurzem bearbeitet", false, ""},
    {"pl_stat", "Statistikdaten", false, ""},
    {"PL_MIXSETS", "Mixstyles", false, ""},
    {"pl_all", "Playlistinformationen", false, ""},
};

}  // namespace

std::string TitleQuery() {
    static const char* const kPieces[kTitleQueryPieces] = {
        "select db_all.[FID],db_all.[Titel],db_all.[Interpret],db_all.[Kommentar],"
        "db_all.[Album],db_all.[Jahr], genre.name as Genre ,",
        "db_all.[Path],db_all.[DName],db_all.[DTimeMsec],db_all.[DTime],db_all.[DLen],"
        "db_all.[DTSDatei],db_all.[DTSImport],",
        "db_all.[DKhz],db_all.[DBit],db_all.[BPM],db_all.[DEL],db_all.[Play],"
        "db_all.[PlayCountDay],db_all.[PlayCountAll],",
        "db_all.[Note],db_all.[Track],db_all.[FrameStart],db_all.[FrameStop],"
        "db_all.[Normalize],db_all.[Volume],",
        "db_all.[Pitch],db_all.[DriveTyp],db_all.[DriveName],db_all.[MixTime],db_all.[MixIn],"
        "db_all.[MixOut],",
        "db_all.[EQ], null as Favorit,null as Image, null as Situation, null as Tempo, "
        "null as Stimmung,",
        "null as Kategorie, null as User1, null as User2, null as User3, null as User4, "
        "null as User5",
        "from db_all left join genre",
        "on db_all.Genre_ID=genre.genre_id",
    };
    std::string query;
    for (const char* piece : kPieces) query += Piece(piece);
    return query;
}

void RegisterPlanEntries(RivivuviRU& plan) {
    plan.OldVersion("2.5");
    plan.CurrVersion("3.4");
    for (const Entry& e : kEntries) {
        auto entry = std::make_shared<MigriereTable>();
        entry->TableName = e.tableName;
        if (e.titleQuery) entry->UpdateSQL = TitleQuery();
        entry->InsertSql = e.insertSql;
        entry->Beschreibung = e.description;
        plan.AddMigTable(std::move(entry));
    }
}

}  // namespace migration
