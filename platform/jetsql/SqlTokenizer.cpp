#include "platform/jetsql/SqlTokenizer.h"

#include "platform/JetError.h"
#include "platform/engine/SqlText.h"

namespace platform {
namespace {

bool IsWordStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0x80;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsWordChar(char c) { return IsWordStart(c) || IsDigit(c); }

[[noreturn]] void Unterminated(std::string_view sql, size_t from) {
    ThrowJetError(jet::kSyntaxInExpression, sql.substr(from, 40));
}

}  // namespace

bool SqlToken::IsWord(std::string_view upperCaseWord) const {
    if (kind != SqlTokenKind::Word || text.size() != upperCaseWord.size()) return false;
    return UpperAscii(text) == upperCaseWord;
}

std::vector<SqlToken> TokenizeJetSql(std::string_view sql) {
    std::vector<SqlToken> tokens;
    size_t i = 0;
    const size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        SqlToken t;
        t.offset = i;
        if (c == '\'' || c == '"') {
            t.kind = SqlTokenKind::String;
            size_t j = i + 1;
            for (;;) {
                if (j >= n) Unterminated(sql, i);
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        t.text += c;
                        j += 2;
                        continue;
                    }
                    break;
                }
                t.text += sql[j++];
            }
            i = j + 1;
        } else if (c == '[') {
            t.kind = SqlTokenKind::QuotedName;
            const size_t close = sql.find(']', i + 1);
            if (close == std::string_view::npos) Unterminated(sql, i);
            t.text = std::string(sql.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '#') {
            t.kind = SqlTokenKind::Date;
            const size_t close = sql.find('#', i + 1);
            if (close == std::string_view::npos) Unterminated(sql, i);
            t.text = std::string(sql.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(sql[i + 1]))) {
            t.kind = SqlTokenKind::Number;
            size_t j = i;
            while (j < n && IsDigit(sql[j])) ++j;
            if (j < n && sql[j] == '.') {
                ++j;
                while (j < n && IsDigit(sql[j])) ++j;
            }
            if (j < n && (sql[j] == 'e' || sql[j] == 'E')) {
                size_t k = j + 1;
                if (k < n && (sql[k] == '+' || sql[k] == '-')) ++k;
                if (k < n && IsDigit(sql[k])) {
                    while (k < n && IsDigit(sql[k])) ++k;
                    j = k;
                }
            }
            if (j < n && IsWordStart(sql[j])) Unterminated(sql, i);  // "12abc"
            t.text = std::string(sql.substr(i, j - i));
            i = j;
        } else if (IsWordStart(c)) {
            t.kind = SqlTokenKind::Word;
            size_t j = i;
            while (j < n && IsWordChar(sql[j])) ++j;
            t.text = std::string(sql.substr(i, j - i));
            i = j;
        } else {
            t.kind = SqlTokenKind::Symbol;
            const std::string_view two = sql.substr(i, 2);
            if (two == "<>" || two == "<=" || two == ">=") {
                t.text = std::string(two);
            } else if (two == "=<") {
                t.text = "<=";
            } else if (two == "=>") {
                t.text = ">=";
            } else {
                t.text = std::string(1, c);
            }
            i += t.text.size() == 2 ? 2 : 1;
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

}  // namespace platform
