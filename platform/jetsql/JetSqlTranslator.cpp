#include "platform/jetsql/JetSqlTranslator.h"

#include <cstddef>
#include <exception>

#include "platform/JetError.h"
#include "platform/QueryDef.h"
#include "platform/engine/SqlText.h"
#include "platform/jetsql/SqlTokenizer.h"
#include "platform/jetsql/SqlTree.h"
#include "platform/jetsql/StatementTranslator.h"

namespace platform {
namespace {

TranslatedStatement TranslateTokens(const std::vector<SqlToken>& tokens, SqlNameResolver& resolver,
                                    const TranslateOptions& options) {
    size_t start = 0;
    const auto decls = ParseParametersClause(tokens, start);
    size_t end = tokens.size();
    if (end > start && tokens[end - 1].IsSymbol(";")) --end;
    for (size_t k = start; k < end; ++k)
        if (tokens[k].IsSymbol(";")) ThrowJetError(jet::kCharactersAfterEnd);
    if (start == end) NotSupported();
    const std::vector<SqlToken> body(tokens.begin() + static_cast<std::ptrdiff_t>(start),
                                     tokens.begin() + static_cast<std::ptrdiff_t>(end));
    const std::vector<Node> nodes = BuildTree(body);
    if (nodes.empty() || nodes[0].group) NotSupported();

    StatementTranslator ctx(resolver, options);
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
        if (i >= t.size()) return dbQSelect;
        if (t[i].IsWord("TRANSFORM")) return dbQCrosstab;
        if (t[i].IsWord("DELETE")) return dbQDelete;
        if (t[i].IsWord("UPDATE")) return dbQUpdate;
        if (t[i].IsWord("INSERT")) return dbQAppend;
        if (t[i].IsWord("CREATE") || t[i].IsWord("DROP") || t[i].IsWord("ALTER")) return dbQDDL;
        int depth = 0;
        bool fromSeen = false;
        for (size_t k = i; k < t.size(); ++k) {
            if (t[k].IsSymbol("(")) ++depth;
            if (t[k].IsSymbol(")")) --depth;
            if (depth != 0) continue;
            if (t[k].IsWord("FROM")) fromSeen = true;
            if (t[k].IsWord("INTO") && !fromSeen) return dbQMakeTable;
            if (t[k].IsWord("UNION")) return dbQSetOperation;
        }
        return dbQSelect;
    } catch (const JetError&) {
        return dbQSelect;
    }
}

std::vector<ParameterDeclaration> DeclaredParameters(std::string_view jetSql) {
    size_t next = 0;
    return ParseParametersClause(TokenizeJetSql(jetSql), next);
}

}  // namespace platform
