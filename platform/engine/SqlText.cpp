#include "platform/engine/SqlText.h"

namespace platform {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Quoted(std::string_view text, char quote) {
    std::string out(1, quote);
    for (char c : text) {
        out += c;
        if (c == quote) out += quote;
    }
    return out + quote;
}

}  // namespace

std::string LowerName(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string QuoteIdentifier(std::string_view name) { return Quoted(name, '"'); }

std::string QuoteLiteral(std::string_view text) {
    if (text.find('\0') == std::string_view::npos) return Quoted(text, '\'');
    // SQLite reads a statement only up to its first NUL byte, so a NUL inside a text is joined
    // in as char(0); the parentheses keep the whole an operand wherever a literal stood.
    std::string joined = "(";
    size_t start = 0;
    for (size_t nul = text.find('\0'); nul != std::string_view::npos;
         start = nul + 1, nul = text.find('\0', start)) {
        joined += Quoted(text.substr(start, nul - start), '\'') + " || char(0) || ";
    }
    return joined + Quoted(text.substr(start), '\'') + ")";
}

std::string_view TrimSpace(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::string TrimText(std::string_view text) {
    text = TrimSpace(text);
    while (!text.empty() && (IsSpace(text.back()) || text.back() == ';')) text.remove_suffix(1);
    return std::string(text);
}

}  // namespace platform
