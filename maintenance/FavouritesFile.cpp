#include "maintenance/FavouritesFile.h"

#include <cstdio>

#include "platform/JetError.h"

namespace maintenance {
namespace {

// VB's "Path/File access error": the number a failing file statement raises.
constexpr int kFileAccessError = 75;

void AppendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    out += '"';
}

}  // namespace

std::string FavouritesFile::FormatLine(const std::vector<platform::Value>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        const platform::Value& v = fields[i];
        if (v.IsNull()) continue;
        if (v.IsNumeric())
            line += v.ToDisplayText();
        else
            AppendQuoted(line, v.ToText());
    }
    return line;
}

std::vector<SavedField> FavouritesFile::ParseLine(const std::string& line) {
    std::vector<SavedField> fields;
    size_t i = 0;
    while (true) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i < line.size() && line[i] == '"') {
            std::string text;
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    const char e = line[++i];
                    text += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
                } else {
                    text += line[i];
                }
            }
            fields.emplace_back(std::move(text));
            i = line.find(',', i);  // past the closing quote to the separator
        } else {
            const size_t comma = line.find(',', i);
            std::string text = line.substr(i, comma == std::string::npos ? comma : comma - i);
            if (text.empty())
                fields.emplace_back(std::nullopt);
            else
                fields.emplace_back(std::move(text));
            i = comma;
        }
        if (i == std::string::npos) break;
        ++i;
    }
    return fields;
}

void FavouritesFile::Create() {
    in_.close();
    out_.close();
    out_.clear();
    out_.open(path_, std::ios::binary | std::ios::trunc);
    if (!out_) Fail("cannot be created");
}

void FavouritesFile::WriteLine(const std::vector<platform::Value>& fields) {
    if (!out_.is_open()) Fail("is not open for writing");
    out_ << FormatLine(fields) << '\n';
    if (!out_) Fail("cannot be written");
}

void FavouritesFile::OpenForReading() {
    Close();
    in_.clear();
    in_.open(path_, std::ios::binary);
    if (!in_) Fail("cannot be read");
}

bool FavouritesFile::ReadLine(std::vector<SavedField>& fields) {
    if (!in_.is_open()) Fail("is not open for reading");
    std::string line;
    if (!std::getline(in_, line)) {
        if (in_.bad()) Fail("cannot be read");
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    fields = ParseLine(line);
    return true;
}

void FavouritesFile::Close() {
    in_.close();
    if (out_.is_open()) {
        out_.close();
        if (!out_) {
            out_.clear();
            Fail("cannot be written");
        }
    }
}

void FavouritesFile::Remove() noexcept {
    in_.close();
    out_.close();
    out_.clear();
    std::remove(path_.c_str());
}

void FavouritesFile::Fail(const char* what) const {
    throw platform::JetError(kFileAccessError,
                             "Path/File access error: '" + path_ + "' " + what + ".");
}

}  // namespace maintenance
