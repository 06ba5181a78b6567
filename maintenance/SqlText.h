// SqlText: the pieces of Jet SQL text that the maintenance statements are built from.
//
// Values that come from the library (names, paths, volume names) go into statements only
// through these, so that any character they hold stays data.
#pragma once

#include <string>
#include <string_view>

namespace maintenance {

// A Jet text literal: between apostrophes, each apostrophe doubled. A NUL character (old
// libraries hold some) cannot stand inside a statement's text, which ends there for the
// engine; it is joined in as chr(0) instead, so that the literal still equals the text.
inline std::string Quoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\0') {
            out += "' & chr(0) & '";
            continue;
        }
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// `text` as a Like pattern that matches only itself: Jet matches a wildcard character
// literally when it stands in brackets.
inline std::string LikeLiteral(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '*' || c == '?' || c == '#' || c == '[') {
            out += '[';
            out += c;
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

// The letters A to Z in lower case, every other byte unchanged: how the engine's text keys
// and names compare.
inline std::string FoldAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

}  // namespace maintenance
