#include "platform/jetsql/StatementTranslator.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <utility>

#include "platform/JetError.h"
#include "platform/engine/SqlText.h"
#include "platform/jetsql/DdlParser.h"

namespace platform {
namespace {

// Stored queries that use stored queries: a cycle ends here.
constexpr int kMaxQueryInlining = 16;

bool IsSelectClause(const Node& n) {
    for (std::string_view w :
         {"INTO", "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "WITH"})
        if (IsW(n, w)) return true;
    return false;
}

// The comma-separated items of a list; commas inside parentheses belong to their group.
std::vector<Span> Items(Span s) {
    std::vector<Span> out;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i < s.size() && !IsSym(s[i], ",")) continue;
        out.push_back(s.subspan(start, i - start));
        start = i + 1;
    }
    return out;
}

bool IsNameToken(const Node& n) {
    return !n.group && (n.tok.kind == SqlTokenKind::Word || n.tok.kind == SqlTokenKind::QuotedName);
}

// An item that is a column as it is (name, table.name, *, table.*): `column` is its last part
// and `qualifier` the table, empty when none.
bool IsColumnReference(Span item, std::string& qualifier, std::string& column) {
    const auto isColumn = [](const Node& n) {
        if (IsSym(n, "*")) return true;
        if (!IsNameToken(n)) return false;
        if (n.tok.kind == SqlTokenKind::QuotedName) return true;
        const std::string up = UpperAscii(n.tok.text);
        return !IsKeyword(up) && up != "TRUE" && up != "FALSE";
    };
    if (item.size() == 1 && isColumn(item[0])) {
        qualifier.clear();
        column = item[0].tok.text;
        return true;
    }
    if (item.size() == 3 && IsNameToken(item[0]) && IsSym(item[1], ".") && isColumn(item[2])) {
        qualifier = item[0].tok.text;
        column = item[2].tok.text;
        return true;
    }
    return false;
}

bool HasAlias(Span item) { return item.size() >= 2 && IsW(item[item.size() - 2], "AS"); }

}  // namespace

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
        const auto type = JetTypeFromName(t[i].text, nullptr);
        if (!type) SyntaxError(t[i].text);
        p.type = *type;
        p.size = DefaultFieldSize(p.type);
        ++i;
        if (i < t.size() && t[i].IsSymbol("(")) {
            if (i + 2 >= t.size() || t[i + 1].kind != SqlTokenKind::Number ||
                !t[i + 2].IsSymbol(")"))
                SyntaxError(p.name);
            const std::string& digits = t[i + 1].text;  // from_chars: locale-free
            double size = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), size);
            p.size = static_cast<int32_t>(std::min(size, 1e9));
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

