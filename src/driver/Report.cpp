#include "driver/Report.h"

#include "apply/InitTool.h"
#include "common/ExitCodes.h"
#include "ui/Messages.h"

namespace qv {
namespace {

// -whatif asks nobody: it names what a person would be asked, then plans as where nobody can
// answer.
WideString UnaskedLine(RunContext& run, MessageId message, const WideString& product) {
    WideString text = MessageText(run.platform.resources, message, product);
    if (message != kMsgSameVersionReinstall && message != kMsgRemove)
        return Joined({"would show: ", text});
    return Joined({"would ask: \"", text,
                   message == kMsgRemove
                       ? "\" Yes: remove it; No: nothing removed, exit code 1602"
                       : "\" Yes: reinstall it; No: msiexec with its own dialogs (/qf)",
                   "; planned as where nobody answers"});
}

// One case a step, each adding its lines; it reads nothing that Detect has not.
class Describer {
  public:
    Describer(const Facts& facts, const LateFacts& late, std::vector<WideString>& lines)
        : facts_(facts), late_(late), lines_(lines) {}

    void operator()(const PatchCachedPackage& step) {
        if (step.installedCode.empty()) {
            Add({"sequence patch: none, no product installed"});
        } else {
            Add({"sequence patch: the cached package of ", step.installedCode,
                 " skips KSProcess and KSProcess64 when an upgrade removes it"});
        }
    }
    void operator()(const InstallPackage& step) {
        const PackageIdentity& package = step.package;
        if (facts_.seal.sealed)
            Add(
                {"seal: the files below and their cabinets are as sealed, and stay held until "
                 "msiexec is done"});
        Add({"package: ", package.path, ", ProductCode ", package.productCode, ", version ",
             package.version});
        Add({"msiexec: ", step.commandLine});
    }
    // The decision's warning tells of it.
    void operator()(const CheckOneProduct&) {}
    void operator()(const AddCertificates&) {
        lines_.insert(lines_.end(), facts_.certificatePlaces.begin(),
                      facts_.certificatePlaces.end());
        certificates_ = true;
    }
    void operator()(const RunTool& step) {
        // Without -root the plan has no certificate step; said where it would have been.
        if (!certificates_) Add({"certificates: none added (no -root)"});
        const WideString folder = late_.toolFolder.Folder();
        if (folder.empty()) {
            Add({"tool: ordo_tool.exe /init from the folder of component ", kToolComponentCode,
                 " once ", step.productCode, " is installed"});
        } else {
            Add({"tool: ", BuildToolCommandLine(folder)});
        }
    }
    void operator()(const Remove& step) {
        for (size_t i = 0; i < step.commandLines.size(); ++i)
            Add({"remove ", step.products[i], ": ", step.commandLines[i]});
        Add({"no cached package patched, no tool run; certificates stay"});
    }
    void operator()(const Restart& step) {
        // A plan asks nobody: never kAsk.
        static const char* const kPolicies[] = {
            "not carried out (-noreboot): left to whoever started setup.exe, with exit code 3010",
            "requested at once (-silent): exit code 1641",
            "asked for",
            "not carried out: left to whoever started setup.exe, with exit code 3010",
        };
        Add({"restart: one that msiexec or the tool asks for is ",
             kPolicies[static_cast<int>(step.policy)]});
        if (facts_.markerPresent)
            Add({"restart: one is pending from an earlier run, and is handled the same way"});
    }

  private:
    void Add(LogLine line) { lines_.push_back(Joined(line)); }

    const Facts& facts_;
    const LateFacts& late_;
    std::vector<WideString>& lines_;
    bool certificates_ = false;
};

}  // namespace

std::vector<WideString> DescribePlan(const Plan& plan, const Facts& facts, const LateFacts& late) {
    std::vector<WideString> lines;
    Describer describer(facts, late, lines);
    for (const Step& step : plan.steps) std::visit(describer, step);
    return lines;
}

// Its decision and exit code are those of the same command line where nobody sees a window, as
// a deployment tool runs it.
int ReportPlan(RunContext& run, const Facts& facts, const LateFacts& late, const Plan& plan,
               std::vector<WideString>& report) {
    uint32_t exit = RunExitCode(plan, Succeeded(plan, facts.markerPresent));
    for (int message = kMsgNotAdmin; message <= kMsgLast; ++message)
        if (plan.unasked & NoticeBit(static_cast<MessageId>(message)))
            report.push_back(
                UnaskedLine(run, static_cast<MessageId>(message), facts.platformPackage.name));
    if (plan.change == Change::kNone && plan.message != kNoMessage) {
        report.push_back(Joined({"would show: ", MessageText(run.platform.resources, plan.message,
                                                             plan.messageValue)}));
    }
    for (const WideString& line : DescribePlan(plan, facts, late)) {
        run.log.Info({"plan: ", line});
        report.push_back(line);
    }
    report.push_back(Joined({"exit code ", CodeText(exit), ": ", ExitCodeMeaning(exit)}));
    WideString text;
    for (const WideString& line : report) text.Append(line).Append(u"\r\n");
    if (!run.platform.ui.Print(text)) run.voice.SayReport(text);
    return static_cast<int>(exit);
}

}  // namespace qv
