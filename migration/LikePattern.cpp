#include "migration/LikePattern.h"

#include <string>
#include <vector>

#include "platform/JetError.h"

namespace migration {
namespace {

// Code points of a UTF-8 text; a byte that starts no valid sequence stands for itself.
std::u32string Decode(std::string_view text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        size_t length = b < 0x80         ? 1
                        : (b >> 5) == 6  ? 2
                        : (b >> 4) == 14 ? 3
                        : (b >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > text.size()) {
            out.push_back(b);
            ++i;
            continue;
        }
        char32_t cp = length == 1 ? b : b & (0x7f >> length);
        for (size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3f);
        }
        out.push_back(cp);
        i += length;
    }
    return out;
}

// One element of a compiled pattern.
struct Token {
    enum Kind { Literal, AnyRun, AnyOne, Digit, List, Empty } kind = Literal;
    char32_t ch = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool Matches(char32_t c) const {
        switch (kind) {
            case Literal:
                return c == ch;
            case AnyOne:
                return true;
            case Digit:
                return c >= U'0' && c <= U'9';
            case List: {
                bool in = false;
                for (const auto& [lo, hi] : ranges) in = in || (c >= lo && c <= hi);
                return in != negated;
            }
            default:
                return false;
        }
    }
};

std::vector<Token> Compile(const std::u32string& p) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < p.size(); ++i) {
        Token t;
        switch (p[i]) {
            case U'*':
                t.kind = Token::AnyRun;
                break;
            case U'?':
                t.kind = Token::AnyOne;
                break;
            case U'#':
                t.kind = Token::Digit;
                break;
            case U'[': {
                const size_t close = p.find(U']', i + 1);
                if (close == std::u32string::npos) {
                    throw platform::JetError(kInvalidPatternString, "Invalid pattern string");
                }
                std::u32string list = p.substr(i + 1, close - i - 1);
                i = close;
                if (list.empty()) {
                    t.kind = Token::Empty;
                    break;
                }
                t.kind = Token::List;
                size_t k = 0;
                if (list[0] == U'!') {
                    t.negated = true;
                    k = 1;
                }
                for (; k < list.size(); ++k) {
                    if (k + 2 < list.size() && list[k + 1] == U'-') {
                        t.ranges.emplace_back(list[k], list[k + 2]);
                        k += 2;
                    } else {
                        t.ranges.emplace_back(list[k], list[k]);
                    }
                }
                break;
            }
            default:
                t.ch = p[i];
        }
        if (t.kind != Token::Empty) tokens.push_back(std::move(t));
    }
    return tokens;
}

}  // namespace

bool Like(std::string_view text, std::string_view pattern) {
    const std::u32string s = Decode(text);
    const std::vector<Token> tokens = Compile(Decode(pattern));
    // Classic wildcard matching with one backtrack point for the latest `*`.
    size_t si = 0, ti = 0, starToken = std::string::npos, starText = 0;
    while (si < s.size()) {
        if (ti < tokens.size() && tokens[ti].kind == Token::AnyRun) {
            starToken = ti++;
            starText = si;
        } else if (ti < tokens.size() && tokens[ti].Matches(s[si])) {
            ++ti;
            ++si;
        } else if (starToken != std::string::npos) {
            ti = starToken + 1;
            si = ++starText;
        } else {
            return false;
        }
    }
    while (ti < tokens.size() && tokens[ti].kind == Token::AnyRun) ++ti;
    return ti == tokens.size();
}

}  // namespace migration
