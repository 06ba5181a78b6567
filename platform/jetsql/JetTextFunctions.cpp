#include <algorithm>
#include <string>

#include "platform/jetsql/JetFunctionSupport.h"
#include "platform/jetsql/JetText.h"
#include "platform/jetsql/LikePattern.h"

// Jet's text functions (Mid, Left, Len, UCase, InStr, Replace, ...), & and Like. They count
// characters, not bytes, and compare text without regard to letter case unless told.

namespace platform {
namespace {

void Concat(sqlite3_context* ctx, Args a) {
    if (std::all_of(a.begin(), a.end(), [](sqlite3_value* v) { return IsNull(v); })) {
        sqlite3_result_null(ctx);
        return;
    }
    std::string out;
    for (sqlite3_value* v : a) out += TextOf(v);
    ResultText(ctx, out);
}

void Nz(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 1, 2);
    if (!IsNull(a[0]))
        sqlite3_result_value(ctx, a[0]);
    else if (a.size() == 2)
        sqlite3_result_value(ctx, a[1]);
    else
        sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
}

void Mid(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 3);
    if (AnyNull(a.subspan(0, 2)) || (a.size() == 3 && IsNull(a[2])))
        return sqlite3_result_null(ctx);
    const long long start = NeedInt(a[1]);
    const long long len = a.size() == 3 ? NeedInt(a[2]) : -1;
    if (start < 1 || (a.size() == 3 && len < 0)) throw kInvalidCall;
    const std::u32string s = DecodeUtf8(TextOf(a[0]));
    const auto from =
        static_cast<size_t>(std::min<long long>(start - 1, static_cast<long long>(s.size())));
    const size_t count = len < 0 ? std::u32string::npos : static_cast<size_t>(len);
    ResultText(ctx, EncodeUtf8(s.substr(from, count)));
}

void Left(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 2);
    if (AnyNull(a.subspan(0, 1))) return sqlite3_result_null(ctx);
    const long long n = NeedInt(a[1]);
    if (n < 0) throw kInvalidCall;
    ResultText(ctx, EncodeUtf8(DecodeUtf8(TextOf(a[0])).substr(0, static_cast<size_t>(n))));
}

void Right(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 2);
    if (AnyNull(a.subspan(0, 1))) return sqlite3_result_null(ctx);
    const long long n = NeedInt(a[1]);
    if (n < 0) throw kInvalidCall;
    const std::u32string s = DecodeUtf8(TextOf(a[0]));
    const size_t keep = std::min(s.size(), static_cast<size_t>(n));
    ResultText(ctx, EncodeUtf8(s.substr(s.size() - keep)));
}

void Len(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(DecodeUtf8(TextOf(a[0])).size()));
}

void UCase(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultText(ctx, EncodeUtf8(UpperText(DecodeUtf8(TextOf(a[0])))));
}

void LCase(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultText(ctx, EncodeUtf8(LowerText(DecodeUtf8(TextOf(a[0])))));
}

template <bool kLeft, bool kRight>
void TrimSpaces(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    std::string s = TextOf(a[0]);
    size_t b = 0, e = s.size();
    if (kLeft)
        while (b < e && s[b] == ' ') ++b;
    if (kRight)
        while (e > b && s[e - 1] == ' ') --e;
    ResultText(ctx, s.substr(b, e - b));
}

void CStr(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultText(ctx, TextOf(a[0]));
}

// Character position (1-based) of `find` in `s` from `start`, 0 when absent.
long long Find(const std::u32string& s, const std::u32string& find, long long start, bool text) {
    if (start < 1) throw kInvalidCall;
    if (static_cast<size_t>(start) > s.size() + (find.empty() ? 1 : 0)) return 0;
    if (find.empty()) return start;
    const std::u32string hay = text ? LowerText(s) : s, needle = text ? LowerText(find) : find;
    const size_t at = hay.find(needle, static_cast<size_t>(start - 1));
    return at == std::u32string::npos ? 0 : static_cast<long long>(at) + 1;
}

void InStr(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 4);
    const bool withStart = a.size() >= 3;
    const size_t k = withStart ? 1 : 0;
    if (IsNull(a[k]) || IsNull(a[k + 1]) || (withStart && IsNull(a[0])))
        return sqlite3_result_null(ctx);
    const long long start = withStart ? NeedInt(a[0]) : 1;
    const bool text = a.size() == 4 && !IsNull(a[3]) ? NeedInt(a[3]) != 0 : true;
    sqlite3_result_int64(ctx,
                         Find(DecodeUtf8(TextOf(a[k])), DecodeUtf8(TextOf(a[k + 1])), start, text));
}

