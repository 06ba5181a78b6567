#include "platform/engine/JetTextOrder.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/JetError.h"

namespace platform {
namespace {

// The letters that have a case or a base letter, in blocks of consecutive code points. Each
// string holds one character per code point of the block; '.' means "the code point itself".
// "lower case" is the letter that stands for the code point when case is ignored; "base letter"
// the letter it sorts with (Ä and ä with a, Ё with е). Й and Ў are letters of their own in
// their alphabets and keep their place.
struct Block {
    char32_t first;
    const char* lower;
    const char* base;
};

// clang-format off
constexpr Block kBlocks[] = {
    {0x00C0,
     // lower case
         "àáâãäåæçèéêëìíîïðñòóôõö.øùúûüýþ."  // U+00C0
         "................................"  // U+00E0
         "ā.ă.ą.ć.ĉ.ċ.č.ď.đ.ē.ĕ.ė.ę.ě.ĝ.ğ."  // U+0100
         "ġ.ģ.ĥ.ħ.ĩ.ī.ĭ.į...ĳ.ĵ.ķ..ĺ.ļ.ľ.ŀ"  // U+0120
         ".ł.ń.ņ.ň..ŋ.ō.ŏ.ő.œ.ŕ.ŗ.ř.ś.ŝ.ş."  // U+0140
         "š.ţ.ť.ŧ.ũ.ū.ŭ.ů.ű.ų.ŵ.ŷ.ÿź.ż.ž.."  // U+0160
         ".ɓƃ.ƅ.ɔƈ.ɖɗƌ..ǝəɛƒ.ɠɣ.ɩɨƙ...ɯɲ.ɵ"  // U+0180
         "ơ.ƣ.ƥ.ʀƨ.ʃ..ƭ.ʈư.ʊʋƴ.ƶ.ʒƹ...ƽ..."  // U+01A0
         "....ǆǆ.ǉǉ.ǌǌ.ǎ.ǐ.ǒ.ǔ.ǖ.ǘ.ǚ.ǜ..ǟ."  // U+01C0
         "ǡ.ǣ.ǥ.ǧ.ǩ.ǫ.ǭ.ǯ..ǳǳ.ǵ.ƕƿǹ.ǻ.ǽ.ǿ."  // U+01E0
         "ȁ.ȃ.ȅ.ȇ.ȉ.ȋ.ȍ.ȏ.ȑ.ȓ.ȕ.ȗ.ș.ț.ȝ.ȟ."  // U+0200
         "ƞ.ȣ.ȥ.ȧ.ȩ.ȫ.ȭ.ȯ.ȱ.ȳ.......ⱥȼ.ƚⱦ."  // U+0220
         ".ɂ.ƀʉʌɇ.ɉ.ɋ.ɍ.ɏ.",  // U+0240
     // base letter
         "aaaaaa.ceeeeiiiidnooooo.ouuuuy.."  // U+00C0
         "aaaaaa.ceeeeiiiidnooooo.ouuuuy.y"  // U+00E0
         "aaaaaaccccccccddddeeeeeeeeeegggg"  // U+0100
         "gggghhhhiiiiiiiiii..jjkk.lllllll"  // U+0120
         "lllnnnnnn...oooooo..rrrrrrssssss"  // U+0140
         "ssttttttuuuuuuuuuuuuwwyyyzzzzzzs"  // U+0160
         "b.bb...cc..dd....ff.....kkl...n."  // U+0180
         "oo..pp.....ttt.uu..yyzz........."  // U+01A0
         ".............aaiioouuuuuuuuuu.aa"  // U+01C0
         "aaææggggkkooooʒʒj...gg..nnaaææoo"  // U+01E0
         "aaaaeeeeiiiioooorrrruuuusstt..hh"  // U+0200
         "n.....aaeeooooooooyy.......ccl.."  // U+0220
         "...b..eejjqqrryy"},  // U+0240
    {0x0370,
     // lower case
         "ͱ.ͳ...ͷ........ϳ......ά.έήί.ό.ύώ"  // U+0370
         ".αβγδεζηθικλμνξοπρ.στυφχψωϊϋ...."  // U+0390
         "..................σ............ϗ"  // U+03B0
         "........ϙ.ϛ.ϝ.ϟ.ϡ.ϣ.ϥ.ϧ.ϩ.ϫ.ϭ.ϯ."  // U+03D0
         "....θ..ϸ.ϲϻ..ͻͼͽѐёђѓєѕіїјљњћќѝўџ"  // U+03F0
         "абвгдежзийклмнопрстуфхцчшщъыьэюя"  // U+0410
         "................................"  // U+0430
         "................ѡ.ѣ.ѥ.ѧ.ѩ.ѫ.ѭ.ѯ."  // U+0450
         "ѱ.ѳ.ѵ.ѷ.ѹ.ѻ.ѽ.ѿ.ҁ.........ҋ.ҍ.ҏ."  // U+0470
         "ґ.ғ.ҕ.җ.ҙ.қ.ҝ.ҟ.ҡ.ң.ҥ.ҧ.ҩ.ҫ.ҭ.ү."  // U+0490
         "ұ.ҳ.ҵ.ҷ.ҹ.һ.ҽ.ҿ.ӏӂ.ӄ.ӆ.ӈ.ӊ.ӌ.ӎ.."  // U+04B0
         "ӑ.ӓ.ӕ.ӗ.ә.ӛ.ӝ.ӟ.ӡ.ӣ.ӥ.ӧ.ө.ӫ.ӭ.ӯ."  // U+04D0
         "ӱ.ӳ.ӵ.ӷ.ӹ.ӻ.ӽ.ӿ.",  // U+04F0
     // base letter
         ".......................α.εηι.ο.υω"  // U+0370
         "ι.........................ιυαεηι"  // U+0390
         "υ.........................ιυουω."  // U+03B0
         "...ϒϒ..........................."  // U+03D0
         "................ее.г...і....ки.."  // U+03F0
         "................................"  // U+0410
         "................................"  // U+0430
         "ее.г...і....ки.................."  // U+0450
         "......ѵѵ........................"  // U+0470
         "................................"  // U+0490
         ".................жж............."  // U+04B0
         "аааа..ее..әәжжзз..ииииоо..өөээуу"  // U+04D0
         "уууучч..ыы......"},  // U+04F0
    {0x1E00,
     // lower case
         "ḁ.ḃ.ḅ.ḇ.ḉ.ḋ.ḍ.ḏ.ḑ.ḓ.ḕ.ḗ.ḙ.ḛ.ḝ.ḟ."  // U+1E00
         "ḡ.ḣ.ḥ.ḧ.ḩ.ḫ.ḭ.ḯ.ḱ.ḳ.ḵ.ḷ.ḹ.ḻ.ḽ.ḿ."  // U+1E20
         "ṁ.ṃ.ṅ.ṇ.ṉ.ṋ.ṍ.ṏ.ṑ.ṓ.ṕ.ṗ.ṙ.ṛ.ṝ.ṟ."  // U+1E40
         "ṡ.ṣ.ṥ.ṧ.ṩ.ṫ.ṭ.ṯ.ṱ.ṳ.ṵ.ṷ.ṹ.ṻ.ṽ.ṿ."  // U+1E60
         "ẁ.ẃ.ẅ.ẇ.ẉ.ẋ.ẍ.ẏ.ẑ.ẓ.ẕ.........ß."  // U+1E80
         "ạ.ả.ấ.ầ.ẩ.ẫ.ậ.ắ.ằ.ẳ.ẵ.ặ.ẹ.ẻ.ẽ.ế."  // U+1EA0
         "ề.ể.ễ.ệ.ỉ.ị.ọ.ỏ.ố.ồ.ổ.ỗ.ộ.ớ.ờ.ở."  // U+1EC0
         "ỡ.ợ.ụ.ủ.ứ.ừ.ử.ữ.ự.ỳ.ỵ.ỷ.ỹ.ỻ.ỽ.ỿ.",  // U+1EE0
     // base letter
         "aabbbbbbccddddddddddeeeeeeeeeeff"  // U+1E00
         "gghhhhhhhhhhiiiikkkkkkllllllllmm"  // U+1E20
         "mmmmnnnnnnnnoooooooopppprrrrrrrr"  // U+1E40
         "ssssssssssttttttttuuuuuuuuuuvvvv"  // U+1E60
         "wwwwwwwwwwxxxxyyzzzzzzhtwy.s...."  // U+1E80
         "aaaaaaaaaaaaaaaaaaaaaaaaeeeeeeee"  // U+1EA0
         "eeeeeeeeiiiioooooooooooooooooooo"  // U+1EC0
         "oooouuuuuuuuuuuuuuyyyyyyyy......"},  // U+1EE0
};
// clang-format on

// Letters that sort as two (Windows sorts "Straße" with "Strasse", "Æther" with "Aether").
struct Expansion {
    char32_t letter;
    char32_t first;
    char32_t second;
};

constexpr Expansion kExpansions[] = {
    {U'ß', 's', 's'}, {U'æ', 'a', 'e'}, {U'œ', 'o', 'e'}, {U'þ', 't', 'h'}, {U'ĳ', 'i', 'j'},
    {U'ǆ', 'd', 'z'}, {U'ǉ', 'l', 'j'}, {U'ǌ', 'n', 'j'}, {U'ǳ', 'd', 'z'},
};

// Code points below this, and those of the blocks above, are looked up in tables; everything
// else is its own lower case and base letter.
constexpr char32_t kTableEnd = 0x0500;
constexpr char32_t kAdditionalFirst = 0x1E00;
constexpr char32_t kAdditionalEnd = 0x1F00;

struct Letter {
    char32_t lower;
    char32_t base;   // already in lower case
    char32_t upper;  // for UCase; the code point itself where none
};

// The code point at s[i], advancing i. A byte that does not start valid UTF-8 is taken as a
// Latin-1 character, as the Jet functions read such text.
char32_t DecodeAt(std::string_view s, size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    const size_t len = (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    char32_t cp = len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
    bool ok = len > 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        ok = (c & 0xC0) == 0x80;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    if (!ok || cp > 0x10FFFF) {
        ++i;
        return b;
    }
    i += len;
    return cp;
}

class Letters {
  public:
    Letters() {
        for (char32_t c = 0; c < kTableEnd; ++c) low_[c] = {c, c, c};
        for (char32_t c = kAdditionalFirst; c < kAdditionalEnd; ++c)
            additional_[c - kAdditionalFirst] = {c, c, c};
        for (char32_t c = 'A'; c <= 'Z'; ++c) {
            low_[c].lower = low_[c].base = c + 32;
            low_[c + 32].upper = c;
        }
        for (const Block& block : kBlocks) {
            const std::string_view lower = block.lower, base = block.base;
            size_t i = 0, j = 0;
            for (char32_t c = block.first; i < lower.size(); ++c) {
                const char32_t l = DecodeAt(lower, i);
                const char32_t b = DecodeAt(base, j);
                Letter& letter = At(c);
                if (l != '.') letter.lower = l;
                if (b != '.') letter.base = b;
            }
        }
        // Base letters are given for capitals and small letters alike; a capital's base is
        // read through its small letter so that the two can never differ.
        for (const Block& block : kBlocks) {
            const std::string_view lower = block.lower;
            size_t i = 0;
            for (char32_t c = block.first; i < lower.size(); ++c) {
                DecodeAt(lower, i);
                Letter& letter = At(c);
                if (letter.lower == c) continue;
                if (!Has(letter.lower)) {  // Ⱥ: its small letter ⱥ lies beyond the tables
                    letter.base = letter.lower;
                    continue;
                }
                Letter& small = At(letter.lower);
                letter.base = small.base;
                // The first capital of a small letter is its upper case (Ǆ, not ǅ); ẞ is
                // not the upper case of ß in Jet's UCase.
                if (small.upper == letter.lower && c != 0x1E9E) small.upper = c;
            }
        }
    }

    static bool Has(char32_t c) {
        return c < kTableEnd || (c >= kAdditionalFirst && c < kAdditionalEnd);
    }
    Letter& At(char32_t c) { return c < kTableEnd ? low_[c] : additional_[c - kAdditionalFirst]; }
    const Letter& At(char32_t c) const {
        return c < kTableEnd ? low_[c] : additional_[c - kAdditionalFirst];
    }

  private:
    std::array<Letter, kTableEnd> low_{};
    std::array<Letter, kAdditionalEnd - kAdditionalFirst> additional_{};
};

const Letters& TheLetters() {
    static const Letters letters;
    return letters;
}

// Reads the weights of a text, one per call: at the first level the base letters (with ß, æ
// and the like as two letters), at the second the letters with their accents. Case never
// counts. Weights are code points plus one, so that 0 can mark the end.
class Weights {
  public:
    Weights(std::string_view text, bool baseLetters) : text_(text), baseLetters_(baseLetters) {}

    uint32_t Next() {
        if (pending_) return std::exchange(pending_, 0);
        if (at_ >= text_.size()) return 0;
        const auto byte = static_cast<unsigned char>(text_[at_]);
        if (byte < 0x80) {
            ++at_;
            return (byte >= 'A' && byte <= 'Z' ? byte + 32u : byte) + 1u;
        }
        const char32_t c = DecodeAt(text_, at_);
        if (!Letters::Has(c)) return static_cast<uint32_t>(c) + 1u;
        const Letter& letter = TheLetters().At(c);
        if (!baseLetters_) return static_cast<uint32_t>(letter.lower) + 1u;
        for (const Expansion& e : kExpansions) {
            if (e.letter == letter.base) {
                pending_ = static_cast<uint32_t>(e.second) + 1u;
                return static_cast<uint32_t>(e.first) + 1u;
            }
        }
        return static_cast<uint32_t>(letter.base) + 1u;
    }

  private:
    std::string_view text_;
    bool baseLetters_;
    size_t at_ = 0;
    uint32_t pending_ = 0;
};

int CompareAtLevel(std::string_view a, std::string_view b, bool baseLetters) {
    Weights x(a, baseLetters), y(b, baseLetters);
    for (;;) {
        const uint32_t wx = x.Next(), wy = y.Next();
        if (wx != wy) return wx < wy ? -1 : 1;
        if (wx == 0) return 0;
    }
}

int Collate(void*, int n1, const void* p1, int n2, const void* p2) {
    return JetTextOrder::Compare(
        std::string_view(static_cast<const char*>(p1), static_cast<size_t>(n1)),
        std::string_view(static_cast<const char*>(p2), static_cast<size_t>(n2)));
}

}  // namespace

int JetTextOrder::Compare(std::string_view a, std::string_view b) {
    // Index lookups compare mostly ASCII text that shares a long start: an ASCII letter
    // weighs the same at both levels (its lower case), so an ASCII start decides alone or is
    // passed over before the letter-by-letter walk.
    const size_t shorter = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i < shorter; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if ((x | y) & 0x80) break;
        if (x == y) continue;
        const unsigned fx = x >= 'A' && x <= 'Z' ? x + 32u : x;
        const unsigned fy = y >= 'A' && y <= 'Z' ? y + 32u : y;
        if (fx != fy) return fx < fy ? -1 : 1;
    }
    if (i == shorter) {
        // Every character weighs more than the end of the text.
        if (a.size() == b.size()) return 0;
        return a.size() < b.size() ? -1 : 1;
    }
    a.remove_prefix(i);
    b.remove_prefix(i);
    if (a == b) return 0;
    if (const int byBase = CompareAtLevel(a, b, true)) return byBase;
    return CompareAtLevel(a, b, false);
}

char32_t JetTextOrder::FoldCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    return Letters::Has(c) ? TheLetters().At(c).lower : c;
}

char32_t JetTextOrder::UpperCase(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    const char32_t lower = FoldCase(c);  // Ⱥ's small letter lies beyond the tables
    return Letters::Has(lower) ? TheLetters().At(lower).upper : c;
}

void JetTextOrder::Register(sqlite3* db) {
    TheLetters();  // built once, before SQLite first calls the collation
    const int rc =
        sqlite3_create_collation_v2(db, kCollation, SQLITE_UTF8, nullptr, &Collate, nullptr);
    if (rc != SQLITE_OK) ThrowJetError(jet::kEngineFailure, "cannot register the text order");
}

}  // namespace platform
