/* Built under the names of DLLs a program might load from its own folder; any process that
   loads it leaves a line in C:\planted.log. */
#include <windows.h>

#include "kitio.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t line[2 * MAX_PATH + 16];
        DWORD n = GetModuleFileNameW(self, line, MAX_PATH);
        lstrcpyW(line + n, L" loaded by ");
        GetModuleFileNameW(NULL, line + lstrlenW(line), MAX_PATH);
        kit_append_line(L"C:\\planted.log", line);
    }
    return TRUE;
}
