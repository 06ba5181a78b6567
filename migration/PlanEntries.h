// The seven tables the tool carries from format 2.5 to 3.4, and the query that reads the titles.
//
// RegisterPlanEntries fills a plan (version texts and entries, in transfer order); the window
// calls it while it loads. TitleQuery is the SELECT that reads the old titles in the shape of
// the target's db_all: nine blank-padded pieces of 124 characters. Titles whose genre row is
// missing come across with a Null Genre (left join) rather than being dropped.
#pragma once

#include <string>

#include "migration/RivivuviRU.h"

namespace migration {

inline constexpr size_t kTitleQueryPieceLength = 124;
inline constexpr int kTitleQueryPieces = 9;

std::string TitleQuery();
void RegisterPlanEntries(RivivuviRU& plan);

}  // namespace migration
