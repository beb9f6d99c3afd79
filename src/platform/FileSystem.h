#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "common/WideString.h"

namespace qv {

// A log file opened for writing; each line goes to the file at once, so that a run ended from
// outside leaves what it wrote.
class LogFile {
  public:
    virtual ~LogFile() = default;
    virtual bool Write(const char* bytes, size_t size) = 0;
};

// A file opened for reading and shared for reading only: while it is held nobody writes,
// renames or deletes it, so what was checked is what is used.
class HeldFile {
  public:
    virtual ~HeldFile() = default;
    virtual uint64_t Size() = 0;
    // The next bytes, at most `most`, appended to `bytes`; false on a read error. At the end
    // nothing is appended.
    virtual bool Read(std::vector<uint8_t>& bytes, size_t most) = 0;
};

// A SHA-256 being computed.
class Sha256 {
  public:
    virtual ~Sha256() = default;
    virtual void Add(const uint8_t* bytes, size_t size) = 0;
    // The digest; false when it could not be computed.
    virtual bool Finish(uint8_t (&digest)[32]) = 0;
};

// The sealed files checked, held open, shared for reading only, until the run ends: what was
// checked is what msiexec reads.
using HeldFiles = std::vector<std::unique_ptr<HeldFile>>;

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // The running program's full path, however long.
    virtual WideString ProgramPath() = 0;
    // The long names of the files (not folders) in `folder` (with its trailing backslash), in
    // the order the file system lists them. 0, or the error when the folder cannot be listed;
    // an empty folder is no error.
    virtual uint32_t ListFiles(const WideString& folder, std::vector<WideString>& names) = 0;
    // What a file's bytes are: a new SHA-256; null when the system cannot compute one.
    virtual std::unique_ptr<Sha256> NewSha256() = 0;
    // Whether a folder is there under the path (GetFileAttributes; a share's root reads as none).
    virtual bool IsFolder(const WideString& path) = 0;
    // Opens the file to read, for as long as the result lives; null on failure, with the error.
    virtual std::unique_ptr<HeldFile> Hold(const WideString& path, uint32_t& error) = 0;
    // Creates the file, replacing one of that name, or with `replace` off only if the name is
    // free. A link or junction under the name is never followed. `security`: an SDDL
    // descriptor, or null for the folder's. Null on failure, with the error.
    virtual std::unique_ptr<LogFile> CreateLogFile(const WideString& path, bool replace,
                                                   const char16_t* security, uint32_t& error) = 0;
};

}  // namespace qv
