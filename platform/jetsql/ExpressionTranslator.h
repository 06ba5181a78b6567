// ExpressionTranslator: one Jet expression (or comma-separated list of them) as SQLite SQL.
//
// Rewrites the Jet dialect of expressions: names in [brackets], #date# literals, True and
// False, Jet's operator precedence, & and + and - (run as jet_concat, jet_add and jet_sub, as
// dates are stored as text), ^, \ and Mod, `like` with Jet's wildcards, Jet functions (as
// jet_* calls), and comparisons used as values giving Jet's -1 for true. What an expression
// needs from the statement around it (subqueries, parameters, the nesting budget) comes
// through an ExpressionScope, which the statement translator implements.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/jetsql/SqlTree.h"

namespace platform {

// Where an expression list stands. A condition (WHERE, ON, HAVING, iif's first argument) is
// left as written: SQLite takes its own 1 as true, and an index can answer a plain comparison.
// A value (a result column, a function's argument, an operand, a value assigned) must be Jet's
// truth value, -1 for true.
enum class Use { Condition, Values, IifArguments };

class ExpressionScope {
  public:
    virtual ~ExpressionScope() = default;
    // A subquery: the nodes of a group that starts with SELECT, as SQLite SQL.
    virtual std::string Subquery(Span select) = 0;
    // The SQLite parameter that stands for `name`, when it names a declared parameter.
    virtual std::optional<std::string> Parameter(std::string_view name) const = 0;
    // The recursion depth shared by the expressions and statements of one translation.
    virtual int& NestingDepth() = 0;
};

class ExpressionTranslator {
  public:
    explicit ExpressionTranslator(ExpressionScope& scope) : scope_(scope) {}

    // Throws JetError 3075 for text that is no expression.
    std::string Translate(Span s, Use use);

  private:
    ExpressionScope& scope_;
};

}  // namespace platform