void StrComp(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 3);
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
    const bool text = a.size() == 3 && !IsNull(a[2]) ? NeedInt(a[2]) != 0 : true;
    std::u32string x = DecodeUtf8(TextOf(a[0])), y = DecodeUtf8(TextOf(a[1]));
    if (text) x = LowerText(x), y = LowerText(y);
    sqlite3_result_int(ctx, x < y ? -1 : x == y ? 0 : 1);
}

void Space(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const long long n = NeedInt(a[0]);
    if (n < 0 || n > 1000000) throw kInvalidCall;
    ResultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void String(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    const long long n = NeedInt(a[0]);
    if (n < 0 || n > 1000000) throw kInvalidCall;
    char32_t ch = 0;
    if (sqlite3_value_type(a[1]) == SQLITE_TEXT) {
        const std::u32string s = DecodeUtf8(TextOf(a[1]));
        if (s.empty()) throw kInvalidCall;
        ch = s[0];
    } else {
        const long long code = NeedInt(a[1]);
        if (code < 0 || code > 0x10FFFF) throw kInvalidCall;
        ch = static_cast<char32_t>(code);
    }
    ResultText(ctx, EncodeUtf8(std::u32string(static_cast<size_t>(n), ch)));
}

void IsNullFn(sqlite3_context* ctx, Args a) { sqlite3_result_int(ctx, IsNull(a[0]) ? -1 : 0); }

void ReplaceFn(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 3, 6);
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    const std::u32string s = DecodeUtf8(TextOf(a[0])), find = DecodeUtf8(TextOf(a[1])),
                         with = DecodeUtf8(TextOf(a[2]));
    const long long start = a.size() >= 4 ? NeedInt(a[3]) : 1;
    long long count = a.size() >= 5 ? NeedInt(a[4]) : -1;
    const bool text = a.size() == 6 && NeedInt(a[5]) != 0;
    if (start < 1 || count < -1) throw kInvalidCall;
    if (static_cast<size_t>(start) > s.size())
        return sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
    const std::u32string rest = s.substr(static_cast<size_t>(start - 1));
    if (find.empty()) return ResultText(ctx, EncodeUtf8(rest));
    const std::u32string hay = text ? LowerText(rest) : rest,
                         needle = text ? LowerText(find) : find;
    std::u32string out;
    size_t pos = 0;
    while (count != 0) {
        const size_t at = hay.find(needle, pos);
        if (at == std::u32string::npos) break;
        out += rest.substr(pos, at - pos);
        out += with;
        pos = at + find.size();
        if (count > 0) --count;
    }
    out += rest.substr(pos);
    ResultText(ctx, EncodeUtf8(out));
}

void Asc(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const std::u32string s = DecodeUtf8(TextOf(a[0]));
    if (s.empty()) throw kInvalidCall;
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(s[0]));
}

void Chr(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const long long code = NeedInt(a[0]);
    if (code < 0 || code > 0xFFFF) throw kInvalidCall;
    ResultText(ctx, EncodeUtf8(std::u32string(1, static_cast<char32_t>(code))));
}

void Like(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, LikePattern(TextOf(a[1])).Matches(TextOf(a[0])) ? -1 : 0);
}

}  // namespace

std::span<const ScalarFunction> TextFunctions() {
    static const ScalarFunction kFunctions[] = {
        {"jet_concat", -1, Call<Concat>},
        {"jet_nz", -1, Call<Nz>},
        {"jet_mid", -1, Call<Mid>},
        {"jet_left", 2, Call<Left>},
        {"jet_right", 2, Call<Right>},
        {"jet_len", 1, Call<Len>},
        {"jet_ucase", 1, Call<UCase>},
        {"jet_lcase", 1, Call<LCase>},
        {"jet_trim", 1, Call<TrimSpaces<true, true>>},
        {"jet_ltrim", 1, Call<TrimSpaces<true, false>>},
        {"jet_rtrim", 1, Call<TrimSpaces<false, true>>},
        {"jet_cstr", 1, Call<CStr>},
        {"jet_instr", -1, Call<InStr>},
        {"jet_strcomp", -1, Call<StrComp>},
        {"jet_space", 1, Call<Space>},
        {"jet_string", 2, Call<String>},
        {"jet_isnull", 1, Call<IsNullFn>},
        {"jet_replace", -1, Call<ReplaceFn>},
        {"jet_asc", 1, Call<Asc>},
        {"jet_chr", 1, Call<Chr>},
        {"jet_like", 2, Call<Like>},
    };
    return kFunctions;
}

}  // namespace platform
