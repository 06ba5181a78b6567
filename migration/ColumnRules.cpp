#include "migration/ColumnRules.h"

namespace migration {
namespace {

std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with) {
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        out.append(text, from, at - from).append(with);
        from = at + what.size();
    }
    return out.append(text, from, std::string::npos);
}

}  // namespace

std::string RewriteMixText(std::string mixText) {
    return ReplaceAll(ReplaceAll(mixText, "-1", "0"), ",,,,", "");
}

}  // namespace migration
