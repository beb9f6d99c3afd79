#include "fakes/Fakes.h"

namespace qv::fakes {

WideString FakeSystemInfo::GetCommandLine() {
    return commandLine;
}

bool FakeSystemInfo::IsUserAnAdmin() {
    return admin;
}
uint16_t FakeSystemInfo::GetSystemDefaultUILanguage() {
    return systemUiLanguage;
}
WideString FakeSystemInfo::GetSystemDirectory() {
    return systemDirectory;
}
bool FakeSystemInfo::IsWow64() {
    return wow64;
}

bool FakeSystemInfo::EnableShutdownPrivilege() {
    log.Add("EnableShutdownPrivilege");
    return token == TokenScript::kGranted;
}

bool FakeSystemInfo::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    log.Add("ExitWindowsEx " + Hex(flags) + " " + Hex(reason));
    exitWindowsRequests.emplace_back(flags, reason);
    return exitWindowsSucceeds;
}

}  // namespace qv::fakes
