#include "platform/jetsql/ExpressionTranslator.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/DateConversion.h"
#include "platform/JetError.h"
#include "platform/engine/JetTextOrder.h"
#include "platform/engine/SqlText.h"
#include "platform/jetsql/JetDateLiteral.h"
#include "platform/jetsql/JetFunctionSupport.h"
#include "platform/jetsql/LikePattern.h"

namespace platform {
namespace {

// Jet functions that run as registered jet_* functions; others (count, sum, iif, abs, ...)
// mean the same in SQLite and keep their names.
std::string FunctionName(std::string_view name) {
    static constexpr std::array<std::string_view, 51> kJet = {
        "format",   "nz",    "mid",    "left",   "right",   "len",        "ucase",     "lcase",
        "trim",     "ltrim", "rtrim",  "now",    "date",    "time",       "year",      "month",
        "day",      "hour",  "minute", "second", "weekday", "cstr",       "clng",      "cint",
        "cdbl",     "csng",  "cbool",  "cdate",  "val",     "instr",      "int",       "fix",
        "sgn",      "space", "string", "isnull", "replace", "dateserial", "datevalue", "dateadd",
        "datediff", "asc",   "chr",    "first",  "last",    "strcomp",    "stdev",     "stdevp",
        "var",      "varp",  "sum"};
    const std::string lower = LowerName(name);
    if (std::find(kJet.begin(), kJet.end(), lower) != kJet.end()) return "jet_" + lower;
    for (char c : name) {
        const bool ok =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) SyntaxError(name);
    }
    return std::string(name);
}

// The fewest and most arguments a Jet function takes; nothing for functions not Jet's own.
std::optional<std::pair<int, int>> ArgumentRange(const std::string& sqliteName) {
    // Those registered for any number of arguments, which they check when they run.
    static constexpr std::array<std::tuple<std::string_view, int, int>, 10> kVariable = {
        {{"jet_weekday", 1, 2},
         {"jet_datediff", 3, 5},
         {"jet_format", 1, 4},
         {"jet_nz", 1, 2},
         {"jet_mid", 2, 3},
         {"jet_instr", 2, 4},
         {"jet_strcomp", 2, 3},
         {"jet_replace", 3, 6},
         {"jet_left", 2, 2},
         {"jet_right", 2, 2}}};
    for (const auto& [name, least, most] : kVariable)
        if (sqliteName == name) return std::pair{least, most};
    for (const auto& functions : {TextFunctions(), NumberFunctions(), DateFunctions()}) {
        for (const ScalarFunction& f : functions) {
            if (sqliteName == f.name && f.args >= 0) return std::pair{f.args, f.args};
        }
    }
    return std::nullopt;
}

// Refuses a call of a Jet function with a wrong number of arguments before SQLite sees it,
// so that the message names the call as written.
void CheckArgumentCount(const std::string& sqliteName, std::string_view written, Span args) {
    const auto range = ArgumentRange(sqliteName);
    if (!range) return;
    int count = args.empty() ? 0 : 1;
    for (const Node& n : args)
        if (IsSym(n, ",")) ++count;
    if (count < range->first || count > range->second) {
        ThrowJetError(jet::kSyntaxInExpression, "Wrong number of arguments used with function",
                      std::string(written) + "(" + SourceText(args) + ")");
    }
}

enum class PieceKind { Atom, Op, Word, Comma };

struct Piece {
    PieceKind kind = PieceKind::Atom;
    std::string text;
    bool isStringLiteral = false;  // an Atom that is a string literal; `literal` holds its value
    std::string literal;
    bool isParameter = false;  // an Atom that is a parameter
    bool sqliteTruth = false;  // an Atom that is a condition giving SQLite's 1 for true
};

Piece MakePiece(PieceKind kind, std::string text) {
    Piece p;
    p.kind = kind;
    p.text = std::move(text);
    return p;
}

bool IsAtom(const Piece& p) { return p.kind == PieceKind::Atom; }
bool IsOpIn(const Piece& p, std::initializer_list<std::string_view> ops) {
    return p.kind == PieceKind::Op && std::find(ops.begin(), ops.end(), p.text) != ops.end();
}
bool IsSign(const Piece& p) { return IsOpIn(p, {"+", "-"}); }

// A group that stands between these as a whole condition (nothing, a comma or a logical
// operator on either side) is itself a condition.
bool BoundsCondition(Span s, size_t at) {
    if (at >= s.size()) return true;
    const Node& n = s[at];
    return IsSym(n, ",") || IsW(n, "AND") || IsW(n, "OR") || IsW(n, "NOT");
}

// True when the pieces [from, to) form a comparison or logical expression giving 1 for true.
bool IsSqliteTruth(const std::vector<Piece>& p, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (IsOpIn(p[i], {"=", "<>", "<", ">", "<=", ">="}) || p[i].sqliteTruth) return true;
        if (p[i].kind == PieceKind::Word) {
            for (std::string_view w :
                 {"AND", "OR", "NOT", "IS", "BETWEEN", "IN", "EXISTS", "XOR", "EQV", "IMP", "LIKE"})
                if (p[i].text == w) return true;
        }
    }
    return false;
}

