#include <gtest/gtest.h>

#include <functional>

#include "Kit.h"
#include "driver/MakePlan.h"

namespace qv::testing {
namespace {

const std::u16string kDefaultLog = u"C:\\Temp\\QuorvaneSetup_20261207_140359.log";
const std::string kLogged = "C:\\logs\\setup.log";

void FreshKit(Kit& k) {
    k.AddPackage(u"qv_x64_kc1_eng.msi", kNewCode);
    k.ToolInstalledFor(kNewCode);
}

// Wherever the log goes, or fails to go, the run does the same: one installation, exit 0.
TEST(SetupLog, WhereItGoesAndWhatStopsIt) {
    struct {
        const char* name;
        std::function<void(Kit&)> arrange;
        std::vector<std::u16string> args;
        std::u16string file;  // empty: no log at all
        const char* msiexecArgs;
    } cases[] = {
        {"default", [](Kit&) {}, {u"-silent"}, kDefaultLog, ""},
        // A file, link or folder planted under the name is never opened: the next name is.
        {"default_name_taken",
         [](Kit& k) {
             k.files.AddFile(u"C:\\Temp", u"QuorvaneSetup_20261207_140359.log", "");
             k.files.subfolders.insert(u"C:\\TEMP\\QUORVANESETUP_20261207_140359_1.LOG");
         },
         {u"-silent"},
         u"C:\\Temp\\QuorvaneSetup_20261207_140359_2.log",
         ""},
        {"no_temporary_folder", [](Kit& k) { k.system.tempFolder = u""; }, {u"-silent"}, u"", ""},
        {"cannot_be_created", [](Kit& k) { k.files.logCreateError = 5; }, {u"-silent"}, u"", ""},
        {"given_file_replaced",
         [](Kit& k) { k.files.contents[u"C:\\LOGS\\SETUP.LOG"] = "old\r\n"; },
         {u"-silent", u"-log", u"C:\\logs\\setup.log"},
         u"C:\\logs\\setup.log",
         "/l*v \"C:\\logs\\setup.log.msiexec.log\" "},
        // Where the log cannot go, msiexec's would fail it: none is asked for.
        {"given_file_uncreatable",
         [](Kit& k) { k.files.logCreateError = 3; },
         {u"-silent", u"-log", u"C:\\gone\\setup.log"},
         u"",
         ""},
        // A file a viewer holds open cannot be replaced: the default log is written instead, and
        // msiexec's beside it.
        {"given_file_held_open",
         [](Kit& k) { k.files.inUse[u"C:\\LOGS\\SETUP.LOG"] = 32; },
         {u"-silent", u"-log", u"C:\\logs\\setup.log"},
         kDefaultLog,
         "/l*v \"C:\\Temp\\QuorvaneSetup_20261207_140359.log.msiexec.log\" "},
        // msiexec's log must be writable, or Windows' msiexec refuses to install.
        {"msiexec_log_held_open",
         [](Kit& k) { k.files.inUse[u"C:\\LOGS\\SETUP.LOG.MSIEXEC.LOG"] = 32; },
         {u"-silent", u"-log", u"C:\\logs\\setup.log"},
         u"C:\\logs\\setup.log",
         ""},
        // SYSTEM's own temporary folder is SYSTEM's alone: where administrators look instead.
        {"local_system",
         [](Kit& k) { k.system.localSystem = true; },
         {u"-silent"},
         u"C:\\windows\\Logs\\QuorvaneSetup_20261207_140359.log",
         ""},
        // Both logs, -args and all, for SYSTEM and administrators only (checked below).
        {"local_system_given_file",
         [](Kit& k) { k.system.localSystem = true; },
         {u"-silent", u"-log", u"C:\\logs\\setup.log"},
         u"C:\\logs\\setup.log",
         "/l*v \"C:\\logs\\setup.log.msiexec.log\" "},
        // A folder gathers every machine's logs, each created new under its computer's name;
        // msiexec's stays in the default place, named after it.
        {"folder_there_name_taken",
         [](Kit& k) {
             k.files.subfolders.insert(u"C:\\LOGS");
             k.files.AddFile(u"C:\\logs", u"QuorvaneSetup_PC-7_20261207_140359.log", "");
         },
         {u"-silent", u"-log", u"C:\\logs"},
         u"C:\\logs\\QuorvaneSetup_PC-7_20261207_140359_1.log",
         "/l*v \"C:\\Temp\\QuorvaneSetup_PC-7_20261207_140359_1.log.msiexec.log\" "},
        {"folder_unreachable",
         [](Kit& k) { k.files.unwritable[u"\\\\SRV\\LOGS"] = 53; },
         {u"-silent", u"-log", u"\\\\srv\\logs\\"},
         kDefaultLog,
         "/l*v \"C:\\Temp\\QuorvaneSetup_20261207_140359.log.msiexec.log\" "},
        // A path ending in a backslash is a folder unread; its own permissions, not SYSTEM's,
        // decide who reads a gathered log.
        {"local_system_folder",
         [](Kit& k) { k.system.localSystem = true; },
         {u"-silent", u"-log", u"\\\\srv\\logs\\"},
         u"\\\\srv\\logs\\QuorvaneSetup_PC-7_20261207_140359.log",
         "/l*v \"C:\\windows\\Logs\\QuorvaneSetup_PC-7_20261207_140359.log.msiexec.log\" "},
        // msiexec's own log is left to -args when they ask for one.
        {"args_name_the_msiexec_log",
         [](Kit&) {},
         {u"-silent", u"-args", u"/L*V C:\\m.log", u"/log", u"C:\\logs\\setup.log"},
         u"C:\\logs\\setup.log",
         "/L*V C:\\m.log "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        FreshKit(k);
        c.arrange(k);
        EXPECT_EQ(k.RunWith(c.args), 0);
        EXPECT_TRUE(k.ui.boxes.empty());
        ASSERT_EQ(k.processes.commandLines.size(), 2u);
        EXPECT_EQ(ToUtf8(k.processes.commandLines[0]),
                  kMsiexec + "\"C:\\Kit\\qv_x64_kc1_eng.msi\" " + c.msiexecArgs + " REBOOT=R");
        std::string log = k.files.Log(c.file);
        if (c.file.empty()) {
            EXPECT_TRUE(k.files.logs.empty());
            continue;
        }
        EXPECT_EQ(log.rfind("2026-12-07 14:03:59.120 setup.exe ", 0), 0u) << log;
        EXPECT_NE(log.find(" log " + ToUtf8(WideString(c.file)) + "\r\n"), std::string::npos);
        EXPECT_NE(log.find("exit code 0: success; no restart under way\r\n"), std::string::npos)
            << log;
        std::string name = c.name;
        EXPECT_EQ(log.find("-log C:\\logs\\setup.log not written; this log instead (32)") !=
                      std::string::npos,
                  name == "given_file_held_open")
            << log;
        EXPECT_EQ(log.find("-log \\\\srv\\logs\\ not written; this log instead (53)") !=
                      std::string::npos,
                  name == "folder_unreachable")
            << log;
        EXPECT_EQ(log.find("old"), std::string::npos);
        for (const auto& [path, security] : k.files.logs)
            EXPECT_EQ(ToUtf8(WideString(security)),
                      k.system.localSystem && path[0] != u'\\' ? "D:P(A;;FA;;;SY)(A;;FA;;;BA)" : "")
                << ToUtf8(WideString(path));
    }
}

// A full disk: the log stops at a whole line, and the run goes on as without it.
TEST(SetupLog, FullDiskEndsTheLogNotTheRun) {
    Kit k;
    FreshKit(k);
    k.files.logSpace = 300;
    EXPECT_EQ(k.RunWith({u"-silent"}), 0);
    EXPECT_EQ(k.processes.commandLines.size(), 2u);
    std::string log = k.files.Log(kDefaultLog);
    EXPECT_FALSE(log.empty());
    EXPECT_LE(log.size(), 300u);
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
    EXPECT_EQ(log.find("exit code"), std::string::npos);
}

// Each fact that decides a run, one line each, errors and warnings marked for log viewers.
TEST(SetupLog, DecisiveLines) {
    Kit k;
    k.Install(kOldCode, u"5.0.9", u"qv_x64_kc3_eng.msi");
    k.AddPackage(u"qv_x64_kc1_eng.msi", kNewCode);
    k.AddPackage(u"qv_x64_kc3_eng.msi", kNewCode);
    k.ToolInstalledFor(kNewCode);
    k.processes.script = {fakes::ProcessOutcome::Exit(3010)};
    k.registry.faults.FailNext("CreateKey", 5);
    EXPECT_EQ(k.RunWith({u"-silent", u"-noreboot", u"-lang", u"eng"}), 3010);
    std::string log = k.files.Log(kDefaultLog);
    for (const std::string& line : std::vector<std::string>{
             "command line: \"C:\\Kit\\setup.exe\" -silent -noreboot -lang eng\r\n",
             "Windows 10.0.19045, x64, user interface language 1033, system's 1033\r\n",
             "administrator: yes\r\n",
             "language eng from -lang\r\n",
             "platform package C:\\Kit\\qv_x64_kc1_eng.msi: ProductCode " +
                 ToUtf8(WideString(kNewCode)) + ", UpgradeCode " +
                 ToUtf8(WideString(kUpgradeCode)) + ", version 5.0.10, name \"Quorvane CSP\"\r\n",
             "related product " + ToUtf8(WideString(kOldCode)) + "\r\n",
             "installed product " + ToUtf8(WideString(kOldCode)) + ": version 5.0.9\r\n",
             "decision: update\r\n",
             "installed package name: qv_x64_kc3_eng.msi\r\n",
             "installed product's level kc3, language eng\r\n",
             "level kc3 kept from the installed product\r\n",
             "package C:\\Kit\\qv_x64_kc3_eng.msi, found by level and language\r\n",
             "sequence patch of C:\\windows\\Installer\\1a2b.msi done\r\n",
             "msiexec: " + kMsiexec + "\"C:\\Kit\\qv_x64_kc3_eng.msi\"  REBOOT=R\r\n",
             "msiexec ended with 3010 after 10 ms\r\n",
             "error: restart marker (msiexec asked for a restart) not created; the restart is kept "
             "in the run (5): text of 5\r\n",
             "tool ended with 0 after 10 ms\r\n",
             "warning: -noreboot: a restart is due; it is left to whoever started setup.exe\r\n",
             "exit code 3010: installed; a restart is due\r\n",
         }) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\nin\n" << log;
    }
}

// A decision made again writes only the lines it adds; one that differs from the line written at
// its place is written, and every one after it: none is lost.
TEST(DecisionLines, WriteEachLineOnceAndLoseNone) {
    using Rounds = std::vector<std::vector<const char*>>;
    const struct {
        Rounds rounds;
        std::vector<std::string> written;
    } cases[] = {
        {Rounds{{"a", "b"}, {"a", "b", "c"}, {"a", "b", "c", "d"}}, {"a", "b", "c", "d"}},
        {Rounds{{"a", "b"}, {"a", "x", "b"}}, {"a", "b", "x", "b"}},
        {Rounds{{"a", "b", "c"}, {"a"}, {"a", "b", "c"}}, {"a", "b", "c"}},
    };
    for (const auto& c : cases) {
        fakes::FakeLog log;
        std::vector<WideString> kept;
        DecisionLines lines(log, &kept);
        for (const auto& round : c.rounds) {
            lines.Again();
            for (const char* line : round) lines.Info({line});
        }
        EXPECT_EQ(log.lines, c.written);
        EXPECT_EQ(kept.size(), c.written.size());
    }
}

}  // namespace
}  // namespace qv::testing
