#include "driver/Report.h"

#include "actions/Certificates.h"
#include "actions/InitTool.h"
#include "ui/Messages.h"

namespace qv {
namespace {

void Add(std::vector<WideString>& lines, LogLine line) {
    lines.push_back(Joined(line));
}

void DescribeRestart(Platform& platform, const Plan& plan, const Facts& facts,
                     std::vector<WideString>& lines) {
    static const char* const kPolicies[] = {
        "not carried out (-noreboot): left to whoever started setup.exe, with exit code 3010",
        "requested at once (-silent)",
        "asked for: ",
        "not carried out: left to whoever started setup.exe, with exit code 3010",
    };
    WideString question;
    if (plan.restart == RestartPolicy::kAsk) {
        LoadMessage(platform.resources, kMsgRebootNow, question);
        question = u"\"" + question + u"\" Yes: restart now; No: no restart";
    }
    Add(lines, {"restart: one that msiexec or the tool asks for is ",
                kPolicies[static_cast<int>(plan.restart)], question});
    if (facts.markerPresent)
        Add(lines, {"restart: one is pending from an earlier run, and is handled the same way"});
}

}  // namespace

std::vector<WideString> DescribePlan(Platform& platform, const Plan& plan, const Facts& facts) {
    std::vector<WideString> lines;
    if (plan.change == Change::kNone) return lines;
    if (plan.change == Change::kRemove) {
        for (size_t i = 0; i < plan.removalCommands.size(); ++i)
            Add(lines, {"remove ", plan.removedProducts[i], ": ", plan.removalCommands[i]});
        Add(lines, {"no cached package patched, no tool run; certificates stay"});
        DescribeRestart(platform, plan, facts, lines);
        return lines;
    }
    const PackageIdentity& package = plan.package;
    if (facts.seal.sealed)
        Add(lines, {"seal: the files below and their cabinets are as sealed, and stay held until "
                    "msiexec is done"});
    Add(lines, {"package: ", package.path, ", ProductCode ", package.productCode, ", version ",
                package.version});
    Add(lines, {"msiexec: ", plan.commandLine});
    if (plan.installedCode.empty()) {
        Add(lines, {"sequence patch: none, no product installed"});
    } else {
        Add(lines, {"sequence patch: the cached package of ", plan.installedCode,
                    " skips KSProcess and KSProcess64 when an upgrade removes it"});
    }
    if (plan.certificates) {
        DescribeCertificates(platform.certificates, facts.certificateFiles, lines);
    } else {
        Add(lines, {"certificates: none added (no -root)"});
    }
    WideString path;
    platform.installer.ComponentPath(package.productCode, kToolComponentCode, path);
    if (path.Folder().empty()) {
        Add(lines, {"tool: ordo_tool.exe /init from the folder of component ", kToolComponentCode,
                    " once ", package.productCode, " is installed"});
    } else {
        Add(lines, {"tool: ", BuildToolCommandLine(path.Folder())});
    }
    DescribeRestart(platform, plan, facts, lines);
    return lines;
}

}  // namespace qv