std::string JoinPieces(const std::vector<Piece>& p, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to; ++i) {
        if (p[i].kind == PieceKind::Comma) {
            out += ",";
            continue;
        }
        if (!out.empty()) out += ' ';
        out += p[i].text;
    }
    return out;
}

// First piece of the operand that ends with the atom at `last`, reaching left across `ops`
// (and across unary signs when `withSigns`).
size_t LeftExtent(const std::vector<Piece>& p, size_t last,
                  std::initializer_list<std::string_view> ops, bool withSigns) {
    size_t j = last;
    for (;;) {
        if (withSigns)
            while (j >= 1 && IsSign(p[j - 1]) && (j == 1 || !IsAtom(p[j - 2]))) --j;
        if (j >= 2 && IsOpIn(p[j - 1], ops) && IsAtom(p[j - 2])) {
            j -= 2;
            continue;
        }
        return j;
    }
}

// One past the last piece of the operand that starts at `first`, reaching right across `ops`.
size_t RightExtent(const std::vector<Piece>& p, size_t first,
                   std::initializer_list<std::string_view> ops) {
    size_t j = first;
    for (;;) {
        while (j < p.size() && IsSign(p[j])) ++j;
        if (j >= p.size() || !IsAtom(p[j])) SyntaxError(JoinPieces(p, first, p.size()));
        ++j;
        if (j < p.size() && IsOpIn(p[j], ops)) {
            ++j;
            continue;
        }
        return j;
    }
}

void Replace(std::vector<Piece>& p, size_t from, size_t to, std::string text) {
    p.erase(p.begin() + static_cast<std::ptrdiff_t>(from),
            p.begin() + static_cast<std::ptrdiff_t>(to));
    p.insert(p.begin() + static_cast<std::ptrdiff_t>(from),
             MakePiece(PieceKind::Atom, std::move(text)));
}

// Rewrites `left op right` as a function call or a parenthesized SQLite operation, Jet's
// precedence deciding how far each operand reaches.
template <typename Make>
void RewriteBinary(std::vector<Piece>& p, std::string_view op,
                   std::initializer_list<std::string_view> ops, bool withSigns, Make make) {
    for (size_t i = 0; i < p.size();) {
        if (!(p[i].kind == PieceKind::Op && p[i].text == op)) {
            ++i;
            continue;
        }
        if (i == 0 || !IsAtom(p[i - 1])) SyntaxError(op);
        const size_t start = LeftExtent(p, i - 1, ops, withSigns);
        const size_t end = RightExtent(p, i + 1, ops);
        std::string text = make(JoinPieces(p, start, i), JoinPieces(p, i + 1, end));
        Replace(p, start, end, std::move(text));
        i = start + 1;
    }
}

