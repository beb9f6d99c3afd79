// setup.exe is built without C++ exceptions: allocation and the few library checks that would
// throw end the process instead, with a Windows result code as its exit code. Keeping the
// exception machinery out of the program is most of what keeps it small.
#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/win32/SystemApis.h"

namespace qv {
[[noreturn]] void RaiseFatalError(ExitCode code) {
    ::ExitProcess(code);
}
namespace win32 {
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
