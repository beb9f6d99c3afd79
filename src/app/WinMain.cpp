// The process entry: lock the DLL search to the system directory, build the Windows platform,
// then run.
#include "driver/Run.h"
#include "platform/win32/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandTail, int) {
    // Started elevated from folders others can write to: nothing may load from beside us.
    qv::win32::LockDllSearch();
    qv::win32::GuardFaults();

    qv::win32::Win32Installer installer;
    qv::win32::Win32FileSystem files;
    qv::win32::Win32Registry registry;
    qv::win32::Win32Processes processes;
    qv::win32::Win32CertificateStores certificates;
    qv::win32::Win32Ui ui(instance);
    qv::win32::Win32Resources resources(instance);
    qv::win32::Win32SystemInfo system;
    qv::win32::Win32Restarter restarter;
    qv::Platform platform{installer, files,     registry, processes, certificates,
                          ui,        resources, system,   restarter};
    const wchar_t* tail = commandTail ? commandTail : L"";
    return qv::Run(platform, qv::WideString(qv::win32::AsUtf16(tail)));
}
