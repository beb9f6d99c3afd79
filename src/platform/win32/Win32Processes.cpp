// Child processes, and the lock that keeps one run at a time.

#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

// Waits for `object` at most `limit` ms. This thread owns windows (its boxes', COM's): a message
// sent to them meanwhile must be answered, or whoever sent it waits on us as we wait on them.
DWORD WaitAnswering(HANDLE object, DWORD limit) {
    DWORD start = ::GetTickCount();
    for (;;) {
        DWORD spent = ::GetTickCount() - start;
        DWORD left = limit == INFINITE ? INFINITE : spent < limit ? limit - spent : 0;
        // MWMO_INPUTAVAILABLE: messages already in the queue wake it too, not only new ones.
        DWORD woken = user32().MsgWaitForMultipleObjectsEx(1, &object, left, QS_ALLINPUT,
                                                           MWMO_INPUTAVAILABLE);
        if (woken != WAIT_OBJECT_0 + 1)
            return woken == WAIT_FAILED ? ::WaitForSingleObject(object, left) : woken;
        MSG message;
        while (user32().PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            user32().TranslateMessage(&message);
            user32().DispatchMessageW(&message);
        }
    }
}

// Its id and the low half of its start time; the id alone is used again once it has gone.
uint64_t IdentityOf(HANDLE process, DWORD id) {
    FILETIME times[4] = {};
    ::GetProcessTimes(process, &times[0], &times[1], &times[2], &times[3]);
    return uint64_t{id} << 32 | times[0].dwLowDateTime;
}

class Win32ChildProcess : public ChildProcess {
  public:
    explicit Win32ChildProcess(const PROCESS_INFORMATION& info)
        : process_(info.hProcess), thread_(info.hThread), id_(info.dwProcessId) {}
    bool WaitForExit(uint32_t milliseconds) override {
        return WaitAnswering(process_.get(), milliseconds) == WAIT_OBJECT_0;
    }
    void Terminate() override {
        ::TerminateProcess(process_.get(), ERROR_TIMEOUT);
        ::WaitForSingleObject(process_.get(), 5000);
    }
    bool ExitCode(uint32_t& code) override {
        DWORD c = 0;
        if (!::GetExitCodeProcess(process_.get(), &c)) return false;
        code = c;
        return true;
    }
    uint64_t Identity() override { return IdentityOf(process_.get(), id_); }

  private:
    UniqueHandle process_;
    UniqueHandle thread_;
    DWORD id_;
};

class Win32InstanceLock : public InstanceLock {
  public:
    explicit Win32InstanceLock(HANDLE mutex) : mutex_(mutex) {}

  private:
    UniqueHandle mutex_;  // the lock is the named object's life
};

using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSidToBoundary = BOOL(WINAPI*)(HANDLE*, PSID);
using DeleteBoundary = VOID(WINAPI*)(HANDLE);
using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
using ClosePrivate = BOOLEAN(WINAPI*)(HANDLE, ULONG);

// kernel32's private namespaces. Windows before Vista has none; any of them may be missing.
struct Namespaces {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    CreateBoundary createBoundary =
        OptionalFunction<CreateBoundary>(kernel, "CreateBoundaryDescriptorW");
    AddSidToBoundary addSid =
        OptionalFunction<AddSidToBoundary>(kernel, "AddSIDToBoundaryDescriptor");
    DeleteBoundary deleteBoundary =
        OptionalFunction<DeleteBoundary>(kernel, "DeleteBoundaryDescriptor");
    CreateNamespace create = OptionalFunction<CreateNamespace>(kernel, "CreatePrivateNamespaceW");
    OpenNamespace open = OptionalFunction<OpenNamespace>(kernel, "OpenPrivateNamespaceW");
    ClosePrivate close = OptionalFunction<ClosePrivate>(kernel, "ClosePrivateNamespace");
};

Namespaces& namespaces() {
    return SystemApi<Namespaces>();
}

void FreeBoundary(HANDLE boundary) {
    namespaces().deleteBoundary(boundary);
}
using UniqueBoundary = UniqueAny<NullTraits<HANDLE, decltype(&FreeBoundary), &FreeBoundary>>;

// Closed, not destroyed: another run may be opening it.
void LeaveNamespace(HANDLE space) {
    if (namespaces().close) namespaces().close(space, 0);
}
using UniqueNamespace = UniqueAny<NullTraits<HANDLE, decltype(&LeaveNamespace), &LeaveNamespace>>;

