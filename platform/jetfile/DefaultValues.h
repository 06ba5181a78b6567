// DefaultValues: which of a Jet file's field defaults the engine can carry over.
//
// Jet keeps a field's default as expression text and evaluates it for each new row. The
// engine evaluates literals (numbers, "text", #dates#, True/False/Yes/No, Null), Now() and
// Date(); any other text it would store as it stands, so that a new row would hold
// "Date()+30", "DMax(...)" or "GenGUID()" instead of a value. Such defaults are left out of
// the copy (the reader notes them).
#pragma once

#include <string_view>

namespace platform {

// `text` as the file's DefaultValue property holds it (with or without a leading "=").
bool EngineFillsInDefault(std::string_view text);

}  // namespace platform
