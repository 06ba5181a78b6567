#include "platform/jetsql/JetSqlTranslator.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <utility>

#include "platform/DateConversion.h"
#include "platform/JetError.h"
#include "platform/jetsql/SqlTokenizer.h"

namespace platform {
namespace {

// Deeper nesting than this is no query a person writes; refusing it keeps the recursion of
// the translator bounded whatever the input.
constexpr int kMaxNesting = 64;
// Stored queries that use stored queries: a cycle ends here.
constexpr int kMaxQueryInlining = 16;

struct Node {
    SqlToken tok;
    std::vector<Node> kids;  // the nodes between '(' and ')' of a group
    bool group = false;
};
using Span = std::span<const Node>;

[[noreturn]] void SyntaxError(std::string_view near) {
    ThrowJetError(jet::kSyntaxInExpression, near);
}
[[noreturn]] void NotSupported() { ThrowJetError(jet::kInvalidSqlStatement); }

bool IsW(const Node& n, std::string_view upper) { return !n.group && n.tok.IsWord(upper); }
bool IsSym(const Node& n, std::string_view sym) { return !n.group && n.tok.IsSymbol(sym); }

std::string Quote(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string SqlString(std::string_view value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

// Words that keep their SQL meaning; any other word is a name.
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

// Jet functions that run as registered jet_* functions; others (count, sum, iif, abs, ...)
// mean the same in SQLite and keep their names.
std::string FunctionName(std::string_view name) {
    static constexpr std::array<std::string_view, 46> kJet = {
        "format",   "nz",    "mid",    "left",   "right",   "len",        "ucase",     "lcase",
        "trim",     "ltrim", "rtrim",  "now",    "date",    "time",       "year",      "month",
        "day",      "hour",  "minute", "second", "weekday", "cstr",       "clng",      "cint",
        "cdbl",     "csng",  "cbool",  "cdate",  "val",     "instr",      "int",       "fix",
        "sgn",      "space", "string", "isnull", "replace", "dateserial", "datevalue", "dateadd",
        "datediff", "asc",   "chr",    "first",  "last",    "strcomp"};
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (std::find(kJet.begin(), kJet.end(), lower) != kJet.end()) return "jet_" + lower;
    for (char c : name) {
        const bool ok =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) SyntaxError(name);
    }
    return std::string(name);
}

bool IsAggregateName(std::string_view name) {
    static constexpr std::array<std::string_view, 11> kAggregates = {
        "COUNT", "SUM", "AVG", "MIN", "MAX", "FIRST", "LAST", "STDEV", "STDEVP", "VAR", "VARP"};
    const std::string up = UpperAscii(name);
    return std::find(kAggregates.begin(), kAggregates.end(), up) != kAggregates.end();
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

std::vector<Node> BuildTree(const std::vector<SqlToken>& toks, size_t& i, int depth, bool inGroup) {
    if (depth > kMaxNesting) SyntaxError("(");
    std::vector<Node> out;
    while (i < toks.size()) {
        const SqlToken& t = toks[i];
        if (t.IsSymbol("(")) {
            ++i;
            Node g;
            g.group = true;
            g.tok = t;
            g.kids = BuildTree(toks, i, depth + 1, true);
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

std::optional<int> TypeFromName(std::string_view word, bool* autoIncrement) {
    const std::string up = UpperAscii(word);
    if (autoIncrement) *autoIncrement = false;
    auto is = [&up](std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), up) != names.end();
    };
    if (is({"TEXT", "VARCHAR", "CHAR", "CHARACTER", "STRING", "ALPHANUMERIC", "NVARCHAR", "NCHAR"}))
        return dbText;
    if (is({"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT"})) return dbMemo;
    if (is({"LONG", "INT", "INTEGER", "INTEGER4"})) return dbLong;
    if (is({"SHORT", "SMALLINT", "INTEGER2"})) return dbInteger;
    if (is({"BYTE", "TINYINT", "INTEGER1"})) return dbByte;
    if (is({"SINGLE", "REAL", "FLOAT4", "IEEESINGLE"})) return dbSingle;
    if (is({"DOUBLE", "FLOAT", "FLOAT8", "IEEEDOUBLE", "NUMBER", "NUMERIC", "DECIMAL"}))
        return dbDouble;
    if (is({"CURRENCY", "MONEY"})) return dbCurrency;
    if (is({"DATETIME", "DATE", "TIME", "TIMESTAMP"})) return dbDate;
    if (is({"YESNO", "BIT", "LOGICAL", "LOGICAL1", "BOOLEAN"})) return dbBoolean;
    if (is({"COUNTER", "AUTOINCREMENT", "IDENTITY"})) {
        if (autoIncrement) *autoIncrement = true;
        return dbLong;
    }
    if (is({"BINARY", "VARBINARY"})) return dbBinary;
    if (is({"LONGBINARY", "OLEOBJECT", "GENERAL", "IMAGE"})) return dbLongBinary;
    if (is({"GUID", "UNIQUEIDENTIFIER"})) return dbGUID;
    if (is({"VALUE"})) return dbText;  // PARAMETERS x Value: a parameter of any type
    return std::nullopt;
}

// Parses a leading "PARAMETERS name type[(size)], ...;" and sets `next` to the first token
// after it (0 when there is none).
std::vector<ParameterDeclaration> ParseParametersClause(const std::vector<SqlToken>& t,
                                                        size_t& next) {
    next = 0;
    std::vector<ParameterDeclaration> out;
    if (t.empty() || !t[0].IsWord("PARAMETERS")) return out;
    size_t i = 1;
    for (;;) {
        if (i >= t.size() ||
            (t[i].kind != SqlTokenKind::Word && t[i].kind != SqlTokenKind::QuotedName))
            SyntaxError("PARAMETERS");
        ParameterDeclaration p;
        p.name = t[i++].text;
        if (i >= t.size() || t[i].kind != SqlTokenKind::Word) SyntaxError(p.name);
        const auto type = TypeFromName(t[i].text, nullptr);
        if (!type) SyntaxError(t[i].text);
        p.type = *type;
        p.size = DefaultFieldSize(p.type);
        ++i;
        if (i < t.size() && t[i].IsSymbol("(")) {
            if (i + 2 >= t.size() || t[i + 1].kind != SqlTokenKind::Number ||
                !t[i + 2].IsSymbol(")"))
                SyntaxError(p.name);
            p.size = static_cast<int32_t>(std::min(std::stod(t[i + 1].text), 1e9));
            i += 3;
        }
        for (const auto& known : out)
            if (EqualsNoCase(known.name, p.name)) ThrowJetError(jet::kFieldDefinedTwice);
        out.push_back(std::move(p));
        if (i < t.size() && t[i].IsSymbol(",")) {
            ++i;
            continue;
        }
        if (i < t.size() && t[i].IsSymbol(";")) {
            next = i + 1;
            return out;
        }
        SyntaxError("PARAMETERS");
    }
}

// --- Expressions -------------------------------------------------------------------------

enum class PieceKind { Atom, Op, Word, Comma };

struct Piece {
    PieceKind kind = PieceKind::Atom;
    std::string text;
    bool isStringLiteral = false;  // an Atom that is a string literal; `literal` holds its value
    std::string literal;
    int param = -1;            // an Atom that is a parameter: its index
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

// Where an expression list stands. A condition (WHERE, ON, HAVING, iif's first argument) is
// left as written: SQLite takes its own 1 as true, and an index can answer a plain comparison.
// A value (a result column, a function's argument, an operand, a value assigned) must be Jet's
// truth value, -1 for true.
enum class Use { Condition, Values, IifArguments };

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

class Context {
  public:
    Context(SqlNameResolver& resolver, const TranslateOptions& options)
        : resolver_(resolver), options_(options) {}

    std::vector<ParameterDeclaration> params;
    std::vector<std::string> paramNames;

    // Makes `decls` the parameters that names of the text at hand refer to.
    void Declare(const std::vector<ParameterDeclaration>& decls) {
        visible_.clear();
        for (const auto& d : decls) {
            size_t k = 0;
            while (k < params.size() && !EqualsNoCase(params[k].name, d.name)) ++k;
            if (k == params.size()) {
                params.push_back(d);
                paramNames.push_back(":p" + std::to_string(params.size()));
            }
            visible_.push_back(k);
        }
    }

    std::string Select(Span s, bool outermost, std::string* updatableTable);
    std::string Insert(Span s, TranslatedStatement& st);
    std::string Update(Span s, TranslatedStatement& st);
    std::string Delete(Span s, TranslatedStatement& st);

  private:
    struct FromItem {
        std::string name;   // as written; empty for a subquery or a parenthesized join
        std::string alias;  // as written; empty when none
        std::string sql;    // the resolved reference, without alias
        bool isBase = false;
        std::string Correlation() const { return alias.empty() ? name : alias; }
    };
    struct FromInfo {
        std::vector<FromItem> items;
        bool joined = false;
    };
    struct Resolved {
        std::string sql;
        bool isBase = false;
    };

    class Nesting {
      public:
        explicit Nesting(int& depth) : depth_(depth) {
            if (++depth_ > kMaxNesting) {
                --depth_;
                SyntaxError("(");
            }
        }
        ~Nesting() { --depth_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

      private:
        int& depth_;
    };

    std::string Expr(Span s, Use use);
    std::string From(Span s, FromInfo& info);
    Resolved Resolve(const std::string& name, bool forWriting);
    std::string InlineQuery(const std::string& name, const std::string& jetSql);
    std::optional<size_t> VisibleParameter(std::string_view name) const {
        for (size_t k : visible_)
            if (EqualsNoCase(params[k].name, name)) return k;
        return std::nullopt;
    }
    std::string Like(const std::vector<Piece>& p, size_t start, size_t leftEnd, size_t likeAt,
                     size_t end, bool negated);

    SqlNameResolver& resolver_;
    const TranslateOptions& options_;
    std::vector<size_t> visible_;
    int depth_ = 0;
    int inlining_ = 0;
};

std::string Context::Expr(Span s, Use use) {
    Nesting nest(depth_);
    std::vector<Piece> p;
    bool inFirstItem = true;
    for (size_t i = 0; i < s.size(); ++i) {
        const Node& n = s[i];
        if (n.group) {
            if (!n.kids.empty() && IsW(n.kids[0], "SELECT")) {
                p.push_back(MakePiece(PieceKind::Atom, "(" + Select(n.kids, false, nullptr) + ")"));
            } else {
                const bool inCondition =
                    use == Use::Condition || (use == Use::IifArguments && inFirstItem);
                const bool wholeCondition = inCondition && (i == 0 || BoundsCondition(s, i - 1)) &&
                                            BoundsCondition(s, i + 1);
                p.push_back(MakePiece(
                    PieceKind::Atom,
                    "(" + Expr(n.kids, wholeCondition ? Use::Condition : Use::Values) + ")"));
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
                        p.push_back(MakePiece(
                            PieceKind::Atom,
                            FunctionName(t.text) + "(" + Expr(s[i + 1].kids, args) + ")"));
                        ++i;
                        continue;
                    }
                }
                std::string text = Quote(t.text);
                size_t j = i;
                while (j + 1 < s.size() && IsSym(s[j + 1], ".")) {
                    if (j + 2 >= s.size() || s[j + 2].group) SyntaxError(t.text);
                    const SqlToken& next = s[j + 2].tok;
                    if (next.kind == SqlTokenKind::Word || next.kind == SqlTokenKind::QuotedName)
                        text += "." + Quote(next.text);
                    else if (next.IsSymbol("*"))
                        text += ".*";
                    else
                        SyntaxError(t.text);
                    j += 2;
                }
                Piece piece = MakePiece(PieceKind::Atom, text);
                if (j == i && !afterAs) {
                    if (auto k = VisibleParameter(t.text)) {
                        piece.text = paramNames[*k];
                        piece.param = static_cast<int>(*k);
                    }
                }
                p.push_back(std::move(piece));
                i = j;
                break;
            }
            case SqlTokenKind::String: {
                Piece piece = MakePiece(PieceKind::Atom, SqlString(t.text));
                piece.isStringLiteral = true;
                piece.literal = t.text;
                p.push_back(std::move(piece));
                break;
            }
            case SqlTokenKind::Number:
                p.push_back(MakePiece(PieceKind::Atom, t.text));
                break;
            case SqlTokenKind::Date: {
                const auto d = ParseDateText(t.text);
                if (!d) SyntaxError("#" + t.text + "#");
                p.push_back(MakePiece(PieceKind::Atom, SqlString(FormatStoredDate(*d))));
                break;
            }
            case SqlTokenKind::Symbol: {
                static constexpr std::array<std::string_view, 13> kOps = {
                    "+", "-", "*", "/", "\\", "^", "&", "=", "<>", "<", ">", "<=", ">="};
                if (t.text == ",") {
                    p.push_back(MakePiece(PieceKind::Comma, ","));
                    inFirstItem = false;
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
    for (size_t i = 0; i < p.size();) {
        if (!IsSign(p[i]) || i == 0 || !IsAtom(p[i - 1])) {
            ++i;
            continue;
        }
        const size_t start = LeftExtent(p, i - 1, {"*", "/"}, true);
        const size_t end = RightExtent(p, i + 1, {"*", "/"});
        std::string call = (p[i].text == "+" ? "jet_add(" : "jet_sub(") + JoinPieces(p, start, i) +
                           ", " + JoinPieces(p, i + 1, end) + ")";
        Replace(p, start, end, std::move(call));
        i = start + 1;
    }
    for (size_t i = 0; i < p.size();) {
        if (!IsOpIn(p[i], {"&"})) {
            ++i;
            continue;
        }
        if (i == 0 || !IsAtom(p[i - 1])) SyntaxError("&");
        const size_t start = LeftExtent(p, i - 1, {"+", "-", "*", "/"}, true);
        std::string call = "jet_concat(" + JoinPieces(p, start, i);
        size_t end = i;
        while (end < p.size() && IsOpIn(p[end], {"&"})) {
            const size_t next = RightExtent(p, end + 1, {"+", "-", "*", "/"});
            call += ", " + JoinPieces(p, end + 1, next);
            end = next;
        }
        Replace(p, start, end, call + ")");
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
    if (use != Use::Condition) TruthAsJetValue(p, use == Use::IifArguments);
    return JoinPieces(p, 0, p.size());
}

// `x LIKE pattern` runs as SQLite's LIKE, which an index on a NOCASE column serves for a
// prefix pattern, narrowed by jet_like where SQLite's pattern matches more than Jet's.
std::string Context::Like(const std::vector<Piece>& p, size_t start, size_t leftEnd, size_t likeAt,
                          size_t end, bool negated) {
    const std::string x = JoinPieces(p, start, leftEnd);
    const std::string not_ = negated ? "NOT " : "";
    if (end == likeAt + 2 && p[likeAt + 1].isStringLiteral) {
        const std::string& pattern = p[likeAt + 1].literal;
        std::string text =
            "(" + x + " LIKE " + SqlString(LikePatternForSqlite(pattern)) + " ESCAPE '\\'";
        if (LikePatternNeedsExactCheck(pattern))
            text += " AND jet_like(" + x + ", " + p[likeAt + 1].text + ")";
        return not_ + text + ")";
    }
    if (end == likeAt + 2 && p[likeAt + 1].param >= 0) {
        const std::string& name = p[likeAt + 1].text;
        return not_ + "(" + x + " LIKE " + name + "_like ESCAPE '\\' AND jet_like(" + x + ", " +
               name + "))";
    }
    return not_ + "jet_like(" + x + ", " + JoinPieces(p, likeAt + 1, end) + ")";
}

Context::Resolved Context::Resolve(const std::string& name, bool forWriting) {
    const std::optional<TableReference> ref = resolver_.ResolveTable(name);
    if (!ref) return {Quote(name), true};  // SQLite reports the missing table
    if (!ref->isQuery) return {ref->sql, true};
    if (forWriting) ThrowJetError(jet::kNotUpdatableQuery);
    if (!ref->querySql.empty()) return {"(" + InlineQuery(name, ref->querySql) + ")", false};
    return {ref->sql, false};
}

std::string Context::InlineQuery(const std::string& name, const std::string& jetSql) {
    if (inlining_ >= kMaxQueryInlining)
        throw JetError(3103, "Circular reference caused by '" + name + "'.");
    const std::vector<SqlToken> tokens = TokenizeJetSql(jetSql);
    size_t start = 0;
    const auto decls = ParseParametersClause(tokens, start);
    size_t end = tokens.size();
    if (end > start && tokens[end - 1].IsSymbol(";")) --end;
    const std::vector<SqlToken> body(tokens.begin() + static_cast<std::ptrdiff_t>(start),
                                     tokens.begin() + static_cast<std::ptrdiff_t>(end));
    size_t at = 0;
    const std::vector<Node> nodes = BuildTree(body, at, 0, false);
    if (nodes.empty() || !IsW(nodes[0], "SELECT")) ThrowJetError(jet::kInputTableNotFound, name);
    const std::vector<size_t> saved = visible_;
    ++inlining_;
    Declare(decls);
    std::string sql;
    try {
        sql = Select(nodes, false, nullptr);
    } catch (...) {
        --inlining_;
        visible_ = saved;
        throw;
    }
    --inlining_;
    visible_ = saved;
    return sql;
}

bool IsJoinWord(const Node& n) {
    return IsW(n, "INNER") || IsW(n, "LEFT") || IsW(n, "RIGHT") || IsW(n, "JOIN");
}

std::string Context::From(Span s, FromInfo& info) {
    Nesting nest(depth_);
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        const Node& n = s[i];
        FromItem item;
        std::string text;
        bool nestedJoin = false;
        if (n.group) {
            if (!n.kids.empty() && IsW(n.kids[0], "SELECT")) {
                text = "(" + Select(n.kids, false, nullptr) + ")";
            } else {
                FromInfo inner;
                text = "(" + From(n.kids, inner) + ")";
                info.items.insert(info.items.end(), inner.items.begin(), inner.items.end());
                info.joined = true;
                nestedJoin = true;
            }
            ++i;
        } else if (IsName(n)) {
            item.name = n.tok.text;
            const Resolved r = Resolve(item.name, false);
            item.sql = r.sql;
            item.isBase = r.isBase;
            text = r.sql;
            ++i;
        } else {
            SyntaxError(n.tok.text);
        }
        if (i < s.size() && IsW(s[i], "AS")) {
            if (i + 1 >= s.size() || !IsName(s[i + 1])) SyntaxError("AS");
            item.alias = s[i + 1].tok.text;
            i += 2;
        } else if (i < s.size() && IsName(s[i])) {
            item.alias = s[i].tok.text;
            ++i;
        }
        if (nestedJoin && !item.alias.empty()) SyntaxError(item.alias);
        if (!item.Correlation().empty()) text += " AS " + Quote(item.Correlation());
        if (!nestedJoin) info.items.push_back(item);
        out += text;
        if (i < s.size() && IsW(s[i], "ON")) {
            size_t end = i + 1;
            while (end < s.size() && !IsJoinWord(s[end]) && !IsSym(s[end], ",")) ++end;
            if (end == i + 1) SyntaxError("ON");
            out += " ON " + Expr(s.subspan(i + 1, end - i - 1), Use::Condition);
            i = end;
        }
        if (i >= s.size()) break;
        if (IsSym(s[i], ",")) {
            out += ", ";
        } else if (IsW(s[i], "INNER") || IsW(s[i], "JOIN")) {
            if (IsW(s[i], "INNER")) ++i;
            if (i >= s.size() || !IsW(s[i], "JOIN")) SyntaxError("INNER");
            out += " INNER JOIN ";
        } else if (IsW(s[i], "LEFT") || IsW(s[i], "RIGHT")) {
            const std::string side = UpperAscii(s[i].tok.text);
            ++i;
            if (i < s.size() && IsW(s[i], "OUTER")) ++i;
            if (i >= s.size() || !IsW(s[i], "JOIN")) SyntaxError(side);
            out += " " + side + " JOIN ";
        } else {
            SyntaxError(s[i].tok.text);
        }
        info.joined = true;
        ++i;
        if (i >= s.size()) SyntaxError("FROM");
    }
    if (out.empty()) SyntaxError("FROM");
    return out;
}

bool IsSelectClause(const Node& n) {
    for (std::string_view w :
         {"INTO", "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "WITH"})
        if (IsW(n, w)) return true;
    return false;
}

std::string Context::Select(Span s, bool outermost, std::string* updatableTable) {
    Nesting nest(depth_);
    if (s.empty() || !IsW(s[0], "SELECT")) SyntaxError(s.empty() ? "" : s[0].tok.text);
    size_t i = 1;
    bool distinct = false;
    std::string limit;
    for (;;) {
        if (i >= s.size()) SyntaxError("SELECT");
        if (IsW(s[i], "ALL") || IsW(s[i], "DISTINCTROW")) {
            ++i;
        } else if (IsW(s[i], "DISTINCT")) {
            distinct = true;
            ++i;
        } else if (IsW(s[i], "TOP")) {
            if (i + 1 >= s.size() || s[i + 1].group || s[i + 1].tok.kind != SqlTokenKind::Number ||
                s[i + 1].tok.text.find_first_not_of("0123456789") != std::string::npos)
                SyntaxError("TOP");
            limit = s[i + 1].tok.text;
            i += 2;
            if (i < s.size() && IsW(s[i], "PERCENT")) ThrowJetError(jet::kOperationNotSupported);
        } else {
            break;
        }
    }
    size_t listEnd = i;
    while (listEnd < s.size() && !IsSelectClause(s[listEnd])) ++listEnd;
    if (listEnd == i) SyntaxError("SELECT");
    const Span list = s.subspan(i, listEnd - i);

    std::string rest;
    FromInfo from;
    bool hasFrom = false, grouped = false, unioned = false;
    size_t pos = listEnd;
    while (pos < s.size()) {
        const std::string keyword = UpperAscii(s[pos].tok.text);
        size_t start = pos + 1;
        if (keyword == "UNION") {
            std::string all;
            if (start < s.size() && IsW(s[start], "ALL")) {
                all = "ALL ";
                ++start;
            }
            if (!limit.empty()) ThrowJetError(jet::kOperationNotSupported);
            rest += " UNION " + all + Select(s.subspan(start), false, nullptr);
            unioned = true;
            break;
        }
        if (keyword == "GROUP" || keyword == "ORDER") {
            if (start >= s.size() || !IsW(s[start], "BY")) SyntaxError(keyword);
            ++start;
        }
        size_t end = start;
        while (end < s.size() && !IsSelectClause(s[end])) ++end;
        const Span body = s.subspan(start, end - start);
        pos = end;
        if (keyword == "INTO") NotSupported();  // make-table queries
        if (keyword == "WITH") {                // WITH OWNERACCESS OPTION: no meaning here
            if (body.size() != 2 || !IsW(body[0], "OWNERACCESS") || !IsW(body[1], "OPTION"))
                SyntaxError("WITH");
            continue;
        }
        if (body.empty()) SyntaxError(keyword);
        if (keyword == "FROM") {
            if (hasFrom) SyntaxError("FROM");
            rest += " FROM " + From(body, from);
            hasFrom = true;
        } else if (keyword == "WHERE") {
            rest += " WHERE " + Expr(body, Use::Condition);
        } else if (keyword == "GROUP") {
            rest += " GROUP BY " + Expr(body, Use::Values);
            grouped = true;
        } else if (keyword == "HAVING") {
            rest += " HAVING " + Expr(body, Use::Condition);
            grouped = true;
        } else {
            rest += " ORDER BY " + Expr(body, Use::Values);
        }
    }

    std::string out = distinct ? "SELECT DISTINCT " : "SELECT ";
    const bool updatable = outermost && hasFrom && from.items.size() == 1 && !from.joined &&
                           from.items[0].isBase && !distinct && !grouped && !unioned &&
                           !HasAggregate(list);
    if (updatable && updatableTable) {
        *updatableTable = from.items[0].name;
        if (options_.addRowIdColumn)
            out += Quote(from.items[0].Correlation()) + ".rowid AS \"__rowid__\", ";
    }
    out += Expr(list, Use::Values) + rest;
    if (!limit.empty()) out += " LIMIT " + limit;
    return out;
}

std::string Context::Insert(Span s, TranslatedStatement& st) {
    if (s.size() < 3 || !IsW(s[1], "INTO") || !IsName(s[2])) SyntaxError("INSERT");
    st.targetTable = s[2].tok.text;
    std::string out = options_.ignoreRefusedRows ? "INSERT OR IGNORE INTO " : "INSERT INTO ";
    out += Resolve(st.targetTable, true).sql;
    size_t i = 3;
    if (i < s.size() && s[i].group) {
        std::string cols;
        const auto& kids = s[i].kids;
        for (size_t k = 0; k < kids.size();) {
            if (!IsName(kids[k])) SyntaxError(kids[k].tok.text);
            std::string name = kids[k].tok.text;
            ++k;
            while (k + 1 < kids.size() && IsSym(kids[k], ".") && IsName(kids[k + 1])) {
                name = kids[k + 1].tok.text;  // t.col: the table is the target anyway
                k += 2;
            }
            cols += (cols.empty() ? "" : ", ") + Quote(name);
            if (k < kids.size()) {
                if (!IsSym(kids[k], ",") || k + 1 >= kids.size()) SyntaxError(kids[k].tok.text);
                ++k;
            }
        }
        if (cols.empty()) SyntaxError("(");
        out += " (" + cols + ")";
        ++i;
    }
    if (i < s.size() && IsW(s[i], "VALUES")) {
        if (i + 2 != s.size() || !s[i + 1].group || s[i + 1].kids.empty()) SyntaxError("VALUES");
        out += " VALUES (" + Expr(s[i + 1].kids, Use::Values) + ")";
    } else if (i < s.size() && IsW(s[i], "SELECT")) {
        out += " " + Select(s.subspan(i), false, nullptr);
    } else {
        SyntaxError(i < s.size() ? s[i].tok.text : "INSERT");
    }
    return out;
}

std::string Context::Update(Span s, TranslatedStatement& st) {
    if (s.size() < 2 || !IsName(s[1])) SyntaxError("UPDATE");
    st.targetTable = s[1].tok.text;
    size_t i = 2;
    std::string alias;
    if (i + 1 < s.size() && IsW(s[i], "AS") && IsName(s[i + 1])) {
        alias = s[i + 1].tok.text;
        i += 2;
    } else if (i < s.size() && IsName(s[i])) {
        alias = s[i++].tok.text;
    }
    if (i < s.size() && (IsJoinWord(s[i]) || IsSym(s[i], ","))) NotSupported();  // joined update
    if (i >= s.size() || !IsW(s[i], "SET")) SyntaxError("UPDATE");
    ++i;
    size_t whereAt = i;
    while (whereAt < s.size() && !IsW(s[whereAt], "WHERE")) ++whereAt;

    std::string out = options_.ignoreRefusedRows ? "UPDATE OR IGNORE " : "UPDATE ";
    out +=
        Resolve(st.targetTable, true).sql + " AS " + Quote(alias.empty() ? st.targetTable : alias);
    out += " SET ";
    bool first = true;
    while (i < whereAt) {
        size_t end = i;
        while (end < whereAt && !IsSym(s[end], ",")) ++end;
        // [table.]column = expression
        size_t k = i;
        if (k >= end || !IsName(s[k])) SyntaxError("SET");
        std::string column = s[k++].tok.text;
        if (k + 1 < end && IsSym(s[k], ".") && IsName(s[k + 1])) {
            column = s[k + 1].tok.text;
            k += 2;
        }
        if (k + 1 >= end || !IsSym(s[k], "=")) SyntaxError(column);
        out += (first ? "" : ", ") + Quote(column) + " = " +
               Expr(s.subspan(k + 1, end - k - 1), Use::Values);
        first = false;
        i = end + 1;
        if (end < whereAt && i >= whereAt) SyntaxError(",");
    }
    if (first) SyntaxError("SET");
    if (whereAt < s.size()) {
        if (whereAt + 1 >= s.size()) SyntaxError("WHERE");
        out += " WHERE " + Expr(s.subspan(whereAt + 1), Use::Condition);
    }
    return out;
}

std::string Context::Delete(Span s, TranslatedStatement& st) {
    size_t i = 1;
    std::string target;
    if (i < s.size() && IsSym(s[i], "*")) {
        ++i;
    } else if (i + 2 < s.size() && IsName(s[i]) && IsSym(s[i + 1], ".") && IsSym(s[i + 2], "*")) {
        target = s[i].tok.text;
        i += 3;
    } else if (i < s.size() && IsName(s[i])) {
        target = s[i++].tok.text;
    }
    if (i >= s.size() || !IsW(s[i], "FROM")) SyntaxError("DELETE");
    ++i;
    size_t whereAt = i;
    while (whereAt < s.size() && !IsW(s[whereAt], "WHERE")) ++whereAt;
    FromInfo from;
    const std::string fromSql = From(s.subspan(i, whereAt - i), from);
    std::string where;
    if (whereAt < s.size()) {
        if (whereAt + 1 >= s.size()) SyntaxError("WHERE");
        where = " WHERE " + Expr(s.subspan(whereAt + 1), Use::Condition);
    }
    if (from.items.size() == 1 && !from.joined) {
        if (!from.items[0].isBase) ThrowJetError(jet::kNotUpdatableQuery);
        st.targetTable = from.items[0].name;
        return "DELETE FROM " + fromSql + where;
    }
    // Rows of one table chosen through a join: delete them by rowid.
    const FromItem* item = nullptr;
    for (const auto& candidate : from.items) {
        if (target.empty() || EqualsNoCase(candidate.Correlation(), target) ||
            EqualsNoCase(candidate.name, target)) {
            item = &candidate;
            break;
        }
    }
    if (!item || !item->isBase) ThrowJetError(jet::kNotUpdatableQuery);
    st.targetTable = item->name;
    return "DELETE FROM " + item->sql + " WHERE rowid IN (SELECT " + Quote(item->Correlation()) +
           ".rowid FROM " + fromSql + where + ")";
}

TranslatedStatement TranslateTokens(const std::vector<SqlToken>& tokens, SqlNameResolver& resolver,
                                    const TranslateOptions& options) {
    size_t start = 0;
    const auto decls = ParseParametersClause(tokens, start);
    size_t end = tokens.size();
    if (end > start && tokens[end - 1].IsSymbol(";")) --end;
    for (size_t k = start; k < end; ++k)
        if (tokens[k].IsSymbol(";"))
            throw JetError(3142, "Characters found after end of SQL statement.");
    if (start == end) NotSupported();
    const std::vector<SqlToken> body(tokens.begin() + static_cast<std::ptrdiff_t>(start),
                                     tokens.begin() + static_cast<std::ptrdiff_t>(end));
    size_t at = 0;
    const std::vector<Node> nodes = BuildTree(body, at, 0, false);
    if (nodes.empty() || nodes[0].group) NotSupported();

    Context ctx(resolver, options);
    ctx.Declare(decls);
    TranslatedStatement st;
    const std::string first = UpperAscii(nodes[0].tok.text);
    if (nodes[0].tok.kind != SqlTokenKind::Word) NotSupported();
    if (first == "SELECT") {
        st.kind = StatementKind::Select;
        st.sql = ctx.Select(nodes, true, &st.updatableTable);
    } else if (first == "INSERT") {
        st.kind = StatementKind::Insert;
        st.sql = ctx.Insert(nodes, st);
    } else if (first == "UPDATE") {
        st.kind = StatementKind::Update;
        st.sql = ctx.Update(nodes, st);
    } else if (first == "DELETE") {
        st.kind = StatementKind::Delete;
        st.sql = ctx.Delete(nodes, st);
    } else if (first == "CREATE" || first == "DROP" || first == "ALTER") {
        st.kind = StatementKind::DataDefinition;
        return st;
    } else {
        NotSupported();
    }
    st.parameters = ctx.params;
    st.sqliteParameterNames = ctx.paramNames;
    return st;
}

}  // namespace

TranslatedStatement JetSqlTranslator::Translate(std::string_view jetSql, SqlNameResolver& resolver,
                                                const TranslateOptions& options) const {
    try {
        return TranslateTokens(TokenizeJetSql(jetSql), resolver, options);
    } catch (const JetError&) {
        throw;
    } catch (const std::exception&) {
        // Whatever slipped past the checks above is still the statement's fault.
        ThrowJetError(jet::kSyntaxInExpression, jetSql.substr(0, 60));
    }
}

int QueryTypeOfSql(std::string_view jetSql) {
    try {
        const std::vector<SqlToken> t = TokenizeJetSql(jetSql);
        size_t i = 0;
        try {
            ParseParametersClause(t, i);
        } catch (const JetError&) {
            while (i < t.size() && !t[i].IsSymbol(";")) ++i;
            ++i;
        }
        if (i >= t.size()) return 0;
        if (t[i].IsWord("TRANSFORM")) return 16;
        if (t[i].IsWord("DELETE")) return 32;
        if (t[i].IsWord("UPDATE")) return 48;
        if (t[i].IsWord("INSERT")) return 64;
        if (t[i].IsWord("CREATE") || t[i].IsWord("DROP") || t[i].IsWord("ALTER")) return 96;
        int depth = 0;
        bool fromSeen = false;
        for (size_t k = i; k < t.size(); ++k) {
            if (t[k].IsSymbol("(")) ++depth;
            if (t[k].IsSymbol(")")) --depth;
            if (depth != 0) continue;
            if (t[k].IsWord("FROM")) fromSeen = true;
            if (t[k].IsWord("INTO") && !fromSeen) return 80;
            if (t[k].IsWord("UNION")) return 128;
        }
        return 0;
    } catch (const JetError&) {
        return 0;
    }
}

std::vector<ParameterDeclaration> DeclaredParameters(std::string_view jetSql) {
    size_t next = 0;
    return ParseParametersClause(TokenizeJetSql(jetSql), next);
}

namespace {

// Calls `visit(kind, text)` for each element of a Jet pattern: kind '*', '?', '#', '[' (a
// list, text holding it with brackets) or 'c' (one literal character, UTF-8 bytes in text).
template <typename Visit>
void WalkJetPattern(std::string_view p, Visit visit) {
    for (size_t i = 0; i < p.size();) {
        const char c = p[i];
        if (c == '*' || c == '?' || c == '#') {
            visit(c, p.substr(i, 1));
            ++i;
        } else if (c == '[') {
            const size_t close = p.find(']', i + 1);
            if (close == std::string_view::npos) {  // no list: a plain '['
                visit('c', p.substr(i, 1));
                ++i;
            } else {
                visit('[', p.substr(i, close - i + 1));
                i = close + 1;
            }
        } else {
            size_t len = 1;
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0xC0) {
                while (i + len < p.size() &&
                       (static_cast<unsigned char>(p[i + len]) & 0xC0) == 0x80)
                    ++len;
            }
            visit('c', p.substr(i, len));
            i += len;
        }
    }
}

}  // namespace

std::string LikePatternForSqlite(std::string_view jetPattern) {
    std::string out;
    WalkJetPattern(jetPattern, [&out](char kind, std::string_view text) {
        switch (kind) {
            case '*':
                out += '%';
                break;
            case '?':
            case '#':
                out += '_';
                break;
            case '[':
                // "[]" matches nothing in Jet's sense of a character; any list is one character
                out += text == "[]" ? "" : "_";
                break;
            default:
                if (static_cast<unsigned char>(text[0]) >= 0x80) {
                    out += '_';  // SQLite folds only ASCII letters
                } else {
                    if (text[0] == '%' || text[0] == '_' || text[0] == '\\') out += '\\';
                    out += text;
                }
        }
    });
    return out;
}

bool LikePatternNeedsExactCheck(std::string_view jetPattern) {
    bool needs = false;
    WalkJetPattern(jetPattern, [&needs](char kind, std::string_view text) {
        if (kind == '#' || (kind == '[' && text != "[]") ||
            static_cast<unsigned char>(text[0]) >= 0x80)
            needs = true;
    });
    return needs;
}

// --- DDL ---------------------------------------------------------------------------------

namespace {

// Jet's DDL creates text fields that refuse zero-length strings (DAO's CreateField allows
// them); this is the one place that decides it.
constexpr bool kDdlTextAllowsZeroLength = false;

constexpr int kCreateTableSyntax = jet::kSyntaxInCreateTable;  // 3290
constexpr int kCreateIndexSyntax = 3291;
constexpr int kAlterTableSyntax = 3293;
constexpr int kDropSyntax = 3295;

std::string_view DdlErrorText(int number) {
    switch (number) {
        case kCreateIndexSyntax:
            return "Syntax error in CREATE INDEX statement.";
        case kAlterTableSyntax:
            return "Syntax error in ALTER TABLE statement.";
        case kDropSyntax:
            return "Syntax error in DROP TABLE or DROP INDEX.";
        default:
            return "Syntax error in CREATE TABLE statement.";
    }
}

class DdlParser {
  public:
    explicit DdlParser(std::vector<SqlToken> tokens) : t_(std::move(tokens)) {
        if (!t_.empty() && t_.back().IsSymbol(";")) t_.pop_back();
    }

    std::optional<DdlStatement> Parse();

  private:
    [[noreturn]] void Fail() const { throw JetError(error_, std::string(DdlErrorText(error_))); }
    bool AtWord(std::string_view w) const { return i_ < t_.size() && t_[i_].IsWord(w); }
    bool AtSymbol(std::string_view s) const { return i_ < t_.size() && t_[i_].IsSymbol(s); }
    bool TakeWord(std::string_view w) {
        if (!AtWord(w)) return false;
        ++i_;
        return true;
    }
    bool TakeSymbol(std::string_view s) {
        if (!AtSymbol(s)) return false;
        ++i_;
        return true;
    }
    void ExpectWord(std::string_view w) {
        if (!TakeWord(w)) Fail();
    }
    void ExpectSymbol(std::string_view s) {
        if (!TakeSymbol(s)) Fail();
    }
    void ExpectEnd() const {
        if (i_ != t_.size()) Fail();
    }
    std::string Name() {
        if (i_ >= t_.size() ||
            (t_[i_].kind != SqlTokenKind::Word && t_[i_].kind != SqlTokenKind::QuotedName))
            Fail();
        return t_[i_++].text;
    }
    FieldDescription Column(std::vector<IndexDescription>& indexes);
    std::string DefaultValue();
    std::vector<IndexFieldDescription> IndexColumns();
    bool TableConstraint(std::vector<IndexDescription>& indexes);
    void SkipReferences();

    std::vector<SqlToken> t_;
    size_t i_ = 0;
    int error_ = kCreateTableSyntax;
};

IndexDescription KeyIndex(std::string name, bool primary) {
    IndexDescription ix;
    ix.Name = std::move(name);
    ix.Primary = primary;
    ix.Unique = true;
    ix.Required = primary;
    return ix;
}

std::string DdlParser::DefaultValue() {
    if (i_ >= t_.size()) Fail();
    const SqlToken& tok = t_[i_];
    std::string sign;
    if (tok.IsSymbol("-") || tok.IsSymbol("+")) {
        sign = tok.text == "-" ? "-" : "";
        ++i_;
        if (i_ >= t_.size() || t_[i_].kind != SqlTokenKind::Number) Fail();
    }
    const SqlToken& v = t_[i_++];
    switch (v.kind) {
        case SqlTokenKind::Number:
            return sign + v.text;
        case SqlTokenKind::String: {
            std::string out = "\"";
            for (char c : v.text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
            return out + "\"";
        }
        case SqlTokenKind::Date:
            return "#" + v.text + "#";
        case SqlTokenKind::Word:
            if (AtSymbol("(")) {  // Now(), Date()
                ++i_;
                ExpectSymbol(")");
                return v.text + "()";
            }
            return v.text;  // True, False, Yes, No, Null
        default:
            Fail();
    }
}

void DdlParser::SkipReferences() {
    Name();  // REFERENCES table [(columns)] [ON UPDATE|DELETE action]...: relations are not kept
    if (AtSymbol("(")) IndexColumns();
    while (TakeWord("ON")) {
        if (!TakeWord("UPDATE") && !TakeWord("DELETE")) Fail();
        if (TakeWord("NO"))
            ExpectWord("ACTION");
        else if (TakeWord("SET"))
            Name();
        else if (!TakeWord("CASCADE"))
            Fail();
    }
}

FieldDescription DdlParser::Column(std::vector<IndexDescription>& indexes) {
    FieldDescription f;
    f.Name = Name();
    if (i_ >= t_.size() || t_[i_].kind != SqlTokenKind::Word) Fail();
    bool autoIncrement = false;
    const auto type = TypeFromName(t_[i_++].text, &autoIncrement);
    if (!type) Fail();
    f.Type = *type;
    f.Size = DefaultFieldSize(f.Type);
    if (TakeSymbol("(")) {  // TEXT(50), BINARY(16), COUNTER(1, 1), DECIMAL(10, 2)
        if (i_ >= t_.size() || t_[i_].kind != SqlTokenKind::Number) Fail();
        const double size = std::stod(t_[i_++].text);
        if (TakeSymbol(",")) {
            if (i_ >= t_.size() || t_[i_].kind != SqlTokenKind::Number) Fail();
            ++i_;
        }
        ExpectSymbol(")");
        if (f.Type == dbText || f.Type == dbBinary) {
            if (size < 1 || size > 255) Fail();
            f.Size = static_cast<int32_t>(size);
        }
    }
    const bool variable =
        f.Type == dbText || f.Type == dbMemo || f.Type == dbBinary || f.Type == dbLongBinary;
    f.Attributes = variable ? dbVariableField : dbFixedField;
    if (autoIncrement) f.Attributes |= dbAutoIncrField;
    if (f.Type == dbText || f.Type == dbMemo) f.AllowZeroLength = kDdlTextAllowsZeroLength;

    std::string constraintName;
    for (;;) {
        if (TakeWord("NOT")) {
            ExpectWord("NULL");
            f.Required = true;
        } else if (TakeWord("NULL")) {
        } else if (TakeWord("DEFAULT")) {
            f.DefaultValue = DefaultValue();
        } else if (TakeWord("CONSTRAINT")) {
            constraintName = Name();
        } else if (TakeWord("PRIMARY")) {
            ExpectWord("KEY");
            IndexDescription ix = KeyIndex(constraintName.empty() ? "PrimaryKey" : constraintName, true);
            ix.Fields.push_back({f.Name, false});
            indexes.push_back(std::move(ix));
            constraintName.clear();
        } else if (TakeWord("UNIQUE")) {
            IndexDescription ix = KeyIndex(constraintName.empty() ? f.Name : constraintName, false);
            ix.Fields.push_back({f.Name, false});
            indexes.push_back(std::move(ix));
            constraintName.clear();
        } else if (TakeWord("REFERENCES")) {
            SkipReferences();
            constraintName.clear();
        } else if (TakeWord("WITH")) {
            if (!TakeWord("COMPRESSION") && !TakeWord("COMP")) Fail();
        } else {
            return f;
        }
    }
}

std::vector<IndexFieldDescription> DdlParser::IndexColumns() {
    ExpectSymbol("(");
    std::vector<IndexFieldDescription> cols;
    do {
        IndexFieldDescription c;
        c.Name = Name();
        if (TakeWord("DESC"))
            c.Descending = true;
        else
            TakeWord("ASC");
        cols.push_back(std::move(c));
    } while (TakeSymbol(","));
    ExpectSymbol(")");
    return cols;
}

// [CONSTRAINT name] PRIMARY KEY (a, b) | UNIQUE (a) | FOREIGN KEY (a) REFERENCES t (b).
bool DdlParser::TableConstraint(std::vector<IndexDescription>& indexes) {
    std::string name;
    if (TakeWord("CONSTRAINT")) name = Name();
    if (TakeWord("PRIMARY")) {
        ExpectWord("KEY");
        IndexDescription ix = KeyIndex(name.empty() ? "PrimaryKey" : name, true);
        ix.Fields = IndexColumns();
        indexes.push_back(std::move(ix));
        return true;
    }
    if (TakeWord("UNIQUE")) {
        IndexDescription ix = KeyIndex(name, false);
        ix.Fields = IndexColumns();
        if (ix.Name.empty()) ix.Name = ix.Fields[0].Name;
        indexes.push_back(std::move(ix));
        return true;
    }
    if (TakeWord("FOREIGN")) {
        ExpectWord("KEY");
        IndexColumns();
        ExpectWord("REFERENCES");
        SkipReferences();
        return true;
    }
    if (!name.empty()) Fail();
    return false;
}

std::optional<DdlStatement> DdlParser::Parse() {
    DdlStatement st{};
    if (TakeWord("CREATE")) {
        const bool unique = TakeWord("UNIQUE");
        if (!unique && TakeWord("TABLE")) {
            error_ = kCreateTableSyntax;
            st.kind = DdlStatement::Kind::CreateTable;
            st.table = Name();
            st.createTable.Name = st.table;
            ExpectSymbol("(");
            do {
                if (AtWord("CONSTRAINT") || AtWord("PRIMARY") || AtWord("UNIQUE") ||
                    AtWord("FOREIGN")) {
                    TableConstraint(st.createTable.Indexes);
                    continue;
                }
                FieldDescription f = Column(st.createTable.Indexes);
                for (const auto& known : st.createTable.Fields)
                    if (EqualsNoCase(known.Name, f.Name)) ThrowJetError(jet::kFieldDefinedTwice);
                st.createTable.Fields.push_back(std::move(f));
            } while (TakeSymbol(","));
            ExpectSymbol(")");
            ExpectEnd();
            if (st.createTable.Fields.empty()) Fail();
            return st;
        }
        if (TakeWord("INDEX")) {
            error_ = kCreateIndexSyntax;
            st.kind = DdlStatement::Kind::CreateIndex;
            st.index.Name = Name();
            st.index.Unique = unique;
            ExpectWord("ON");
            st.table = Name();
            st.index.Fields = IndexColumns();
            if (TakeWord("WITH")) {
                do {
                    if (TakeWord("PRIMARY")) {
                        st.index.Primary = st.index.Unique = st.index.Required = true;
                    } else if (TakeWord("DISALLOW")) {
                        ExpectWord("NULL");
                        st.index.Required = true;
                    } else if (TakeWord("IGNORE")) {
                        ExpectWord("NULL");
                        st.index.IgnoreNulls = true;
                    } else {
                        Fail();
                    }
                } while (i_ < t_.size());
            }
            ExpectEnd();
            return st;
        }
        ThrowJetError(jet::kOperationNotSupported);  // CREATE VIEW, PROCEDURE, USER, ...
    }
    if (TakeWord("DROP")) {
        error_ = kDropSyntax;
        if (TakeWord("TABLE")) {
            st.kind = DdlStatement::Kind::DropTable;
            st.table = Name();
        } else if (TakeWord("INDEX")) {
            st.kind = DdlStatement::Kind::DropIndex;
            st.index.Name = Name();
            ExpectWord("ON");
            st.table = Name();
        } else {
            Fail();
        }
        ExpectEnd();
        return st;
    }
    if (TakeWord("ALTER")) {
        error_ = kAlterTableSyntax;
        ExpectWord("TABLE");
        st.table = Name();
        if (TakeWord("ADD")) {
            if (AtWord("CONSTRAINT") || AtWord("PRIMARY") || AtWord("UNIQUE")) {
                std::vector<IndexDescription> indexes;
                TableConstraint(indexes);
                if (indexes.size() != 1) Fail();
                st.kind = DdlStatement::Kind::CreateIndex;
                st.index = std::move(indexes[0]);
            } else {
                TakeWord("COLUMN");
                st.kind = DdlStatement::Kind::AddColumn;
                st.column = Column(st.createTable.Indexes);
            }
            ExpectEnd();
            return st;
        }
        if (TakeWord("DROP")) {
            if (TakeWord("CONSTRAINT")) {
                st.kind = DdlStatement::Kind::DropIndex;
                st.index.Name = Name();
                ExpectEnd();
                return st;
            }
            ThrowJetError(jet::kOperationNotSupported);  // DROP COLUMN
        }
        if (AtWord("ALTER")) ThrowJetError(jet::kOperationNotSupported);
        Fail();
    }
    return std::nullopt;
}

}  // namespace

std::optional<DdlStatement> ParseDdl(std::string_view jetSql) {
    std::vector<SqlToken> tokens;
    try {
        tokens = TokenizeJetSql(jetSql);
    } catch (const JetError&) {
        const auto first = jetSql.find_first_not_of(" \t\r\n");
        const std::string word =
            UpperAscii(jetSql.substr(first == std::string_view::npos ? 0 : first, 6));
        if (word.starts_with("CREATE") || word.starts_with("DROP") || word.starts_with("ALTER"))
            throw JetError(kCreateTableSyntax, std::string(DdlErrorText(kCreateTableSyntax)));
        return std::nullopt;
    }
    return DdlParser(std::move(tokens)).Parse();
}

}  // namespace platform
