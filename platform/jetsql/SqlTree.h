// SqlTree: a statement's tokens with their parentheses made into groups.
//
// The translators work on this tree rather than on a full grammar: a group is the nodes
// between '(' and ')', which keeps subqueries, function arguments and parenthesized joins
// apart from the clause around them. The depth of the tree and of the translators' recursion
// is bounded (NestingGuard), whatever the input. Also the word classes the translators share.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "platform/jetsql/SqlTokenizer.h"

namespace platform {

struct Node {
    SqlToken tok;
    std::vector<Node> kids;  // the nodes between '(' and ')' of a group
    bool group = false;
};
using Span = std::span<const Node>;

// Deeper nesting than this is no query a person writes.
inline constexpr int kMaxNesting = 64;

// The tree of `tokens`; 3075 for parentheses that do not pair or nest too deep.
std::vector<Node> BuildTree(std::span<const SqlToken> tokens);

// Counts one level of recursion for as long as it lives; 3075 beyond kMaxNesting.
class NestingGuard {
  public:
    explicit NestingGuard(int& depth);
    ~NestingGuard() { --depth_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

  private:
    int& depth_;
};

[[noreturn]] void SyntaxError(std::string_view near);  // 3075 naming the text near the fault
[[noreturn]] void NotSupported();                      // 3129

bool IsW(const Node& n, std::string_view upper);  // the word `upper`, letter case ignored
bool IsSym(const Node& n, std::string_view sym);
// Words that keep their SQL meaning; any other word is a name.
bool IsKeyword(std::string_view upper);
bool IsName(const Node& n);
bool IsJoinWord(const Node& n);
// True when the nodes call an aggregate function outside a subquery.
bool HasAggregate(Span s);

}  // namespace platform
