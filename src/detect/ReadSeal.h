#pragma once
// Reads the seal and checks files against it.
#include <cstdint>
#include <memory>
#include <vector>

#include "common/Log.h"
#include "common/WideString.h"
#include "model/Seal.h"
#include "platform/FileSystem.h"

namespace qv {

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
