/* The least a bootstrapper can do to learn that its package is already installed at the same
   version: a baseline for the decision's timings. Exits 3 when it is, 0 when not, 1 when it
   cannot tell. With -print it writes what it read, one "name=value" a line, so that both ways
   of reading the package can be compared.

   Built twice: floor.exe reads the package as a database, floor_package.exe opens it as an
   installer session (FLOOR_OPEN_PACKAGE), the way setup.exe does. */
#include <windows.h>
// msi.h and msiquery.h build on the types of windows.h.
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include "kitio.h"

#define EXIT_SAME_VERSION 3
#define EXIT_FAILED 1

typedef UINT(WINAPI* OpenDatabaseFn)(LPCWSTR, LPCWSTR, MSIHANDLE*);
typedef UINT(WINAPI* OpenViewFn)(MSIHANDLE, LPCWSTR, MSIHANDLE*);
typedef UINT(WINAPI* ViewExecuteFn)(MSIHANDLE, MSIHANDLE);
typedef UINT(WINAPI* ViewFetchFn)(MSIHANDLE, MSIHANDLE*);
typedef UINT(WINAPI* RecordGetStringFn)(MSIHANDLE, UINT, LPWSTR, DWORD*);
typedef UINT(WINAPI* OpenPackageExFn)(LPCWSTR, DWORD, MSIHANDLE*);
typedef UINT(WINAPI* GetPropertyFn)(MSIHANDLE, LPCWSTR, LPWSTR, DWORD*);
typedef UINT(WINAPI* CloseFn)(MSIHANDLE);
typedef INSTALLUILEVEL(WINAPI* SetInternalUIFn)(INSTALLUILEVEL, HWND*);
typedef UINT(WINAPI* EnumRelatedFn)(LPCWSTR, DWORD, DWORD, LPWSTR);
typedef INSTALLSTATE(WINAPI* QueryStateFn)(LPCWSTR);
typedef UINT(WINAPI* GetProductInfoFn)(LPCWSTR, LPCWSTR, LPWSTR, DWORD*);
typedef HRESULT(WINAPI* CoInitFn)(LPVOID, DWORD);
typedef void(WINAPI* CoUninitFn)(void);
typedef BOOL(WINAPI* SetDefaultDirsFn)(DWORD);

/* What the decision needs from the package, in this order; ProductName only for -print. */
enum { PRODUCT_CODE, UPGRADE_CODE, PRODUCT_VERSION, PRODUCT_NAME, PROPERTIES };
static const wchar_t* const kNames[PROPERTIES] = {L"ProductCode", L"UpgradeCode", L"ProductVersion",
                                                  L"ProductName"};
#define VALUE_CHARS 256

static FARPROC proc(HMODULE dll, const char* name) {
    FARPROC f = GetProcAddress(dll, name);
    if (!f) ExitProcess(EXIT_FAILED);
    return f;
}

/* <folder of this exe><platform token>.msi, the first match; FALSE when there is none. */
static BOOL find_package(wchar_t* path) {
    DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return FALSE;
    wchar_t* name = path + n;
    while (name > path && name[-1] != L'\\') --name;
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    const wchar_t* pattern = wow64 ? L"*x64*.msi" : L"*win32*.msi";
    if ((name - path) + lstrlenW(pattern) >= MAX_PATH) return FALSE;
    lstrcpyW(name, pattern);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path, &found);
    if (find == INVALID_HANDLE_VALUE) return FALSE;
    FindClose(find);
    if ((name - path) + lstrlenW(found.cFileName) >= MAX_PATH) return FALSE;
    lstrcpyW(name, found.cFileName);
    return TRUE;
}

