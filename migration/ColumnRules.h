// The value rewrites the transfer run applies on the way into the target.
#pragma once

#include <string>

namespace migration {

// A playlist entry's mix text in the new form: every "-1" becomes "0", then every ",,,," is
// removed (both left to right, without overlaps): "-1,5,,,," gives "0,5", six commas give two.
std::string RewriteMixText(std::string mixText);

}  // namespace migration
