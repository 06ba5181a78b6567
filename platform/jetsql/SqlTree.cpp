#include "platform/jetsql/SqlTree.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/JetError.h"
#include "platform/engine/SqlText.h"

namespace platform {
namespace {

std::vector<Node> BuildGroup(std::span<const SqlToken> toks, size_t& i, int depth, bool inGroup) {
    if (depth > kMaxNesting) SyntaxError("(");
    std::vector<Node> out;
    while (i < toks.size()) {
        const SqlToken& t = toks[i];
        if (t.IsSymbol("(")) {
            ++i;
            Node g;
            g.group = true;
            g.tok = t;
            g.kids = BuildGroup(toks, i, depth + 1, true);
            out.push_back(std::move(g));
            continue;
        }
        if (t.IsSymbol(")")) {
            if (!inGroup) SyntaxError(")");
            ++i;
            return out;
        }
        out.push_back(Node{t, {}, false});
        ++i;
    }
    if (inGroup) SyntaxError("(");
    return out;
}

bool IsAggregateName(std::string_view name) {
    static constexpr std::array<std::string_view, 11> kAggregates = {
        "COUNT", "SUM", "AVG", "MIN", "MAX", "FIRST", "LAST", "STDEV", "STDEVP", "VAR", "VARP"};
    const std::string up = UpperAscii(name);
    return std::find(kAggregates.begin(), kAggregates.end(), up) != kAggregates.end();
}

}  // namespace

std::vector<Node> BuildTree(std::span<const SqlToken> tokens) {
    size_t at = 0;
    return BuildGroup(tokens, at, 0, false);
}

NestingGuard::NestingGuard(int& depth) : depth_(depth) {
    if (++depth_ > kMaxNesting) {
        --depth_;
        SyntaxError("(");
    }
}

void SyntaxError(std::string_view near) {
    ThrowJetError(jet::kSyntaxInExpression, "Syntax error", near);
}

void NotSupported() { ThrowJetError(jet::kInvalidSqlStatement); }

bool IsW(const Node& n, std::string_view upper) { return !n.group && n.tok.IsWord(upper); }

bool IsSym(const Node& n, std::string_view sym) { return !n.group && n.tok.IsSymbol(sym); }

bool IsKeyword(std::string_view upper) {
    static constexpr std::array<std::string_view, 41> kWords = {
        "ALL",    "AND",      "ANY",         "AS",     "ASC",   "BETWEEN", "BY",
        "DESC",   "DISTINCT", "DISTINCTROW", "EXISTS", "FROM",  "GROUP",   "HAVING",
        "IN",     "INNER",    "INTO",        "IS",     "JOIN",  "LEFT",    "LIKE",
        "NOT",    "ON",       "OR",          "ORDER",  "OUTER", "PERCENT", "RIGHT",
        "SELECT", "SET",      "SOME",        "TOP",    "UNION", "VALUES",  "WHERE",
        "XOR",    "EQV",      "IMP",         "NULL",   "MOD",   "WITH"};
    return std::find(kWords.begin(), kWords.end(), upper) != kWords.end();
}

bool IsName(const Node& n) {
    if (n.group) return false;
    if (n.tok.kind == SqlTokenKind::QuotedName) return true;
    return n.tok.kind == SqlTokenKind::Word && !IsKeyword(UpperAscii(n.tok.text));
}

bool IsJoinWord(const Node& n) {
    return IsW(n, "INNER") || IsW(n, "LEFT") || IsW(n, "RIGHT") || IsW(n, "JOIN");
}

std::string SourceText(Span s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const Node& n = s[i];
        const bool tight = i == 0 || IsSym(n, ",") || IsSym(n, ".") || IsSym(s[i - 1], ".") ||
                           (n.group && !s[i - 1].group && s[i - 1].tok.kind == SqlTokenKind::Word);
        if (!tight) out += ' ';
        if (n.group) {
            out += "(" + SourceText(n.kids) + ")";
            continue;
        }
        switch (n.tok.kind) {
            case SqlTokenKind::String: {
                out += '\'';
                for (char c : n.tok.text) out += c == '\'' ? std::string("''") : std::string(1, c);
                out += '\'';
                break;
            }
            case SqlTokenKind::QuotedName:
                out += "[" + n.tok.text + "]";
                break;
            case SqlTokenKind::Date:
                out += "#" + n.tok.text + "#";
                break;
            default:
                out += n.tok.text;
        }
    }
    return out;
}

bool HasAggregate(Span s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i].group) {
            if (!s[i].kids.empty() && IsW(s[i].kids[0], "SELECT")) continue;
            if (HasAggregate(s[i].kids)) return true;
        } else if (s[i].tok.kind == SqlTokenKind::Word && i + 1 < s.size() && s[i + 1].group &&
                   IsAggregateName(s[i].tok.text)) {
            return true;
        }
    }
    return false;
}

}  // namespace platform
