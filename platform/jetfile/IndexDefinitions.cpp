#include "platform/jetfile/IndexDefinitions.h"

#include <cstddef>

namespace platform {
namespace {

// Where the two Jet versions keep things in a table definition.
struct Layout {
    size_t fieldCount;         // offset of the 16-bit field count
    size_t logicalCount;       // offset of the 32-bit logical index count
    size_t physicalCount;      // offset of the 32-bit physical index count
    size_t blockEnd;           // end of the fixed block
    size_t physicalHeader;     // per physical index, right after the fixed block
    size_t fieldEntry;         // per field
    size_t nameLengthBytes;    // of every field and index name
    size_t physicalEntry;      // per physical index, after the names
    size_t physicalKeysStart;  // within it
    size_t physicalFlags;      // within it
    size_t logicalEntry;       // per logical index
    size_t logicalPhysical;    // within it: the 32-bit number of the physical index
    size_t logicalKind;        // within it
};

constexpr Layout kJet4{45, 47, 51, 63, 12, 25, 2, 52, 4, 46, 28, 8, 23};
constexpr Layout kJet3{25, 27, 31, 43, 8, 18, 1, 39, 0, 38, 20, 4, 19};
constexpr size_t kKeySlots = 10;
constexpr uint16_t kNoField = 0xffff;
// Jet allows 32 indexes per table; relationships add logical ones. More means damage.
constexpr uint32_t kMaxIndexes = 256;

class Bytes {
  public:
    explicit Bytes(const std::vector<uint8_t>& b) : b_(b) {}
    bool Has(size_t pos, size_t n) const { return pos <= b_.size() && n <= b_.size() - pos; }
    uint8_t U8(size_t pos) const { return b_[pos]; }
    uint16_t U16(size_t pos) const { return static_cast<uint16_t>(b_[pos] | (b_[pos + 1] << 8)); }
    uint32_t U32(size_t pos) const {
        return static_cast<uint32_t>(U16(pos)) | (static_cast<uint32_t>(U16(pos + 2)) << 16);
    }
    size_t NameLength(size_t pos, size_t lengthBytes) const {
        return lengthBytes == 2 ? U16(pos) : U8(pos);
    }
    const std::vector<uint8_t>& All() const { return b_; }

  private:
    const std::vector<uint8_t>& b_;
};

}  // namespace

std::optional<std::vector<IndexDefinition>> ReadIndexDefinitions(
    const std::vector<uint8_t>& definition, bool jet4) {
    const Layout& l = jet4 ? kJet4 : kJet3;
    const Bytes b(definition);
    if (!b.Has(0, l.blockEnd)) return std::nullopt;
    const size_t fields = b.U16(l.fieldCount);
    const uint32_t logical = b.U32(l.logicalCount);
    const uint32_t physical = b.U32(l.physicalCount);
    if (logical > kMaxIndexes || physical > kMaxIndexes) return std::nullopt;

    size_t pos = l.blockEnd + physical * l.physicalHeader + fields * l.fieldEntry;
    for (size_t i = 0; i < fields; ++i) {
        if (!b.Has(pos, l.nameLengthBytes)) return std::nullopt;
        pos += l.nameLengthBytes + b.NameLength(pos, l.nameLengthBytes);
    }

    struct Physical {
        uint8_t flags = 0;
        std::vector<IndexKeyDefinition> keys;
    };
    std::vector<Physical> physicals(physical);
    for (Physical& p : physicals) {
        if (!b.Has(pos, l.physicalEntry)) return std::nullopt;
        for (size_t k = 0; k < kKeySlots; ++k) {
            const size_t slot = pos + l.physicalKeysStart + 3 * k;
            const uint16_t field = b.U16(slot);
            if (field == kNoField) continue;
            // 1 ascending, 0 descending.
            p.keys.push_back({field, b.U8(slot + 2) == 0});
        }
        p.flags = b.U8(pos + l.physicalFlags);
        pos += l.physicalEntry;
    }

    std::vector<IndexDefinition> indexes(logical);
    for (IndexDefinition& index : indexes) {
        if (!b.Has(pos, l.logicalEntry)) return std::nullopt;
        const uint32_t which = b.U32(pos + l.logicalPhysical);
        index.Kind = b.U8(pos + l.logicalKind);
        if (which < physical) {
            index.Flags = physicals[which].flags;
            index.Keys = physicals[which].keys;
        }
        pos += l.logicalEntry;
    }
    for (IndexDefinition& index : indexes) {
        if (!b.Has(pos, l.nameLengthBytes)) return std::nullopt;
        const size_t n = b.NameLength(pos, l.nameLengthBytes);
        pos += l.nameLengthBytes;
        if (!b.Has(pos, n)) return std::nullopt;
        index.RawName.assign(b.All().begin() + static_cast<std::ptrdiff_t>(pos),
                             b.All().begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    }
    return indexes;
}

}  // namespace platform
