#include "EngineShell.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "platform/DBEngine.h"
#include "platform/JetError.h"

using platform::Database;
using platform::DBEngine;
using platform::JetError;

namespace tools {
namespace {

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool StartsWithWord(const std::string& text, const std::string& word) {
    const std::string lower = Lower(text.substr(0, word.size()));
    return lower == word && (text.size() == word.size() ||
                             !std::isalnum(static_cast<unsigned char>(text[word.size()])));
}

// Tabs and line breaks inside a value would break the row format.
std::string Cell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Bracket(const std::string& name) { return "[" + name + "]"; }

// A name as one argument of a dot command, the way SplitWords reads it back: quoted when it
// holds a blank or a quote (Jet names may hold both blanks and apostrophes).
std::string Argument(const std::string& name) {
    if (!name.empty() && name.find_first_of(" \t\r\n'\"") == std::string::npos) return name;
    return name.find('"') == std::string::npos ? "\"" + name + "\"" : "'" + name + "'";
}

std::string FieldDdl(const platform::Field& f) {
    std::string ddl = Bracket(f.Name()) + " ";
    if (f.Attributes() & platform::dbAutoIncrField) {
        ddl += "COUNTER";
    } else {
        ddl += platform::JetTypeName(f.Type());
        if (f.Type() == platform::dbText || f.Type() == platform::dbBinary)
            ddl += "(" + std::to_string(f.Size()) + ")";
    }
    if (f.Required()) ddl += " NOT NULL";
    if (!f.DefaultValue().empty()) ddl += " DEFAULT " + f.DefaultValue();
    return ddl;
}

// One table's statements: CREATE TABLE, its indexes, its zero-length settings.
struct TableSchema {
    std::string text;
    size_t statements = 0;
    bool writable = true;  // every name fits between brackets, no text holds a line break
};

TableSchema WriteTable(platform::TableDef& def) {
    TableSchema schema;
    std::ostringstream out;
    const auto name = [&schema](const std::string& text) {
        if (text.find_first_of("]\r\n") != std::string::npos) schema.writable = false;
        return Bracket(text);
    };
    out << "CREATE TABLE " << name(def.Name()) << " (";
    bool first = true;
    for (const platform::Field& f : def.Fields()) {
        name(f.Name());
        if (f.DefaultValue().find_first_of("\r\n") != std::string::npos) schema.writable = false;
        out << (first ? "\n    " : ",\n    ") << FieldDdl(f);
        first = false;
    }
    out << "\n);\n";
    ++schema.statements;
    for (const platform::Index& index : def.Indexes()) {
        out << "CREATE " << (index.Unique() && !index.Primary() ? "UNIQUE " : "") << "INDEX "
            << name(index.Name()) << " ON " << Bracket(def.Name()) << " (";
        for (size_t i = 0; i < index.Fields().size(); ++i) {
            out << (i ? ", " : "") << name(index.Fields()[i].Name)
                << (index.Fields()[i].Descending ? " DESC" : "");
        }
        out << ")";
        if (index.Primary())
            out << " WITH PRIMARY";
        else if (index.Required())
            out << " WITH DISALLOW NULL";
        else if (index.IgnoreNulls())
            out << " WITH IGNORE NULL";
        out << ";\n";
        ++schema.statements;
    }
    for (const platform::Field& f : def.Fields()) {
        if ((f.Type() == platform::dbText || f.Type() == platform::dbMemo) && f.AllowZeroLength()) {
            out << ".allowzerolength " << Argument(def.Name()) << " " << Argument(f.Name())
                << " on\n";
            ++schema.statements;
        }
    }
    schema.text = out.str();
    return schema;
}

void PrintSchema(std::ostream& out, Database& db, const std::string& only) {
    auto tables = db.TableDefs();
    for (const std::string& name : tables.Names()) {
        if (!only.empty() && Lower(name) != Lower(only)) continue;
        platform::TableDef def = tables.Item(name);
        if (def.Attributes() != 0 && !def.IsLink() && only.empty()) continue;  // system tables
        if (def.IsLink()) {
            // A line break in the connect text would end the comment and turn the rest of it
            // into a statement for whoever runs the schema back.
            out << "-- " << Cell(Bracket(def.Name())) << " is a link to "
                << Cell(Bracket(def.SourceTableName())) << " with Connect \"" << Cell(def.Connect())
                << "\"\n";
            continue;
        }
        const TableSchema schema = WriteTable(def);
        // The schema is meant to be run back: a name or default value of the database that would
        // end its statement early (and so start one of its own) is never written out.
        std::istringstream check(schema.text);
        if (!schema.writable || SplitScript(check).size() != schema.statements) {
            out << "-- " << Cell(Bracket(def.Name()))
                << " is left out: a name or default value of it cannot be written as Jet SQL\n";
            continue;
        }
        out << schema.text;
    }
}

}  // namespace

std::vector<std::string> SplitScript(std::istream& in) {
    std::vector<std::string> statements;
    std::string current;
    std::string line;
    char quote = 0;  // the open quote, bracket or date delimiter
    while (std::getline(in, line)) {
        // A comment line may stand anywhere outside a quoted text, also inside a statement.
        if (quote == 0 && Trim(line).starts_with("--")) continue;
        if (quote == 0 && Trim(current).empty()) {
            const std::string trimmed = Trim(line);
            if (trimmed.starts_with(".")) {
                statements.push_back(trimmed);
                continue;
            }
        }
        for (char c : line) {
            if (quote) {
                if ((quote == '[' && c == ']') || (quote != '[' && c == quote)) quote = 0;
                current += c;
            } else if (c == '\'' || c == '"' || c == '[' || c == '#') {
                // '#' opens a date literal only where a value can start, not inside a name.
                quote = c;
                current += c;
            } else if (c == ';') {
                if (!Trim(current).empty()) statements.push_back(Trim(current));
                current.clear();
            } else {
                current += c;
            }
        }
        current += '\n';
    }
    if (!Trim(current).empty()) statements.push_back(Trim(current));
    return statements;
}

int EngineShell::Run(const std::vector<std::string>& args, std::istream& in) {
    bool create = false;
    std::string file;
    std::vector<std::string> statements;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (file.empty() && a == "--create") {
            create = true;
        } else if (file.empty() && a == "--null" && i + 1 < args.size()) {
            nullText_ = args[++i];
        } else if (file.empty() && (a == "--help" || a == "-h")) {
            out_ << "usage: sonavoxa-sql [--create] [--null TEXT] FILE [STATEMENT...]\n";
            return 0;
        } else if (file.empty()) {
            file = a;
        } else {
            statements.push_back(a);
        }
    }
    if (file.empty()) {
        err_ << "usage: sonavoxa-sql [--create] [--null TEXT] FILE [STATEMENT...]\n";
        return 2;
    }
    bool failed = false;
    if (create) {
        try {
            DBEngine::Instance().CreateDatabase(file, platform::dbLangGeneral).Close();
        } catch (const JetError& e) {
            err_ << "Error " << e.Number() << ": " << e.what() << "\n";
            return 1;
        }
    }
    // What a Jet file's copy left out is said once, before the statements. A read-only file's
    // handle stays open for the run, so that the statements share its loaded copy.
    std::optional<Database> readOnlyFile;
    try {
        Database db = DBEngine::Instance().OpenDatabase(file);
        for (const std::string& note : db.OpenNotes()) err_ << "Note: " << note << "\n";
        if (db.ReadOnly()) readOnlyFile = std::move(db);
    } catch (const JetError&) {
        // Each statement reports the error itself.
    }
    if (statements.empty()) statements = SplitScript(in);
    for (const std::string& s : statements) {
        const std::string statement = Trim(s);
        if (statement.empty()) continue;
        if (!RunStatement(file, statement)) failed = true;
    }
    return failed ? 1 : 0;
}