// Each comma-separated item of `p` that is a comparison or logical expression becomes
// (-(item)), Jet's -1 for true; an alias (AS name) or a sort order (ASC, DESC) stays outside.
// With `skipFirst` the first item, a condition, stays as it is.
void TruthAsJetValue(std::vector<Piece>& p, bool skipFirst) {
    size_t start = 0;
    for (size_t k = 0; k <= p.size(); ++k) {
        if (k < p.size() && p[k].kind != PieceKind::Comma) continue;
        size_t end = k;
        if (end > start && p[end - 1].kind == PieceKind::Word &&
            (p[end - 1].text == "ASC" || p[end - 1].text == "DESC"))
            --end;
        else if (end >= start + 2 && p[end - 2].kind == PieceKind::Word && p[end - 2].text == "AS")
            end -= 2;
        if (!(skipFirst && start == 0) && IsSqliteTruth(p, start, end)) {
            std::string text = "(-(" + JoinPieces(p, start, end) + "))";
            Replace(p, start, end, std::move(text));
            k -= end - start - 1;
        }
        start = k + 1;
    }
}

// `x` within [from, to) in the text order of columns, which an index on x serves.
std::string InRange(const std::string& x, const std::string& from, const std::string& to) {
    const std::string ordered = "(" + x + ") COLLATE " + JetTextOrder::kCollation;
    return ordered + " >= " + from + " AND " + ordered + " < " + to;
}

// `x LIKE pattern` runs as SQLite's LIKE within the range of the pattern's prefix, which an
// index on x serves, narrowed by jet_like where SQLite's pattern matches more than Jet's.
std::string Like(const std::vector<Piece>& p, size_t start, size_t leftEnd, size_t likeAt,
                 size_t end, bool negated) {
    const std::string x = JoinPieces(p, start, leftEnd);
    const std::string not_ = negated ? "NOT " : "";
    if (end == likeAt + 2 && p[likeAt + 1].isStringLiteral) {
        const LikePattern pattern(p[likeAt + 1].literal);
        std::string text =
            "(" + x + " LIKE " + QuoteLiteral(pattern.SqlitePattern()) + " ESCAPE '\\'";
        if (const auto range = pattern.PrefixRange())
            text += " AND " + InRange(x, QuoteLiteral(range->first), QuoteLiteral(range->second));
        if (pattern.NeedsExactCheck())
            text += " AND jet_like(" + x + ", " + p[likeAt + 1].text + ")";
        return not_ + text + ")";
    }
    if (end == likeAt + 2 && p[likeAt + 1].isParameter) {
        // Two ranges, as the type of x is not known here: the engine binds name_from and
        // name_to to the pattern's PrefixRange and the second range to nothing; without a
        // prefix, to every text, and the second range to every number and text.
        const std::string& name = p[likeAt + 1].text;
        return not_ + "(" + x + " LIKE " + name + "_like ESCAPE '\\' AND (" +
               InRange(x, name + "_from", name + "_to") + " OR " +
               InRange(x, name + "_numfrom", name + "_numto") + ") AND jet_like(" + x + ", " +
               name + "))";
    }
    return not_ + "jet_like(" + x + ", " + JoinPieces(p, likeAt + 1, end) + ")";
}

// jet_concat of `operands`; & is associative, so beyond the number of arguments SQLite takes
// the operands are joined in groups, and the groups in groups, which keeps the nesting shallow.
std::string ConcatCall(std::vector<std::string> operands) {
    constexpr size_t kMaxArguments = 100;
    while (operands.size() > kMaxArguments) {
        std::vector<std::string> groups;
        for (size_t k = 0; k < operands.size(); k += kMaxArguments) {
            std::string call = "jet_concat(";
            for (size_t m = k; m < std::min(operands.size(), k + kMaxArguments); ++m)
                call += (m > k ? ", " : "") + operands[m];
            groups.push_back(call + ")");
        }
        operands = std::move(groups);
    }
    std::string call = "jet_concat(";
    for (size_t m = 0; m < operands.size(); ++m) call += (m ? ", " : "") + operands[m];
    return call + ")";
}

