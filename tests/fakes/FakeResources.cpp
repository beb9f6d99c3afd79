#include "fakes/Fakes.h"

namespace qv::fakes {

std::vector<char16_t> FakeResources::BuildBlock(const std::map<int, std::u16string>& entries) {
    std::vector<char16_t> block;
    for (int entry = 0; entry < 16; ++entry) {
        auto it = entries.find(entry);
        std::u16string text = it == entries.end() ? u"" : it->second;
        block.push_back(static_cast<char16_t>(text.size()));
        block.insert(block.end(), text.begin(), text.end());
    }
    return block;
}

void FakeResources::SetStrings(const std::map<uint16_t, std::u16string>& strings) {
    std::map<uint16_t, std::map<int, std::u16string>> entries;
    for (const auto& [id, text] : strings) entries[id / 16 + 1][id % 16] = text;
    blocks.clear();
    for (const auto& [block, texts] : entries) blocks[block] = BuildBlock(texts);
}

bool FakeResources::FindStringBlockNeutral(uint16_t block, ResourceBlock& out) {
    return FindStringBlock(block, out);
}

bool FakeResources::FindStringBlock(uint16_t block, ResourceBlock& out) {
    auto it = blocks.find(block);
    if (it == blocks.end()) return false;
    out.data = it->second.data();
    out.units = it->second.size();
    return true;
}

}  // namespace qv::fakes
