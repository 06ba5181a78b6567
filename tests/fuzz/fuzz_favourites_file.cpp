// Reads arbitrary lines as favourites-file lines. Reading never crashes, and what a line reads
// back as, written again and read once more, stays the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "maintenance/FavouritesFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::vector<maintenance::SavedField> fields =
        maintenance::FavouritesFile::ParseLine(line);
    std::vector<platform::Value> values;
    for (const auto& field : fields) {
        values.push_back(field ? platform::Value::FromText(*field) : platform::Value());
    }
    const std::string written = maintenance::FavouritesFile::FormatLine(values);
    if (maintenance::FavouritesFile::ParseLine(written) != fields) std::abort();
    return 0;
}
