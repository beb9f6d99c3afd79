// setup.exe is built without C++ exceptions: allocation and the few library checks that would
// throw end the process instead, with a Windows result code as its exit code. Keeping the
// exception machinery out of the program is most of what keeps it small.
#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/win32/SystemApis.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qv {
[[noreturn]] void RaiseFatalError(ExitCode code) {
    ::ExitProcess(code);
}
namespace win32 {
namespace {

using Terminate = BOOL(WINAPI*)(HANDLE, UINT);
Terminate g_terminate;

void PutHex(char* at, uint32_t value) {
    for (int i = 7; i >= 0; --i, value >>= 4) {
        char digit = static_cast<char>(value & 15);
        at[i] = static_cast<char>(digit < 10 ? '0' + digit : 'A' - 10 + digit);
    }
}

// Allocates nothing and takes no lock the faulting thread may hold: the heap may be what broke.
LONG WINAPI OnFault(EXCEPTION_POINTERS* fault) {
    static char line[] = "error: internal fault 0x00000000 at setup.exe+0x00000000\r\n";
    uint32_t code = fault->ExceptionRecord->ExceptionCode;
    uintptr_t base = reinterpret_cast<uintptr_t>(&__ImageBase);
    uintptr_t at = reinterpret_cast<uintptr_t>(fault->ExceptionRecord->ExceptionAddress);
    auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
    PutHex(line + 24, code);
    DWORD size = 58;
    if (at - base < headers->OptionalHeader.SizeOfImage) {
        PutHex(line + 48, at - base);
    } else {  // outside the program: the address itself
        line[36] = '0', line[37] = 'x';
        PutHex(line + 38, at);
        line[46] = '\r', line[47] = '\n';
        size = 48;
    }
    DWORD written;
    if (g_faultLog) ::WriteFile(g_faultLog, line, size, &written, nullptr);
    // The table lists the faults a program like this meets, each "internal fault" (one literal
    // there); any other ends as 0xC0000144.
    if (ExitCodeMeaning(code) != ExitCodeMeaning(kExitUnhandledException))
        code = kExitUnhandledException;
    // Not ExitProcess: DLLs detaching could wait on a lock the faulting thread holds. Without
    // it, Windows ends the process with the exception's own code.
    if (g_terminate) g_terminate(::GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void GuardFaults() {
    // Looked up, not imported: kernel32 has them since Windows 95, and the import table of a
    // program this size grows by whole pages.
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    if (auto setMode = OptionalFunction<UINT(WINAPI*)(UINT)>(kernel, "SetErrorMode"))
        setMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    g_terminate = OptionalFunction<Terminate>(kernel, "TerminateProcess");
    ::SetUnhandledExceptionFilter(OnFault);
}

void MissingSystemDll() {
    ::ExitProcess(kExitSystemDllMissing);
}
void MissingSystemFunction() {
    ::ExitProcess(kExitSystemFunctionMissing);
}
}  // namespace win32
}  // namespace qv

void* operator new(size_t size) {
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) qv::RaiseFatalError(qv::kExitOutOfMemory);
    return p;
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

// The library's own throw points, reached only through the string and vector templates.
namespace std {
void __throw_length_error(const char*) {
    qv::RaiseFatalError(qv::kExitOutOfMemory);
}
void __throw_bad_alloc() {
    qv::RaiseFatalError(qv::kExitOutOfMemory);
}
void __throw_bad_array_new_length() {
    qv::RaiseFatalError(qv::kExitOutOfMemory);
}
void __throw_logic_error(const char*) {
    qv::RaiseFatalError(qv::kExitInvalidArgument);
}
void __throw_out_of_range(const char*) {
    qv::RaiseFatalError(qv::kExitInvalidArgument);
}
void __throw_out_of_range_fmt(const char*, ...) {
    qv::RaiseFatalError(qv::kExitInvalidArgument);
}
}  // namespace std
