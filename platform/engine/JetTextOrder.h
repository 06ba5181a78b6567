// JetTextOrder: how Jet's general sort order compares text, as an SQLite collation (internal).
//
// Every letter is compared without regard to its case, not only ASCII letters: "Björk" and
// "BJÖRK" are one value for `=`, `group by`, `distinct` and unique indexes. Accents still count
// for equality ("Bjork" and "Björk" differ), but in sorting a letter with an accent sits next to
// its base letter ("Ärzte" before "Bach"), and ß, æ, œ sort as ss, ae, oe. ASCII text compares
// exactly as SQLite's NOCASE does. The letters come from a table of this file (Latin-1, Latin
// Extended-A/B and Additional, Greek, Cyrillic), never from the process locale, so the order
// of an index on disk does not depend on the environment of the process that wrote it.
//
// Stateless; the collation is registered on a connection by `Register` and lives with it.
#pragma once

#include <string_view>

struct sqlite3;

namespace platform {

class JetTextOrder {
  public:
    // The collation's name in SQL: text columns are declared `TEXT COLLATE JET_GENERAL`.
    static constexpr const char* kCollation = "JET_GENERAL";
    // UTF-8 of the highest code point: a text that starts with a prefix p sorts below p
    // followed by it (unless that noncharacter itself comes next), so
    // [p, p + kAfterEveryPrefix) holds every text starting with p.
    static constexpr std::string_view kAfterEveryPrefix = "\xF4\x8F\xBF\xBF";

    // Less than, equal to or greater than 0 as `a` sorts before, with or after `b`. Bytes that
    // are not UTF-8 count as Latin-1 characters.
    static int Compare(std::string_view a, std::string_view b);
    // The letter that stands for `c` when case is ignored (its lower case); `c` itself for
    // anything that has no case.
    static char32_t FoldCase(char32_t c);
    // The upper-case letter of `c`, or `c` itself.
    static char32_t UpperCase(char32_t c);

    // Adds the collation to `db`. Throws JetError when SQLite refuses.
    static void Register(sqlite3* db);
};

}  // namespace platform