void StatementTranslator::Declare(const std::vector<ParameterDeclaration>& decls) {
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

std::optional<std::string> StatementTranslator::Parameter(std::string_view name) const {
    for (size_t k : visible_)
        if (EqualsNoCase(params[k].name, name)) return paramNames[k];
    return std::nullopt;
}

StatementTranslator::Resolved StatementTranslator::Resolve(const std::string& name,
                                                           bool forWriting) {
    const std::optional<TableReference> ref = resolver_.ResolveTable(name);
    if (!ref) return {QuoteIdentifier(name), true};  // SQLite reports the missing table
    if (!ref->isQuery) return {ref->sql, true};
    if (forWriting) ThrowJetError(jet::kNotUpdatableQuery);
    if (!ref->querySql.empty()) return {"(" + InlineQuery(name, ref->querySql) + ")", false};
    return {ref->sql, false};
}

std::string StatementTranslator::InlineQuery(const std::string& name, const std::string& jetSql) {
    if (inlining_ >= kMaxQueryInlining) ThrowJetError(jet::kCircularReference, name);
    const std::vector<SqlToken> tokens = TokenizeJetSql(jetSql);
    size_t start = 0;
    const auto decls = ParseParametersClause(tokens, start);
    size_t end = tokens.size();
    if (end > start && tokens[end - 1].IsSymbol(";")) --end;
    const std::vector<SqlToken> body(tokens.begin() + static_cast<std::ptrdiff_t>(start),
                                     tokens.begin() + static_cast<std::ptrdiff_t>(end));
    const std::vector<Node> nodes = BuildTree(body);
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

std::string StatementTranslator::From(Span s, FromInfo& info) {
    NestingGuard nest(depth_);
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
        if (!item.Correlation().empty()) text += " AS " + QuoteIdentifier(item.Correlation());
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

std::string StatementTranslator::Select(Span s, bool outermost, std::string* updatableTable) {
    NestingGuard nest(depth_);
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
    std::string order;   // the translated ORDER BY list
    size_t orderAt = 0;  // where ORDER BY starts in `rest`
    Span groupBy;
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
            groupBy = body;
            grouped = true;
        } else if (keyword == "HAVING") {
            rest += " HAVING " + Expr(body, Use::Condition);
            grouped = true;
        } else {
            order = Expr(body, Use::Values);
            orderAt = rest.size();
            rest += " ORDER BY " + order;
        }
    }
    if (!groupBy.empty() || HasAggregate(list)) CheckGrouped(list, groupBy);

    std::string out = distinct ? "SELECT DISTINCT " : "SELECT ";
    const bool updatable = outermost && hasFrom && from.items.size() == 1 && !from.joined &&
                           from.items[0].isBase && !distinct && !grouped && !unioned &&
                           !HasAggregate(list);
    if (updatable && updatableTable) {
        *updatableTable = from.items[0].name;
        if (options_.addRowIdColumn)
            out += QuoteIdentifier(from.items[0].Correlation()) + ".rowid AS \"__rowid__\", ";
    }
    out += SelectList(list) + rest;
    if (!limit.empty() && !order.empty() && !distinct) {
        // Jet's TOP n also returns the rows tied with the n-th: as many rows as rank n or better.
        out += " LIMIT (SELECT count(*) FROM (SELECT rank() OVER (ORDER BY " + order +
               ") AS \"rank\"" + rest.substr(0, orderAt) + ") WHERE \"rank\" <= " + limit + ")";
    } else if (!limit.empty()) {
        out += " LIMIT " + limit;
    }
    return out;
}

std::string StatementTranslator::SelectList(Span list) {
    const std::vector<Span> items = Items(list);
    // Columns of one name from two tables are told apart by their tables: t.name, u.name.
    std::vector<std::string> columns;
    for (Span item : items) {
        std::string qualifier, column;
        if (IsColumnReference(item, qualifier, column)) columns.push_back(LowerName(column));
    }
    std::string out;
    int unnamed = 0;
    for (Span item : items) {
        if (!out.empty()) out += ", ";
        out += Expr(item, Use::Values);
        if (HasAlias(item)) continue;
        std::string qualifier, column;
        if (!IsColumnReference(item, qualifier, column)) {
            out += " AS \"Expr" + std::to_string(1000 + unnamed++) + "\"";
        } else if (qualifier.empty() && Parameter(column)) {
            out += " AS " + QuoteIdentifier(column);  // not SQLite's name of the parameter
        } else if (!qualifier.empty() && column != "*" &&
                   std::count(columns.begin(), columns.end(), LowerName(column)) > 1) {
            out += " AS " + QuoteIdentifier(qualifier + "." + column);
        }
    }
    return out;
}

void StatementTranslator::CheckGrouped(Span list, Span groupBy) const {
    std::vector<std::string> grouped;
    CollectNames(groupBy, grouped);
    for (Span item : Items(list)) {
        std::vector<std::string> names;
        CollectNames(HasAlias(item) ? item.first(item.size() - 2) : item, names);
        for (const std::string& name : names)
            if (std::find(grouped.begin(), grouped.end(), LowerName(name)) == grouped.end())
                ThrowJetError(jet::kNotPartOfAggregate, name);
    }
}

void StatementTranslator::CollectNames(Span s, std::vector<std::string>& names) const {
    for (size_t i = 0; i < s.size(); ++i) {
        const Node& n = s[i];
        if (n.group) {
            if (n.kids.empty() || !IsW(n.kids[0], "SELECT")) CollectNames(n.kids, names);
            continue;
        }
        if (!IsNameToken(n)) continue;
        const bool call = n.tok.kind == SqlTokenKind::Word && i + 1 < s.size() && s[i + 1].group;
        if (call) {
            if (HasAggregate(s.subspan(i, 2))) ++i;  // what an aggregate reads needs no group
            continue;
        }
        if (i + 1 < s.size() && IsSym(s[i + 1], ".")) continue;  // a table's name
        if (n.tok.kind == SqlTokenKind::Word) {
            const std::string up = UpperAscii(n.tok.text);
            if (IsKeyword(up) || up == "TRUE" || up == "FALSE") continue;
        }
        if (Parameter(n.tok.text)) continue;
        names.push_back(LowerName(n.tok.text));
    }
}

std::string StatementTranslator::Insert(Span s, TranslatedStatement& st) {
    if (s.size() < 3 || !IsW(s[1], "INTO") || !IsName(s[2])) SyntaxError("INSERT");
    st.targetTable = s[2].tok.text;
    st.targetSql = Resolve(st.targetTable, true).sql;
    std::string out = "INSERT INTO " + st.targetSql;
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
            cols += (cols.empty() ? "" : ", ") + QuoteIdentifier(name);
            st.targetColumns.push_back(std::move(name));
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
        const std::string values = Expr(s[i + 1].kids, Use::Values);
        out += " VALUES (" + values + ")";
        st.sourceSql = "SELECT " + values;
    } else if (i < s.size() && IsW(s[i], "SELECT")) {
        st.sourceSql = Select(s.subspan(i), false, nullptr);
        out += " " + st.sourceSql;
    } else {
        SyntaxError(i < s.size() ? s[i].tok.text : "INSERT");
    }
    return out;
}

std::string StatementTranslator::Update(Span s, TranslatedStatement& st) {
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

    st.targetSql = Resolve(st.targetTable, true).sql;
    const std::string correlation = QuoteIdentifier(alias.empty() ? st.targetTable : alias);
    std::string assignments, values;
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
        const std::string value = Expr(s.subspan(k + 1, end - k - 1), Use::Values);
        assignments += (assignments.empty() ? "" : ", ") + QuoteIdentifier(column) + " = " + value;
        values += ", " + value;
        st.targetColumns.push_back(std::move(column));
        i = end + 1;
        if (end < whereAt && i >= whereAt) SyntaxError(",");
    }
    if (assignments.empty()) SyntaxError("SET");
    std::string where;
    if (whereAt < s.size()) {
        if (whereAt + 1 >= s.size()) SyntaxError("WHERE");
        where = " WHERE " + Expr(s.subspan(whereAt + 1), Use::Condition);
    }
    const std::string table = st.targetSql + " AS " + correlation;
    st.sourceSql = "SELECT " + correlation + ".rowid" + values + " FROM " + table + where;
    return "UPDATE " + table + " SET " + assignments + where;
}

std::string StatementTranslator::Delete(Span s, TranslatedStatement& st) {
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
    return "DELETE FROM " + item->sql + " WHERE rowid IN (SELECT " +
           QuoteIdentifier(item->Correlation()) + ".rowid FROM " + fromSql + where + ")";
}

}  // namespace platform
