// A minimal JSON reader for the old-library fixture descriptions (tests/fixtures/jet/*.json),
// and the comparison of a database value with its JSON form. Objects keep their key order.
#pragma once

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Value.h"

namespace migration::testing_support {

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool b = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](const std::string& key) const {
        for (const auto& [k, v] : members) {
            if (k == key) return v;
        }
        static const Json missing;
        return missing;
    }
};

class JsonParser {
  public:
    explicit JsonParser(std::string text) : s_(std::move(text)) {}

    Json Parse() {
        Skip();
        Json v;
        const char c = s_.at(i_);
        if (c == '{' || c == '[') {
            v.kind = c == '{' ? Json::Object : Json::Array;
            const char close = c == '{' ? '}' : ']';
            ++i_;
            for (Skip(); s_.at(i_) != close; Skip()) {
                if (v.kind == Json::Object) {
                    std::string key = ParseString();
                    Skip();
                    ++i_;  // ':'
                    v.members.emplace_back(std::move(key), Parse());
                } else {
                    v.items.push_back(Parse());
                }
                Skip();
                if (s_.at(i_) == ',') ++i_;
            }
            ++i_;
        } else if (c == '"') {
            v.kind = Json::String;
            v.text = ParseString();
        } else if (c == 't' || c == 'f') {
            v.kind = Json::Bool;
            v.b = c == 't';
            i_ += v.b ? 4 : 5;
        } else if (c == 'n') {
            i_ += 4;
        } else {
            v.kind = Json::Number;
            const size_t start = i_;
            while (i_ < s_.size() &&
                   std::string_view("+-.eE0123456789").find(s_[i_]) != std::string_view::npos) {
                ++i_;
            }
            v.text = s_.substr(start, i_ - start);
            v.number = std::stod(v.text);
        }
        return v;
    }

    static Json Load(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return JsonParser({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()})
            .Parse();
    }

  private:
    void Skip() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    std::string ParseString() {
        ++i_;  // '"'
        std::string out;
        while (s_.at(i_) != '"') {
            char c = s_[i_++];
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            c = s_.at(i_++);
            if (c == 'n') {
                out.push_back('\n');
            } else if (c == 't') {
                out.push_back('\t');
            } else if (c == 'r') {
                out.push_back('\r');
            } else if (c == 'u') {
                uint32_t cp = static_cast<uint32_t>(std::stoul(s_.substr(i_, 4), nullptr, 16));
                i_ += 4;
                if (cp >= 0xd800 && cp < 0xdc00 && s_.compare(i_, 2, "\\u") == 0) {
                    const auto low =
                        static_cast<uint32_t>(std::stoul(s_.substr(i_ + 2, 4), nullptr, 16));
                    cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
                    i_ += 6;
                }
                AppendUtf8(out, cp);
            } else {
                out.push_back(c);
            }
        }
        ++i_;
        return out;
    }
    static void AppendUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else {
            out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        }
    }

    std::string s_;
    size_t i_ = 0;
};

// Empty text when `v` is the value `expected` describes (Single values compared as 32-bit
// floats, dates as "YYYY-MM-DDTHH:MM:SS"); otherwise what differs.
inline std::string Mismatch(const platform::Value& v, const Json& expected) {
    using platform::ValueKind;
    const std::string got = v.IsNull() ? "Null" : "'" + v.ToDisplayText() + "'";
    switch (expected.kind) {
        case Json::Null:
            if (v.IsNull()) return {};
            return got + " instead of null";
        case Json::Bool:
            if (v.Kind() == ValueKind::Boolean && v.AsBoolean() == expected.b) return {};
            return got + " instead of " + (expected.b ? "true" : "false");
        case Json::Number:
            if (v.Kind() == ValueKind::Single &&
                static_cast<float>(v.AsDouble()) == static_cast<float>(expected.number)) {
                return {};
            }
            if (v.Kind() == ValueKind::Integer &&
                static_cast<double>(v.AsInteger()) == expected.number) {
                return {};
            }
            if (v.Kind() == ValueKind::Double && v.AsDouble() == expected.number) return {};
            return got + " instead of " + expected.text;
        case Json::String:
            if (v.Kind() == ValueKind::Date) {
                std::string want = expected.text;
                if (want.size() > 10 && want[10] == 'T') want[10] = ' ';
                if (v.ToDisplayText() == want) return {};
                return got + " instead of " + want;
            }
            if (v.Kind() == ValueKind::Text && v.AsText() == expected.text) return {};
            return got + " instead of '" + expected.text + "'";
        default:
            return got + " against an unexpected JSON value";
    }
}

}  // namespace migration::testing_support
