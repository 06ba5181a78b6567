// A minimal JSON reader for the old-library fixture descriptions (tests/fixtures/jet/*.json),
// and the comparison of a database value with its JSON form. Objects keep their key order.
// The descriptions hold UTF-8 text and escape only quotes and backslashes.
#pragma once

#include <cctype>
#include <fstream>
#include <iterator>
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
    static Json Load(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        JsonParser p;
        p.s_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return p.Parse();
    }

  private:
    Json Parse() {
        Skip();
        Json v;
        const char c = s_.at(i_);
        if (c == '{' || c == '[') {
            v.kind = c == '{' ? Json::Object : Json::Array;
            for (++i_, Skip(); s_.at(i_) != (c == '{' ? '}' : ']'); Skip()) {
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
        } else if (c == 't' || c == 'f' || c == 'n') {
            v.kind = c == 'n' ? Json::Null : Json::Bool;
            v.b = c == 't';
            i_ += c == 'f' ? 5 : 4;
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
    void Skip() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    std::string ParseString() {
        std::string out;
        for (++i_; s_.at(i_) != '"'; ++i_) {
            if (s_[i_] == '\\') ++i_;
            out.push_back(s_.at(i_));
        }
        ++i_;
        return out;
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
            return v.IsNull() ? "" : got + " instead of null";
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
        case Json::String: {
            std::string want = expected.text;
            if (v.Kind() == ValueKind::Date && want.size() > 10 && want[10] == 'T') want[10] = ' ';
            const bool same = v.Kind() == ValueKind::Date   ? v.ToDisplayText() == want
                              : v.Kind() == ValueKind::Text ? v.AsText() == want
                                                            : false;
            return same ? "" : got + " instead of '" + want + "'";
        }
        default:
            return got + " against an unexpected JSON value";
    }
}

}  // namespace migration::testing_support
