/* Stands in for the product's initialisation tool: records how it was started and exits with
   the code a test asked for (C:\ordo_tool_exit.txt; "hang" to never exit, "crash" to fault). */
#include <stdlib.h>
#include <windows.h>

#include "kitio.h"

static int requested_exit(void) {
    HANDLE h = CreateFileW(L"C:\\ordo_tool_exit.txt", GENERIC_READ, FILE_SHARE_READ, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return 0;
    char text[64] = {0};
    DWORD got = 0;
    ReadFile(h, text, sizeof text - 1, &got, NULL);
    CloseHandle(h);
    if (strncmp(text, "hang", 4) == 0) Sleep(INFINITE);
    if (strncmp(text, "crash", 5) == 0) *(volatile int*)0 = 0;
    return (int)strtoul(text, NULL, 0);
}

int wmain(void) {
    kit_append_line(L"C:\\ordo_tool.log", GetCommandLineW());
    return requested_exit();
}
