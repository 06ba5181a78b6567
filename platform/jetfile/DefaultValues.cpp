#include "platform/jetfile/DefaultValues.h"

#include <string>

namespace platform {
namespace {

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// "text" or 'text' as a whole, the quote doubled inside.
bool IsQuoted(std::string_view s) {
    if (s.size() < 2 || (s.front() != '"' && s.front() != '\'') || s.back() != s.front()) {
        return false;
    }
    const char quote = s.front();
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] != quote) continue;
        if (i + 2 < s.size() && s[i + 1] == quote) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

bool EngineFillsInDefault(std::string_view text) {
    std::string_view s = Trimmed(text);
    if (!s.empty() && s.front() == '=') s = Trimmed(s.substr(1));
    if (IsQuoted(s)) return true;
    // Text joined or computed from pieces ("a" & "b") is an expression as well.
    if (s.find_first_of("\"'") != std::string_view::npos) return false;
    if (s.size() >= 2 && s.front() == '#' && s.back() == '#' &&
        s.substr(1, s.size() - 2).find('#') == std::string_view::npos) {
        return true;
    }
    std::string lower(s);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower == "now()" || lower == "date()") return true;
    // Anything else with a call in it is an expression the engine would store as text.
    return lower.find('(') == std::string::npos;
}

}  // namespace platform
