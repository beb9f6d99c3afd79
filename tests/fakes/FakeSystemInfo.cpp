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

uint16_t FakeSystemInfo::GetUserDefaultUILanguage() {
    return userUiLanguage;
}
WideString FakeSystemInfo::GetWindowsVersion() {
    return u"10.0.19045";
}
WideString FakeSystemInfo::GetTempFolder() {
    return tempFolder;
}
LocalTime FakeSystemInfo::GetLocalTime() {
    return now;
}
uint32_t FakeSystemInfo::GetTickCount() {
    return ticks += 10;
}
WideString FakeSystemInfo::DescribeError(uint32_t code) {
    return FromUtf8("text of " + std::to_string(code));
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
