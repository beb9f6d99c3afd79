/* Small I/O helpers shared by the test programs: UTF-8 out, append-a-line logs. */
#pragma once
#include <windows.h>

static inline int kit_utf8(const wchar_t* text, int length, char* out, int capacity) {
    return WideCharToMultiByte(CP_UTF8, 0, text, length, out, capacity, NULL, NULL);
}

static inline void kit_write_handle(HANDLE h, const wchar_t* text) {
    int length = lstrlenW(text);
    int size = kit_utf8(text, length, NULL, 0);
    char* bytes = (char*)HeapAlloc(GetProcessHeap(), 0, size + 1);
    if (!bytes) return;
    kit_utf8(text, length, bytes, size);
    DWORD written;
    WriteFile(h, bytes, size, &written, NULL);
    HeapFree(GetProcessHeap(), 0, bytes);
}

static inline void kit_out(const wchar_t* text) {
    kit_write_handle(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

/* Appends text plus a newline. Several processes may log at once, hence the retries on a
   sharing violation and FILE_APPEND_DATA, which makes each write land at the end. */
static inline BOOL kit_append_line(const wchar_t* path, const wchar_t* text) {
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 50 && h == INVALID_HANDLE_VALUE; ++attempt) {
        h = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE) Sleep(20);
    }
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    kit_write_handle(h, text);
    kit_write_handle(h, L"\n");
    CloseHandle(h);
    return TRUE;
}
