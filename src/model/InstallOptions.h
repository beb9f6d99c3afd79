#pragma once
#include "common/WideString.h"
#include "model/Choices.h"

namespace qv {

constexpr uint32_t kMaxToolSeconds = 86400;  // -tooltimeout: a day

struct InstallOptions {
    bool empty = true;                // an empty command tail: the settings dialog may be shown
    Level kc = Level::kNone;          // none when not chosen
    Language lang = Language::kNone;  // none when not chosen
    WideString args;                  // extra msiexec words, each followed by one blank
    WideString log;                   // the log file to write instead of the default one
    bool silent = false;
    bool root = false;
    bool noreboot = false;
    bool reinstall = false;
    bool whatif = false;         // report the plan, change nothing
    bool uninstall = false;      // remove every installed product the kit relates to
    bool repair = false;         // repair the installed product from the kit's package of its own
    uint32_t toolSeconds = 600;  // how long the tool may run before it is ended
    // A value that names no level, language or time limit, with its option: a bad command line,
    // since a level typed is a security class asked for.
    WideString badValue;
};

}  // namespace qv
