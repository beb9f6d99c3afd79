#pragma once
#include <cstdint>
#include <memory>

#include "common/WideString.h"

namespace qv {

// An open FindFirstFileW search; closing it is the destructor's job.
class DirectorySearch {
  public:
    virtual ~DirectorySearch() = default;
    // The long name of the current entry.
    virtual WideString Name() const = 0;
    virtual bool IsDirectory() const = 0;
    // Moves to the next entry; false when there is none.
    virtual bool Next() = 0;
};

// A log file opened for writing; each line goes to the file at once, so that a run ended from
// outside leaves what it wrote.
class LogFile {
  public:
    virtual ~LogFile() = default;
    virtual bool Write(const char* bytes, size_t size) = 0;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // GetModuleFileNameW(nullptr, buffer, size): units copied; equal to size when cut short.
    virtual uint32_t GetModuleFileName(char16_t* buffer, uint32_t size) = 0;
    // FindFirstFileW; on failure null and `error` holds GetLastError.
    virtual std::unique_ptr<DirectorySearch> FindFirst(const WideString& pattern,
                                                       uint32_t& error) = 0;
    // Creates the file, replacing one of that name, or with `replace` off only if the name is
    // free. A link or junction under the name is never followed. Null on failure, with the
    // error.
    virtual std::unique_ptr<LogFile> CreateLogFile(const WideString& path, bool replace,
                                                   uint32_t& error) = 0;
};

}  // namespace qv
