#include "detect/ReadSeal.h"

#include "common/ResultCodes.h"

namespace qv {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One line into `file`; false when it is not "<64 hex digits> <decimal size> <name>".
bool ReadLine(const char* line, size_t size, SealedFile& file) {
    if (size < 64 + 1 + 1 + 1 + 1 || line[64] != ' ') return false;
    for (size_t i = 0; i < 32; ++i) {
        int high = HexDigit(line[2 * i]), low = HexDigit(line[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        file.sha256[i] = static_cast<uint8_t>(high * 16 + low);
    }
    size_t at = 65;
    file.size = 0;
    for (; at < size && line[at] >= '0' && line[at] <= '9'; ++at) {
        if (file.size > (UINT64_MAX - 9) / 10) return false;
        file.size = file.size * 10 + static_cast<uint64_t>(line[at] - '0');
    }
    if (at == 65 || at + 1 >= size || line[at] != ' ') return false;
    file.name = FromUtf8(line + at + 1, size - at - 1);
    return true;
}

FileCheck Finish(Sha256& hash, const SealedFile& sealed, FileCheck check) {
    if (!hash.Finish(check.sha256)) {
        check.error = kNteFail;
        return check;
    }
    check.matches = check.size == sealed.size;
    for (size_t i = 0; i < 32; ++i)
        check.matches = check.matches && check.sha256[i] == sealed.sha256[i];
    return check;
}

}  // namespace

const SealedFile* Seal::Find(const WideString& name) const {
    for (const SealedFile& file : files)
        if (EqualWithoutCase(file.name, name)) return &file;
    return nullptr;
}

Seal ReadSeal(const char* text, size_t size) {
    Seal seal;
    seal.sealed = true;
    for (size_t start = 0; start < size;) {
        size_t end = start;
        while (end < size && text[end] != '\n') ++end;
        SealedFile file;
        if (!ReadLine(text + start, end - start, file)) {
            seal.files.clear();
            return seal;
        }
        seal.files.push_back(file);
        start = end + 1;
    }
    return seal;
}

FileCheck CheckFile(FileSystem& files, HeldFile& file, const SealedFile& sealed) {
    FileCheck check;
    check.size = file.Size();
    std::unique_ptr<Sha256> hash = files.NewSha256();
    // A file of another size differs whatever its bytes: no need to read it.
    if (!hash || check.size != sealed.size) {
        check.error = hash ? 0 : kNteFail;
        return check;
    }
    std::vector<uint8_t> chunk;
    for (;;) {
        chunk.clear();
        if (!file.Read(chunk, 1 << 20)) {
            check.error = 30;  // ERROR_READ_FAULT
            return check;
        }
        if (chunk.empty()) break;
        hash->Add(chunk.data(), chunk.size());
    }
    return Finish(*hash, sealed, check);
}

FileCheck CheckBytes(FileSystem& files, const std::vector<uint8_t>& bytes,
                     const SealedFile& sealed) {
    FileCheck check;
    check.size = bytes.size();
    std::unique_ptr<Sha256> hash = files.NewSha256();
    if (!hash) {
        check.error = kNteFail;
        return check;
    }
    hash->Add(bytes.data(), bytes.size());
    return Finish(*hash, sealed, check);
}

WideString Describe(uint64_t size, const uint8_t (&sha256)[32]) {
    WideString text = Joined({"size ", Decimal(static_cast<uint32_t>(size)), ", SHA-256 "});
    for (uint8_t byte : sha256) AppendHex(text, byte, 2, false);
    return text;
}

}  // namespace qv
