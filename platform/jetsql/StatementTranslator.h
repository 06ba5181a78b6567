// StatementTranslator: one Jet SELECT, INSERT, UPDATE or DELETE as SQLite SQL.
//
// Resolves every table name through the engine's SqlNameResolver (a schema-qualified table,
// or a stored select query translated in place with its own parameters), translates the
// clauses and leaves each expression to the ExpressionTranslator, which reaches back here for
// subqueries and parameters. One object serves one translation; JetSqlTranslator makes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jetsql/ExpressionTranslator.h"
#include "platform/jetsql/JetSqlTranslator.h"
#include "platform/jetsql/SqlTokenizer.h"
#include "platform/jetsql/SqlTree.h"

namespace platform {

// Parses a leading "PARAMETERS name type[(size)], ...;" and sets `next` to the first token
// after it (0 when there is none).
std::vector<ParameterDeclaration> ParseParametersClause(const std::vector<SqlToken>& t,
                                                        size_t& next);

class StatementTranslator : public ExpressionScope {
  public:
    StatementTranslator(SqlNameResolver& resolver, const TranslateOptions& options)
        : resolver_(resolver), options_(options) {}

    // Every parameter the statement declares or inherits from the stored queries it uses, and
    // the SQLite parameter that stands for each (":p1", ...).
    std::vector<ParameterDeclaration> params;
    std::vector<std::string> paramNames;

    // Makes `decls` the parameters that names of the text at hand refer to.
    void Declare(const std::vector<ParameterDeclaration>& decls);

    std::string Select(Span s, bool outermost, std::string* updatableTable);
    std::string Insert(Span s, TranslatedStatement& st);
    std::string Update(Span s, TranslatedStatement& st);
    std::string Delete(Span s, TranslatedStatement& st);

    std::string Subquery(Span select) override { return Select(select, false, nullptr); }
    std::optional<std::string> Parameter(std::string_view name) const override;
    int& NestingDepth() override { return depth_; }

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

    std::string Expr(Span s, Use use) { return ExpressionTranslator(*this).Translate(s, use); }
    std::string From(Span s, FromInfo& info);
    Resolved Resolve(const std::string& name, bool forWriting);
    std::string InlineQuery(const std::string& name, const std::string& jetSql);

    SqlNameResolver& resolver_;
    const TranslateOptions& options_;
    std::vector<size_t> visible_;  // positions in `params` that names of the text at hand reach
    int depth_ = 0;
    int inlining_ = 0;
};

}  // namespace platform