/* One open of the package; fills the first `count` values. A missing property stays empty. */
static UINT read_package(HMODULE msi, const wchar_t* path, wchar_t values[][VALUE_CHARS],
                         int count) {
    CloseFn close = (CloseFn)proc(msi, "MsiCloseHandle");
    UINT rc;
#ifdef FLOOR_OPEN_PACKAGE
    MSIHANDLE package;
    rc = ((OpenPackageExFn)proc(msi, "MsiOpenPackageExW"))(
        path, MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &package);
    if (rc != ERROR_SUCCESS) return rc;
    GetPropertyFn get = (GetPropertyFn)proc(msi, "MsiGetPropertyW");
    for (int i = 0; i < count && rc == ERROR_SUCCESS; ++i) {
        DWORD size = VALUE_CHARS;
        rc = get(package, kNames[i], values[i], &size);
    }
    close(package);
    return rc;
#else
    MSIHANDLE db, view, record;
    rc = ((OpenDatabaseFn)proc(msi, "MsiOpenDatabaseW"))(path, MSIDBOPEN_READONLY, &db);
    if (rc != ERROR_SUCCESS) return rc;
        /* One view for all of them: each view is a pass over the table. */
#define DECISION_QUERY                                                                 \
    L"SELECT `Property`, `Value` FROM `Property` WHERE `Property` = 'ProductCode' OR " \
    L"`Property` = 'UpgradeCode' OR `Property` = 'ProductVersion'"
    const wchar_t* query =
        count > PRODUCT_NAME ? DECISION_QUERY L" OR `Property` = 'ProductName'" : DECISION_QUERY;
    rc = ((OpenViewFn)proc(msi, "MsiDatabaseOpenViewW"))(db, query, &view);
    if (rc == ERROR_SUCCESS) {
        rc = ((ViewExecuteFn)proc(msi, "MsiViewExecute"))(view, 0);
        ViewFetchFn fetch = (ViewFetchFn)proc(msi, "MsiViewFetch");
        RecordGetStringFn field = (RecordGetStringFn)proc(msi, "MsiRecordGetStringW");
        while (rc == ERROR_SUCCESS && (rc = fetch(view, &record)) == ERROR_SUCCESS) {
            wchar_t name[32];
            DWORD size = ARRAYSIZE(name);
            if (field(record, 1, name, &size) == ERROR_SUCCESS) {
                for (int i = 0; i < count; ++i) {
                    if (lstrcmpW(name, kNames[i]) != 0) continue;
                    size = VALUE_CHARS;
                    rc = field(record, 2, values[i], &size);
                }
            }
            close(record);
        }
        if (rc == ERROR_NO_MORE_ITEMS) rc = ERROR_SUCCESS;
        close(view);
    }
    close(db);
    return rc;
#endif
}

static void print(const wchar_t* name, const wchar_t* value) {
    kit_out(name);
    kit_out(L"=");
    kit_out(value);
    kit_out(L"\n");
}

/* Whether the installed relative of the package is there at the package's own version. */
static BOOL same_version_installed(HMODULE msi, wchar_t values[][VALUE_CHARS], BOOL verbose) {
    wchar_t related[39], installed[VALUE_CHARS] = L"";
    if (((EnumRelatedFn)proc(msi, "MsiEnumRelatedProductsW"))(values[UPGRADE_CODE], 0, 0,
                                                              related) != ERROR_SUCCESS)
        return FALSE;
    INSTALLSTATE state = ((QueryStateFn)proc(msi, "MsiQueryProductStateW"))(related);
    DWORD size = VALUE_CHARS;
    UINT rc = ((GetProductInfoFn)proc(msi, "MsiGetProductInfoW"))(
        related, INSTALLPROPERTY_VERSIONSTRING, installed, &size);
    if (verbose) {
        print(L"Related", related);
        print(L"InstalledVersion", installed);
    }
    /* The installer writes VersionString from ProductVersion as it was: equal text is the
       same version. */
    return state == INSTALLSTATE_DEFAULT && rc == ERROR_SUCCESS &&
           lstrcmpW(installed, values[PRODUCT_VERSION]) == 0;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command, int show) {
    (void)instance, (void)previous, (void)show;
    BOOL verbose = lstrcmpW(command, L"-print") == 0;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    SetDefaultDirsFn lock = (SetDefaultDirsFn)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (!lock || !lock(LOAD_LIBRARY_SEARCH_SYSTEM32)) return EXIT_FAILED;
    HMODULE msi = LoadLibraryExW(L"msi.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    /* msi.dll imports ole32: this load only takes a reference. */
    HMODULE ole = LoadLibraryExW(L"ole32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!msi || !ole) return EXIT_FAILED;
    ((SetInternalUIFn)proc(msi, "MsiSetInternalUI"))(INSTALLUILEVEL_NONE, NULL);
    HRESULT com = ((CoInitFn)proc(ole, "CoInitializeEx"))(NULL, COINIT_APARTMENTTHREADED);

    int code = EXIT_FAILED;
    wchar_t path[MAX_PATH], values[PROPERTIES][VALUE_CHARS] = {{0}};
    if (find_package(path) &&
        read_package(msi, path, values, verbose ? PROPERTIES : PRODUCT_NAME) == ERROR_SUCCESS &&
        values[UPGRADE_CODE][0] && values[PRODUCT_CODE][0]) {
        if (verbose)
            for (int i = 0; i < PROPERTIES; ++i) print(kNames[i], values[i]);
        code = same_version_installed(msi, values, verbose) ? EXIT_SAME_VERSION : 0;
    }
    if (SUCCEEDED(com)) ((CoUninitFn)proc(ole, "CoUninitialize"))();
    return code;
}
