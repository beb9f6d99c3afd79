// The command-line splitter and the option parser, on whole command lines as a deployment
// script would write them.
#include <gtest/gtest.h>

#include "FuzzInput.h"
#include "common/ResultCodes.h"
#include "driver/ParseOptions.h"
#include "driver/Run.h"
#include "fakes/Fakes.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    GTEST_FLAG_SET(throw_on_failure, true);  // misuse of a fake ends the run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qv;
    // A process's command line ends at its first null.
    std::u16string units = fuzz::Units(data, size);
    WideString line(units.substr(0, units.find(u'\0')));
    std::vector<WideString> argv = SplitCommandLine(line);

    InstallOptions options;
    ParseOutcome outcome = ParseArguments(argv, options);
    FUZZ_CHECK(outcome == ParseOutcome::kParsed || outcome == ParseOutcome::kHelp ||
               outcome == ParseOutcome::kUnrecognised);
    FUZZ_CHECK(options.badValue.empty() || outcome == ParseOutcome::kUnrecognised);
    FUZZ_CHECK(options.args.empty() || options.args[options.args.size() - 1] == u' ');
    for (int flag : {options.silent, options.root, options.noreboot, options.reinstall})
        FUZZ_CHECK(flag == 0 || flag == 1);

    // The whole run agrees with the parser, in a folder without packages: the usage, the bad
    // command line, or no package (2); one box at the most, none when silent; always a log.
    fakes::FakePlatform fake;
    fake.files.folders[u"C:\\KIT"];
    fake.system.commandLine = line;
    Platform platform = fake.platform();
    int exit = Run(platform, WideString(u"tail"));
    switch (outcome) {
        case ParseOutcome::kParsed:
            FUZZ_CHECK(exit == static_cast<int>(kErrorFileNotFound));
            break;
        case ParseOutcome::kHelp:
            FUZZ_CHECK(exit == 0);
            break;
        case ParseOutcome::kUnrecognised:
            FUZZ_CHECK(exit == static_cast<int>(kExitBadCommandLine));
            break;
    }
    FUZZ_CHECK(fake.ui.boxes.size() == (options.silent ? 0u : 1u));
    FUZZ_CHECK(fake.files.logs.size() == 1);
    FUZZ_CHECK(fake.processes.commandLines.empty());
    return 0;
}
