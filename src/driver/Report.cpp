#include "driver/Report.h"

#include "apply/InitTool.h"
#include "common/ExitCodes.h"
#include "detect/Certificates.h"
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

// One case a step, each adding its lines to the report, and to the log after "plan: ". It reads
// nothing that Detect has not, but for the certificates, which go to -whatif's stores: as their
// log it takes the warnings and errors only, since what is added the stores' "would add" says.
// Those stores fail no addition, so no line comes with a code.
class Describer final : public Log {
  public:
    Describer(const Facts& facts, const LateFacts& late, CertificateStores& stores,
              std::vector<WideString>& report, Log& log)
        : facts_(facts), late_(late), stores_(stores), report_(report), log_(log) {}

    void Add(Severity severity, const WideString& text, const uint32_t*) override {
        if (severity != Severity::kInfo) Line(text);
    }

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
        PlaceCertificates(stores_, facts_.certificateFiles, *this);
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
    void Add(LogLine line) { Line(Joined(line)); }
    void Line(const WideString& text) {
        report_.push_back(text);
        log_.Info({"plan: ", text});
    }

    const Facts& facts_;
    const LateFacts& late_;
    CertificateStores& stores_;
    std::vector<WideString>& report_;
    Log& log_;
    bool certificates_ = false;
};

}  // namespace

void DescribePlan(const Plan& plan, const Facts& facts, const LateFacts& late,
                  CertificateStores& stores, std::vector<WideString>& report, Log& log) {
    Describer describer(facts, late, stores, report, log);
    for (const Step& step : plan.steps) std::visit(describer, step);
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
    DescribePlan(plan, facts, late, run.platform.certificates, report, run.log);
    report.push_back(Joined({"exit code ", CodeText(exit), ": ", ExitCodeMeaning(exit)}));
    WideString text;
    for (const WideString& line : report) text.Append(line).Append(u"\r\n");
    if (!run.platform.ui.Print(text)) run.voice.SayReport(text);
    return static_cast<int>(exit);
}

}  // namespace qv
