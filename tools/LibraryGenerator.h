// LibraryGenerator: writes a sample music library of the old format 2.5 as an engine database.
//
// The library looks like one a user built over some weeks: artists and albums in nested
// folders on several drives, hit folders on network volumes (drive type 4), titles marked
// deleted, gaps in the numbering, a few titles whose genre row is missing, playlists in groups
// with mix texts, edit and play statistics and mix styles. The same options always give the
// same rows: everything comes from a private generator seeded with `seed` (no clock, no
// locale). The tables are those of data/format-2.5, built into the program.
// A LibraryGenerator holds only its options; Write opens and closes its own database.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

struct LibraryOptions {
    long titles = 200;
    uint64_t seed = 1;
    bool withSid = true;  // later 2.5 files have pl_name.sid, earlier ones lack it
    // About this many playlist entries, in more playlists of the usual lengths; 0 leaves the
    // number of playlists to the size of the library.
    long entries = 0;
};

// What Write put into the file.
struct LibrarySummary {
    long titles = 0;        // rows of db_all
    long deleted = 0;       // of these, marked deleted (DEL true)
    long withoutGenre = 0;  // of these, Genre_ID matching no genre row
    long genres = 0;
    long playlists = 0;
    long entries = 0;  // rows of pl_all
};

class LibraryGenerator {
  public:
    explicit LibraryGenerator(LibraryOptions options) : options_(options) {}

    // Creates `path` (JetError 3204 when it exists) with the tables of format 2.5 and fills it.
    LibrarySummary Write(const std::string& path) const;

  private:
    LibraryOptions options_;
};

}  // namespace tools