// `first` followed by `terms` (+ or -, operand), taken from the left: one jet_add or jet_sub,
// or jet_addchain calls of at most 100 operands and their operators ('+-'), each call the
// first argument of the next (first, as SQLite's parser stacks least for it there). Written
// outside in, so that the text is built in time linear in its length.
std::string AddChainCall(const std::string& first,
                         const std::vector<std::pair<bool, std::string>>& terms) {
    if (terms.size() == 1)
        return (terms[0].first ? "jet_add(" : "jet_sub(") + first + ", " + terms[0].second + ")";
    constexpr size_t kPerCall = 99;  // operands after the first
    const size_t calls = (terms.size() + kPerCall - 1) / kPerCall;
    std::string call;
    for (size_t c = 0; c < calls; ++c) call += "jet_addchain(";
    call += first;
    std::string ops;
    for (size_t m = 0; m < terms.size(); ++m) {
        call += ", " + terms[m].second;
        ops += terms[m].first ? '+' : '-';
        if ((m + 1) % kPerCall == 0 || m + 1 == terms.size()) {
            call += ", '" + ops + "')";
            ops.clear();
        }
    }
    return call;
}

// A Jet value (-1 for true) of the pieces [from, to): a comparison becomes (-(...)).
std::string JetValueOf(const std::vector<Piece>& p, size_t from, size_t to) {
    if (from >= to) SyntaxError(JoinPieces(p, from, p.size()));
    const std::string text = JoinPieces(p, from, to);
    return IsSqliteTruth(p, from, to) ? "(-(" + text + "))" : text;
}

bool IsWordIn(const Piece& p, std::string_view word) {
    return p.kind == PieceKind::Word && p.text == word;
}

// Xor, Eqv and Imp over [from, to), loosest first (Imp, then Eqv, then Xor), each taken from
// the left; their operands (And, Or, comparisons) bind tighter. The result is a Jet value:
// these operate bitwise on whole numbers, as Jet's do, and True is -1.
std::string LogicalChain(const std::vector<Piece>& p, size_t from, size_t to) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kLoosestFirst = {
        {{"IMP", "jet_imp"}, {"EQV", "jet_eqv"}, {"XOR", "jet_xor"}}};
    for (const auto& [word, fn] : kLoosestFirst) {
        std::vector<size_t> at;
        for (size_t i = from; i < to; ++i)
            if (IsWordIn(p[i], word)) at.push_back(i);
        if (at.empty()) continue;
        // Left to right without nesting the text of every step in a copy of the next.
        std::string out = LogicalChain(p, from, at[0]);
        for (size_t k = 0; k < at.size(); ++k) {
            const size_t end = k + 1 < at.size() ? at[k + 1] : to;
            out = std::string(fn) + "(" + out + ", " + LogicalChain(p, at[k] + 1, end) + ")";
        }
        return out;
    }
    return JetValueOf(p, from, to);
}

// Replaces each comma-separated item holding Xor, Eqv or Imp by its LogicalChain; in a
// condition, as SQLite's truth (not zero).
void LogicalWords(std::vector<Piece>& p, bool asCondition) {
    size_t start = 0;
    for (size_t k = 0; k <= p.size(); ++k) {
        if (k < p.size() && p[k].kind != PieceKind::Comma) continue;
        size_t end = k;
        if (end > start && (IsWordIn(p[end - 1], "ASC") || IsWordIn(p[end - 1], "DESC")))
            --end;
        else if (end >= start + 2 && IsWordIn(p[end - 2], "AS"))
            end -= 2;
        bool has = false;
        for (size_t i = start; i < end && !has; ++i)
            has = IsWordIn(p[i], "XOR") || IsWordIn(p[i], "EQV") || IsWordIn(p[i], "IMP");
        if (has) {
            std::string text = LogicalChain(p, start, end);
            if (asCondition) text = "(" + text + " <> 0)";
            Replace(p, start, end, std::move(text));
            p[start].sqliteTruth = asCondition;
            k -= end - start - 1;
        }
        start = k + 1;
    }
}

}  // namespace

