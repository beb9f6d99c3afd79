// The string-table block reader over blocks of any content. Each block lives in an allocation
// of exactly its size, so that AddressSanitizer sees the first unit read past its end.
#include <memory>

#include "FuzzInput.h"
#include "ui/Messages.h"

namespace qv::fuzz {
namespace {

struct ExactBlock {
    std::unique_ptr<char16_t[]> units;
    ResourceBlock block;

    ExactBlock(const uint8_t* bytes, size_t count) : units(new char16_t[count]) {
        for (size_t i = 0; i < count; ++i)
            units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        block = {units.get(), count};
    }
};

// The neutral lookup and the loader's default may find different blocks, as on Windows.
class TwoBlocks : public Resources {
  public:
    TwoBlocks(const ResourceBlock* neutral, const ResourceBlock& fallback, uint16_t expected)
        : neutral_(neutral), default_(fallback), expected_(expected) {}

    bool FindStringBlockNeutral(uint16_t number, ResourceBlock& out) override {
        FUZZ_CHECK(number == expected_);
        if (neutral_ != nullptr) out = *neutral_;
        return neutral_ != nullptr;
    }
    bool FindStringBlock(uint16_t number, ResourceBlock& out) override {
        FUZZ_CHECK(number == expected_);
        out = default_;
        return true;
    }
    bool FindSeal(const char*&, size_t&) override { return false; }

  private:
    const ResourceBlock* neutral_;
    ResourceBlock default_;
    uint16_t expected_;
};

}  // namespace
}  // namespace qv::fuzz

// Input: the message id (2 bytes, little-endian), the neutral block's length in units (1 byte,
// 0xFF: no neutral block), then the neutral block and the default block as UTF-16LE.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qv;
    if (size < 3) return 0;
    const uint16_t id = static_cast<uint16_t>(data[0] | data[1] << 8);
    const size_t units = (size - 3) / 2;
    const bool hasNeutral = data[2] != 0xFF;
    const size_t split = hasNeutral && data[2] < units ? data[2] : (hasNeutral ? units : 0);
    fuzz::ExactBlock neutral(data + 3, split);
    fuzz::ExactBlock fallback(data + 3 + 2 * split, units - split);

    // Every entry of the block, not only the one the id names.
    const uint16_t first = static_cast<uint16_t>(id - id % 16);
    for (uint16_t entry = first; entry != static_cast<uint16_t>(first + 16); ++entry) {
        for (const ResourceBlock& block : {neutral.block, fallback.block}) {
            WideString text(u"unchanged");
            bool found = FindBlockEntry(block, entry, &text);
            FUZZ_CHECK(found == FindBlockEntry(block, entry, nullptr));
            FUZZ_CHECK(found ? !text.empty() && text.size() < block.units
                             : text == WideString(u"unchanged"));
        }
    }

    fuzz::TwoBlocks resources(hasNeutral ? &neutral.block : nullptr, fallback.block,
                              static_cast<uint16_t>(id / 16 + 1));
    WideString expected(u"unchanged");
    bool present = hasNeutral && FindBlockEntry(neutral.block, id, nullptr) &&
                   FindBlockEntry(fallback.block, id, &expected);
    WideString target(u"unchanged");
    FUZZ_CHECK(LoadMessage(resources, id, target) == present);
    FUZZ_CHECK(target == expected);
    return 0;
}
