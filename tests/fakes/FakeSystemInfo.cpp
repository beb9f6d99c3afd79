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

bool FakeSystemInfo::IsInteractiveSession() {
    return interactive;
}

uint32_t FakeSystemInfo::InitiateSystemShutdown(uint32_t reason) {
    log.Add("InitiateSystemShutdown " + Hex(reason));
    shutdownRequests.push_back(reason);
    if (shutdownAnswers.empty()) return 0;
    uint32_t answer = shutdownAnswers.front();
    shutdownAnswers.pop_front();
    return answer;
}

void FakeSystemInfo::Sleep(uint32_t milliseconds) {
    sleeps.push_back(milliseconds);
}

bool FakeSystemInfo::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    log.Add("ExitWindowsEx " + Hex(flags) + " " + Hex(reason));
    exitWindowsRequests.emplace_back(flags, reason);
    return exitWindowsSucceeds;
}

}  // namespace qv::fakes
