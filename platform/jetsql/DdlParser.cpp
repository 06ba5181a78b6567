#include "platform/jetsql/DdlParser.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/JetError.h"
#include "platform/engine/SqlText.h"
#include "platform/jetsql/SqlTokenizer.h"

namespace platform {
namespace {

// Jet's DDL creates text fields that refuse zero-length strings (DAO's CreateField allows
// them); this is the one place that decides it.
constexpr bool kDdlTextAllowsZeroLength = false;

class DdlParser {
  public:
    explicit DdlParser(std::vector<SqlToken> tokens) : t_(std::move(tokens)) {
        if (!t_.empty() && t_.back().IsSymbol(";")) t_.pop_back();
    }

    std::optional<DdlStatement> Parse();

  private:
    [[noreturn]] void Fail() const { ThrowJetError(error_); }
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
    int error_ = jet::kSyntaxInCreateTable;
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
            return QuoteIdentifier(v.text);  // Jet's default texts are "double-quoted"
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
    const auto type = JetTypeFromName(t_[i_++].text, &autoIncrement);
    if (!type) Fail();
    f.Type = *type;
    f.Size = DefaultFieldSize(f.Type);
    if (TakeSymbol("(")) {  // TEXT(50), BINARY(16), COUNTER(1, 1), DECIMAL(10, 2)
        if (i_ >= t_.size() || t_[i_].kind != SqlTokenKind::Number) Fail();
        // from_chars, not stod: a size reads the same under every process locale.
        const std::string& digits = t_[i_++].text;
        double size = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), size);
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
            IndexDescription ix =
                KeyIndex(constraintName.empty() ? "PrimaryKey" : constraintName, true);
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
            error_ = jet::kSyntaxInCreateTable;
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
            error_ = jet::kSyntaxInCreateIndex;
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
        error_ = jet::kSyntaxInDrop;
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
        error_ = jet::kSyntaxInAlterTable;
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

std::optional<int> JetTypeFromName(std::string_view word, bool* autoIncrement) {
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

std::optional<DdlStatement> ParseDdl(std::string_view jetSql) {
    std::vector<SqlToken> tokens;
    try {
        tokens = TokenizeJetSql(jetSql);
    } catch (const JetError&) {
        const auto first = jetSql.find_first_not_of(" \t\r\n");
        const std::string word =
            UpperAscii(jetSql.substr(first == std::string_view::npos ? 0 : first, 6));
        if (word.starts_with("CREATE") || word.starts_with("DROP") || word.starts_with("ALTER"))
            ThrowJetError(jet::kSyntaxInCreateTable);
        return std::nullopt;
    }
    return DdlParser(std::move(tokens)).Parse();
}

}  // namespace platform
