#pragma once
// A sealed kit: the files its release listed, each with its size and SHA-256. A sealed
// setup.exe uses only those, and only as they were.
#include <cstdint>
#include <memory>
#include <vector>

#include "common/Log.h"
#include "common/WideString.h"
#include "platform/FileSystem.h"

namespace qv {

struct SealedFile {
    WideString name;
    uint64_t size = 0;
    uint8_t sha256[32] = {};
};

struct Seal {
    bool sealed = false;
    std::vector<SealedFile> files;

    // The entry of a file name, compared without case; null when the seal does not list it.
    const SealedFile* Find(const WideString& name) const;
};

// The seal's text, a line a file: "<SHA-256 in hex> <size> <name>". A line that does not read
// so is damage: no file of it is trusted.
Seal ReadSeal(const char* text, size_t size);

// A file's check against its seal entry: what was found, and whether it is the same.
struct FileCheck {
    uint32_t error = 0;  // the file could not be opened or read
    uint64_t size = 0;
    uint8_t sha256[32] = {};
    bool matches = false;
};

// Size first, then SHA-256, read once through the held file.
FileCheck CheckFile(FileSystem& files, HeldFile& file, const SealedFile& sealed);
// The same for bytes already read.
FileCheck CheckBytes(FileSystem& files, const std::vector<uint8_t>& bytes,
                     const SealedFile& sealed);

// "size 123, SHA-256 ab12…" for the log.
WideString Describe(uint64_t size, const uint8_t (&sha256)[32]);

}  // namespace qv
