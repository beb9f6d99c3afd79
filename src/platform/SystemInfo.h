#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "common/WideString.h"

namespace qv {

// An address found by GetProcAddress; 0 when absent. Only adapters call through it.
using ProcAddress = uintptr_t;
using ModuleHandle = uintptr_t;

// The process token opened for adjusting privileges; the destructor closes it.
class ProcessToken {
public:
    virtual ~ProcessToken() = default;
    // LookupPrivilegeValueW + AdjustTokenPrivileges(enable); false when either call fails.
    virtual bool EnablePrivilege(const char16_t* name) = 0;
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    // GetCommandLineW split by CommandLineToArgvW, program path first; false when the split fails.
    virtual bool GetCommandLineArguments(std::vector<WideString>& out) = 0;
    virtual bool IsUserAnAdmin() = 0;
    virtual uint16_t GetSystemDefaultUILanguage() = 0;
    virtual uint32_t GetLastError() = 0;
    // GetSystemDirectoryW, without a trailing backslash.
    virtual WideString GetSystemDirectory() = 0;

    virtual ModuleHandle GetModuleHandle(const char16_t* name) = 0;
    virtual ModuleHandle LoadLibrary(const char16_t* name) = 0;
    virtual ProcAddress GetProcAddress(ModuleHandle module, const char* name) = 0;
    // Calls a resolved IsWow64Process for the current process; false when the call fails.
    virtual bool CallIsWow64Process(ProcAddress entry, bool& wow64) = 0;

    // OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY); null on failure.
    virtual std::unique_ptr<ProcessToken> OpenProcessToken() = 0;
    virtual bool ExitWindowsEx(uint32_t flags, uint32_t reason) = 0;
};

}  // namespace qv
