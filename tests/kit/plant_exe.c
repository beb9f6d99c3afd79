/* Built under the names of programs a process might start by search; leaves a line in
   C:\planted.log when it is the one that got started. */
#include <windows.h>

#include "kitio.h"

int wmain(void) {
    const wchar_t* command = GetCommandLineW();
    wchar_t* line = (wchar_t*)HeapAlloc(GetProcessHeap(), 0,
                                        (MAX_PATH + 32 + lstrlenW(command)) * sizeof(wchar_t));
    if (!line) return 0;
    DWORD n = GetModuleFileNameW(NULL, line, MAX_PATH);
    lstrcpyW(line + n, L" started as: ");
    lstrcatW(line, command);
    kit_append_line(L"C:\\planted.log", line);
    return 0;
}
