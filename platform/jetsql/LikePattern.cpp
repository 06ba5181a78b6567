#include "platform/jetsql/LikePattern.h"

#include "platform/engine/JetTextOrder.h"
#include "platform/engine/Utf8.h"
#include "platform/jetsql/JetText.h"

namespace platform {

bool LikePattern::Element::Matches(char32_t c) const {
    switch (kind) {
        case Literal:
            return LowerChar(c) == LowerChar(ch);
        case AnyChar:
            return true;
        case Digit:
            return c >= '0' && c <= '9';
        case List: {
            const char32_t lc = LowerChar(c);
            bool in = false;
            for (const auto& [lo, hi] : ranges)
                if ((c >= lo && c <= hi) || (lc >= LowerChar(lo) && lc <= LowerChar(hi))) in = true;
            return in != negated;
        }
        default:
            return false;
    }
}

LikePattern::LikePattern(std::string_view jetPattern) {
    const std::u32string p = DecodeUtf8(jetPattern);
    for (size_t i = 0; i < p.size(); ++i) {
        Element e;
        const char32_t c = p[i];
        if (c == '*') {
            e.kind = Element::AnyRun;
        } else if (c == '?') {
            e.kind = Element::AnyChar;
        } else if (c == '#') {
            e.kind = Element::Digit;
        } else if (c == '[' && p.find(']', i + 1) != std::u32string::npos) {
            const size_t close = p.find(']', i + 1);
            if (close == i + 1) {  // "[]" stands for no character at all
                i = close;
                continue;
            }
            e.kind = Element::List;
            size_t k = i + 1;
            if (p[k] == '!' && k + 1 < close) {
                e.negated = true;
                ++k;
            }
            for (; k < close; ++k) {
                if (k + 2 < close && p[k + 1] == '-') {
                    e.ranges.emplace_back(p[k], p[k + 2]);
                    k += 2;
                } else {
                    e.ranges.emplace_back(p[k], p[k]);
                }
            }
            i = close;
        } else {  // a plain character, '[' without a closing ']' included
            e.ch = c;
        }
        elements_.push_back(std::move(e));
    }
}

bool LikePattern::Matches(std::string_view text) const {
    const std::u32string t = DecodeUtf8(text);
    const std::vector<Element>& p = elements_;
    size_t ti = 0, pi = 0, starP = std::string::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi].kind == Element::AnyRun) {
            starP = pi++;
            starT = ti;
        } else if (pi < p.size() && p[pi].Matches(t[ti])) {
            ++pi;
            ++ti;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi].kind == Element::AnyRun) ++pi;
    return pi == p.size();
}

std::string LikePattern::SqlitePattern() const {
    std::string out;
    for (const Element& e : elements_) {
        if (e.kind == Element::AnyRun) {
            out += '%';
        } else if (e.kind != Element::Literal || e.ch >= 0x80) {
            out += '_';  // SQLite folds only ASCII letters and knows no digits or lists
        } else {
            if (e.ch == '%' || e.ch == '_' || e.ch == '\\') out += '\\';
            AppendUtf8(out, static_cast<uint32_t>(e.ch));
        }
    }
    return out;
}

std::optional<std::pair<std::string, std::string>> LikePattern::PrefixRange() const {
    std::string prefix;
    for (const Element& e : elements_) {
        if (e.kind != Element::Literal) break;
        AppendUtf8(prefix, static_cast<uint32_t>(e.ch));
    }
    constexpr std::string_view kStartsOfNumbers = "0123456789+-.iI";  // "Inf" too
    if (prefix.empty() || kStartsOfNumbers.find(prefix[0]) != std::string_view::npos)
        return std::nullopt;
    std::string after = prefix + std::string(JetTextOrder::kAfterEveryPrefix);
    return std::pair{std::move(prefix), std::move(after)};
}

bool LikePattern::NeedsExactCheck() const {
    for (const Element& e : elements_)
        if (e.kind == Element::Digit || e.kind == Element::List ||
            (e.kind == Element::Literal && e.ch >= 0x80))
            return true;
    return false;
}

}  // namespace platform
