// SqlTokenizer: splits Jet SQL text into tokens for the translator and the DDL parser.
//
// Jet's lexical rules, not SQLite's: [bracketed names], 'single' and "double" quoted string
// literals (a doubled quote stands for one), #date# literals, numbers, words and symbols.
// Tokens own their text; the tokenizer holds no state between calls.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class SqlTokenKind { Word, QuotedName, String, Number, Date, Symbol };

struct SqlToken {
    SqlTokenKind kind = SqlTokenKind::Symbol;
    // Word: as written; QuotedName: the name inside the brackets; String: the literal's value;
    // Date: the text between the '#'s; Number: as written; Symbol: "(", "<>", "<=", ...
    std::string text;
    size_t offset = 0;  // where the token starts in the statement

    bool IsWord(std::string_view upperCaseWord) const;  // letter case ignored
    bool IsSymbol(std::string_view symbol) const {
        return kind == SqlTokenKind::Symbol && text == symbol;
    }
};

// Throws JetError 3075 for an unterminated string, name or date literal.
std::vector<SqlToken> TokenizeJetSql(std::string_view sql);

}  // namespace platform