std::string ExpressionTranslator::Translate(Span s, Use use) {
    NestingGuard nest(scope_.NestingDepth());
    std::vector<Piece> p;
    bool inFirstItem = true;
    for (size_t i = 0; i < s.size(); ++i) {
        const Node& n = s[i];
        if (n.group) {
            if (!n.kids.empty() && IsW(n.kids[0], "SELECT")) {
                p.push_back(MakePiece(PieceKind::Atom, "(" + scope_.Subquery(n.kids) + ")"));
            } else {
                const bool inCondition =
                    use == Use::Condition || (use == Use::IifArguments && inFirstItem);
                const bool wholeCondition = inCondition && (i == 0 || BoundsCondition(s, i - 1)) &&
                                            BoundsCondition(s, i + 1);
                p.push_back(MakePiece(
                    PieceKind::Atom,
                    "(" + Translate(n.kids, wholeCondition ? Use::Condition : Use::Values) + ")"));
            }
            continue;
        }
        const SqlToken& t = n.tok;
        const bool afterAs =
            !p.empty() && p.back().kind == PieceKind::Word && p.back().text == "AS";
        switch (t.kind) {
            case SqlTokenKind::Word:
            case SqlTokenKind::QuotedName: {
                if (t.kind == SqlTokenKind::Word && !afterAs) {
                    const std::string up = UpperAscii(t.text);
                    if (up == "TRUE" || up == "FALSE") {
                        p.push_back(MakePiece(PieceKind::Atom, up == "TRUE" ? "-1" : "0"));
                        continue;
                    }
                    if (up == "NULL") {
                        p.push_back(MakePiece(PieceKind::Atom, "NULL"));
                        continue;
                    }
                    if (up == "MOD") {
                        p.push_back(MakePiece(PieceKind::Op, "MOD"));
                        continue;
                    }
                    // Left( and Right( are the string functions; LEFT and RIGHT stand
                    // before JOIN or OUTER, never before a parenthesis.
                    const bool call = i + 1 < s.size() && s[i + 1].group;
                    if (IsKeyword(up) && !(call && (up == "LEFT" || up == "RIGHT"))) {
                        p.push_back(MakePiece(PieceKind::Word, up));
                        continue;
                    }
                    if (call) {
                        const Use args = up == "IIF" ? Use::IifArguments : Use::Values;
                        const std::string name = FunctionName(t.text);
                        CheckArgumentCount(name, t.text, s[i + 1].kids);
                        p.push_back(MakePiece(PieceKind::Atom,
                                              name + "(" + Translate(s[i + 1].kids, args) + ")"));
                        ++i;
                        continue;
                    }
                }
                std::string text = QuoteIdentifier(t.text);
                size_t j = i;
                while (j + 1 < s.size() && IsSym(s[j + 1], ".")) {
                    if (j + 2 >= s.size() || s[j + 2].group) SyntaxError(t.text);
                    const SqlToken& next = s[j + 2].tok;
                    if (next.kind == SqlTokenKind::Word || next.kind == SqlTokenKind::QuotedName)
                        text += "." + QuoteIdentifier(next.text);
                    else if (next.IsSymbol("*"))
                        text += ".*";
                    else
                        SyntaxError(t.text);
                    j += 2;
                }
                Piece piece = MakePiece(PieceKind::Atom, text);
                if (j == i && !afterAs) {
                    if (auto name = scope_.Parameter(t.text)) {
                        piece.text = *name;
                        piece.isParameter = true;
                    }
                }
                p.push_back(std::move(piece));
                i = j;
                break;
            }
            case SqlTokenKind::String: {
                Piece piece = MakePiece(PieceKind::Atom, QuoteLiteral(t.text));
                piece.isStringLiteral = true;
                piece.literal = t.text;
                p.push_back(std::move(piece));
                break;
            }
            case SqlTokenKind::Number:
                p.push_back(MakePiece(PieceKind::Atom, t.text));
                break;
            case SqlTokenKind::Date: {
                const auto d = ParseJetDateLiteral(t.text);
                if (!d) SyntaxError("#" + t.text + "#");
                p.push_back(MakePiece(PieceKind::Atom, QuoteLiteral(FormatStoredDate(*d))));
                break;
            }
            case SqlTokenKind::Symbol: {
                static constexpr std::array<std::string_view, 13> kOps = {
                    "+", "-", "*", "/", "\\", "^", "&", "=", "<>", "<", ">", "<=", ">="};
                if (t.text == ",") {
                    p.push_back(MakePiece(PieceKind::Comma, ","));
                    inFirstItem = false;
                } else if (t.text == "/") {
                    // Jet's / divides as floating point, also two whole numbers; * and / are
                    // of one precedence and taken from the left, so a factor of 1.0 before
                    // each / leaves the grouping as it is.
                    p.push_back(MakePiece(PieceKind::Op, "*"));
                    p.push_back(MakePiece(PieceKind::Atom, "1.0"));
                    p.push_back(MakePiece(PieceKind::Op, "/"));
                } else if (std::find(kOps.begin(), kOps.end(), t.text) != kOps.end()) {
                    p.push_back(MakePiece(PieceKind::Op, t.text));
                } else {
                    SyntaxError(t.text);
                }
                break;
            }
        }
    }

    // Jet's precedence, tightest first: ^, * /, \, Mod, + -, &, comparisons and Like.
    RewriteBinary(p, "^", {}, false, [](const std::string& a, const std::string& b) {
        return "jet_pow(" + a + ", " + b + ")";
    });
    RewriteBinary(p, "\\", {"*", "/"}, true, [](const std::string& a, const std::string& b) {
        return "jet_intdiv(" + a + ", " + b + ")";
    });
    RewriteBinary(p, "MOD", {"*", "/"}, true, [](const std::string& a, const std::string& b) {
        return "(" + a + " % " + b + ")";
    });
    // Binary + and - run as jet_add and jet_sub: a stored date is text, which SQLite's
    // arithmetic would read as its year alone, and Jet's + joins two texts. Taken from the
    // left, so that 10 - 2 - 3 is 5. A sign that follows no operand is unary and stays.
    // A whole chain is written at once, so that 20,000 terms take linear time and memory.
    for (size_t i = 0; i < p.size();) {
        if (!IsSign(p[i]) || i == 0 || !IsAtom(p[i - 1])) {
            ++i;
            continue;
        }
        const size_t start = LeftExtent(p, i - 1, {"*", "/"}, true);
        std::vector<std::pair<bool, std::string>> terms;  // (is +, operand) after the first
        size_t end = i;
        while (end < p.size() && IsSign(p[end])) {
            const size_t next = RightExtent(p, end + 1, {"*", "/"});
            terms.emplace_back(p[end].text == "+", JoinPieces(p, end + 1, next));
            end = next;
        }
        Replace(p, start, end, AddChainCall(JoinPieces(p, start, i), terms));
        i = start + 1;
    }
    for (size_t i = 0; i < p.size();) {
        if (!IsOpIn(p[i], {"&"})) {
            ++i;
            continue;
        }
        if (i == 0 || !IsAtom(p[i - 1])) SyntaxError("&");
        const size_t start = LeftExtent(p, i - 1, {"+", "-", "*", "/"}, true);
        std::vector<std::string> operands{JoinPieces(p, start, i)};
        size_t end = i;
        while (end < p.size() && IsOpIn(p[end], {"&"})) {
            const size_t next = RightExtent(p, end + 1, {"+", "-", "*", "/"});
            operands.push_back(JoinPieces(p, end + 1, next));
            end = next;
        }
        Replace(p, start, end, ConcatCall(std::move(operands)));
        i = start + 1;
    }
    for (size_t i = 0; i < p.size();) {
        if (!(p[i].kind == PieceKind::Word && p[i].text == "LIKE")) {
            ++i;
            continue;
        }
        const bool negated = i >= 1 && p[i - 1].kind == PieceKind::Word && p[i - 1].text == "NOT";
        const size_t leftEnd = negated ? i - 1 : i;  // one past the left operand
        if (leftEnd == 0 || !IsAtom(p[leftEnd - 1])) SyntaxError("Like");
        const size_t start = LeftExtent(p, leftEnd - 1, {"+", "-", "*", "/"}, true);
        const size_t end = RightExtent(p, i + 1, {"+", "-", "*", "/"});
        std::string text = Like(p, start, leftEnd, i, end, negated);
        const bool jetTruth = text.starts_with("jet_like(");  // already -1 for true
        Replace(p, start, end, std::move(text));
        p[start].sqliteTruth = !jetTruth;
        i = start + 1;
    }
    LogicalWords(p, use == Use::Condition);
    if (use != Use::Condition) TruthAsJetValue(p, use == Use::IifArguments);
    return JoinPieces(p, 0, p.size());
}

}  // namespace platform