bool EngineShell::RunStatement(const std::string& file, const std::string& statement) {
    try {
        if (statement[0] == '.') {
            RunDotCommand(file, statement);
            return true;
        }
        Database db = DBEngine::Instance().OpenDatabase(file);
        std::string text = statement;
        while (!text.empty() &&
               (text.back() == ';' || std::isspace(static_cast<unsigned char>(text.back()))))
            text.pop_back();
        bool rows = StartsWithWord(text, "select") || StartsWithWord(text, "parameters") ||
                    StartsWithWord(text, "transform") || StartsWithWord(text, "(");
        if (!rows && text.find_first_of(" \t\n") == std::string::npos) {
            // A bare name: a table, link or stored select query prints its rows.
            auto queries = db.QueryDefs();
            bool isActionQuery = false;
            for (const auto& q : queries.Names()) {
                if (Lower(q) != Lower(text)) continue;
                const int type = queries.Item(q).Type();
                isActionQuery = type != platform::dbQSelect && type != platform::dbQSetOperation;
            }
            rows = !isActionQuery;
        }
        if (!rows) {
            db.Execute(text);
            const platform::ExecuteRefusals& refused = db.LastExecuteRefusals();
            if (refused.count > 0) {
                err_ << "Note: " << refused.count << (refused.count == 1 ? " row" : " rows")
                     << " left out; the first: Error " << refused.firstErrorNumber << ": "
                     << refused.firstErrorText << "\n";
            }
            // Closing commits: a change that cannot reach the file is an error of this statement.
            db.Close();
            return true;
        }
        platform::Recordset rs = db.OpenRecordset(text);
        auto fields = rs.Fields();
        for (size_t i = 0; i < fields.Count(); ++i)
            out_ << (i ? "\t" : "") << Cell(fields[i].Name());
        out_ << "\n";
        while (!rs.Eof()) {
            for (size_t i = 0; i < fields.Count(); ++i) {
                const platform::Value v = fields[i].Value();
                out_ << (i ? "\t" : "") << Cell(v.IsNull() ? nullText_ : v.ToDisplayText());
            }
            out_ << "\n";
            rs.MoveNext();
        }
        return true;
    } catch (const JetError& e) {
        err_ << "Error " << e.Number() << ": " << e.what() << "\n";
        return false;
    }
}

