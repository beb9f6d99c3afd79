#pragma once
#include <memory>

#include "common/Log.h"
#include "platform/FileSystem.h"
#include "platform/SystemInfo.h"

namespace qv {

// The run's log file: a line a fact, each with its local time to the millisecond, in UTF-8.
// A log that cannot be created or written is dropped, and the run goes on as without it.
class SetupLog : public Log {
  public:
    SetupLog(FileSystem& files, SystemInfo& system) : files_(files), system_(system) {}

    // `path` replaced, or without one, or when it cannot be replaced (a viewer holds it open,
    // it is read-only), a new QuorvaneSetup_<yyyyMMdd_HHmmss>.log in the default folder, under
    // another name when that one is taken. With `keep`, a file at `path` is never replaced: the
    // new log goes beside it. A `path` that names a folder (`collected`) gathers every machine's
    // logs: a new QuorvaneSetup_<computer>_<yyyyMMdd_HHmmss>.log there. Answers the file's path,
    // empty when none could be created; `refused` is why `path` could not be used (0: it was, or
    // none was given).
    WideString Open(const WideString& path, uint32_t& refused, bool keep);

    void Add(Severity severity, const WideString& text, const uint32_t* code) override;

    bool collected = false;  // the path named a folder: one there, or one ending in a backslash
    // What msiexec's log goes beside: the log, or a gathered log's name in the default folder.
    WideString beside;

  private:
    // A new log in `folder`, under the next free name.
    WideString CreateNew(const WideString& folder, const WideString& computer,
                         const char16_t* security, uint32_t& error);

    FileSystem& files_;
    SystemInfo& system_;
    std::unique_ptr<LogFile> file_;
};

// The default folder: the user's temporary folder; LocalSystem's is %SystemRoot%\Logs\, where
// administrators read it (Windows' own temporary folder for SYSTEM only SYSTEM can open).
WideString DefaultLogFolder(SystemInfo& system);

// The log's name for a computer (empty: none named) and a time, with the suffix that tells taken
// names apart (0: none).
WideString LogName(const WideString& computer, const LocalTime& time, unsigned suffix);

}  // namespace qv