class Win32LockNamespace : public LockNamespace {
  public:
    explicit Win32LockNamespace(HANDLE space) : space_(space) {}

  private:
    UniqueNamespace space_;
};

const wchar_t kNamespace[] = L"QuorvaneCspSetup";

// The namespace bound to the Administrators group: created with `security`, or opened where
// that is null. Where Windows has no private namespaces (before Vista; Wine's boundary
// descriptors are NULL and adding a SID to one ends the process) nothing more is called.
std::unique_ptr<LockNamespace> BoundNamespace(const char16_t* security, uint32_t& error) {
    Namespaces& api = namespaces();
    UniqueBoundary boundary(api.createBoundary && api.addSid && api.deleteBoundary
                                ? api.createBoundary(kNamespace, 0)
                                : nullptr);
    if (!boundary) {
        error = ERROR_NOT_SUPPORTED;
        return nullptr;
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    if (!advapi32().AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                             DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                             administrators.put())) {
        error = ::GetLastError();
        return nullptr;
    }
    // Adding may move the descriptor: the holder takes back the handle it answers.
    HANDLE moved = boundary.release();
    BOOL added = api.addSid(&moved, administrators.get());
    boundary.reset(moved);
    if (!added) {
        error = ::GetLastError();
        return nullptr;
    }
    HANDLE space = nullptr;
    UniqueLocal descriptor;
    if (security == nullptr) {
        space = api.open ? api.open(boundary.get(), kNamespace) : nullptr;
    } else {
        if (!ReadSecurity(security, descriptor, error)) return nullptr;
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
        space = api.create ? api.create(&attributes, boundary.get(), kNamespace) : nullptr;
    }
    if (!space) {
        error = ::GetLastError();  // creating, "already exists": open it instead
        return nullptr;
    }
    error = ERROR_SUCCESS;
    return std::make_unique<Win32LockNamespace>(space);
}

}  // namespace

std::unique_ptr<ChildProcess> Win32Processes::Start(const WideString& commandLine,
                                                    uint32_t& error) {
    std::u16string writable = commandLine.str();  // CreateProcessW may write into it
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // The error mode is setup.exe's own: msiexec and the tool keep Windows' boxes.
    if (!::CreateProcessW(nullptr, AsWide(&writable[0]), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW | CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup,
                          &info)) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32ChildProcess>(info);
}

std::unique_ptr<LockNamespace> Win32Processes::CreateLockNamespace(const char16_t* security,
                                                                   uint32_t& error) {
    return BoundNamespace(security, error);
}

std::unique_ptr<LockNamespace> Win32Processes::OpenLockNamespace(uint32_t& error) {
    return BoundNamespace(nullptr, error);
}

uint32_t Win32Processes::LockHeld(const char16_t* name) {
    UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, AsWide(name)));
    DWORD error = mutex ? ERROR_ALREADY_EXISTS : ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

std::unique_ptr<InstanceLock> Win32Processes::LockInstance(const char16_t* name,
                                                           const char16_t* security,
                                                           uint32_t& error) {
    UniqueLocal descriptor;
    if (!ReadSecurity(security, descriptor, error)) return nullptr;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    ::SetLastError(ERROR_SUCCESS);
    HANDLE mutex = ::CreateMutexExW(&attributes, AsWide(name), 0, SYNCHRONIZE);
    error = ::GetLastError();
    if (mutex == nullptr) return nullptr;
    auto lock = std::make_unique<Win32InstanceLock>(mutex);
    if (error == ERROR_ALREADY_EXISTS) return nullptr;  // another's; ours closes with `lock`
    return lock;
}

bool Win32Processes::WaitForInstallation(uint64_t identity, uint32_t milliseconds) {
    // Windows' installer holds it while it changes the machine, whoever started it (Wine's has
    // none); taken only to see it free, and let go at once.
    UniqueHandle busy(
        ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"Global\\_MSIExecute"));
    if (busy) {
        DWORD woken = WaitAnswering(busy.get(), milliseconds);
        if (woken == WAIT_TIMEOUT) return false;
        if (woken != WAIT_FAILED) ::ReleaseMutex(busy.get());
    }
    DWORD id = static_cast<DWORD>(identity >> 32);
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    return !process || IdentityOf(process.get(), id) != identity ||
           WaitAnswering(process.get(), milliseconds) != WAIT_TIMEOUT;
}

}  // namespace qv::win32