namespace {

// The words of a dot command; a word in double or single quotes may hold blanks.
std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : line) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote)
        throw platform::JetError(platform::jet::kInvalidArgument, "Unclosed quote in " + line);
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace

void EngineShell::RunDotCommand(const std::string& file, const std::string& line) {
    std::vector<std::string> rest = SplitWords(line);
    const std::string command = rest.empty() ? std::string() : rest.front();
    if (!rest.empty()) rest.erase(rest.begin());

    if (command == ".compact") {
        if (rest.size() != 1) throw platform::MakeJetError(platform::jet::kInvalidArgument);
        DBEngine::Instance().CompactDatabase(file, rest[0]);
        return;
    }
    Database db = DBEngine::Instance().OpenDatabase(file);
    if (command == ".tables") {
        auto tables = db.TableDefs();
        for (const std::string& name : tables.Names()) {
            platform::TableDef def = tables.Item(name);
            if (def.IsLink()) {
                out_ << name << "\tlink\t" << def.SourceTableName() << "\t" << def.Connect()
                     << "\n";
            } else if (def.Attributes() == 0) {
                out_ << name << "\n";
            }
        }
    } else if (command == ".schema") {
        PrintSchema(out_, db, rest.empty() ? std::string() : rest[0]);
    } else if (command == ".queries") {
        auto queries = db.QueryDefs();
        for (const std::string& name : queries.Names()) {
            platform::QueryDef q = queries.Item(name);
            out_ << name << "\t" << q.Type() << "\t" << Cell(q.SQL()) << "\n";
        }
    } else if (command == ".query") {
        // The text is stored as the file holds it, less trailing blanks and ';', so that a
        // query script stays readable and reviewable on its own.
        if (rest.size() != 2) throw platform::MakeJetError(platform::jet::kInvalidArgument);
        std::ifstream in(rest[1], std::ios::binary);
        if (!in) throw platform::MakeJetError(platform::jet::kFileNotFound, rest[1]);
        std::string sql((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        while (!sql.empty() &&
               (sql.back() == ';' || std::isspace(static_cast<unsigned char>(sql.back()))))
            sql.pop_back();
        db.CreateQueryDef(rest[0], sql);
    } else if (command == ".allowzerolength") {
        if (rest.size() != 3) throw platform::MakeJetError(platform::jet::kInvalidArgument);
        const bool allow = Lower(rest[2]) == "on" || Lower(rest[2]) == "true";
        if (rest[1] == "*") {
            platform::TableDef def = db.TableDefs().Item(rest[0]);
            for (const platform::Field& f : def.Fields())
                if (f.Type() == platform::dbText || f.Type() == platform::dbMemo)
                    db.SetAllowZeroLength(rest[0], f.Name(), allow);
        } else {
            db.SetAllowZeroLength(rest[0], rest[1], allow);
        }
    } else {
        throw platform::JetError(platform::jet::kInvalidArgument, "Unknown command " + command);
    }
}

}  // namespace tools
