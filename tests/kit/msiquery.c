/* Asks the installer what it knows, for tests running outside the prefix. Prints the values one
   per line (UTF-8); on an installer error prints "error <code>" and exits 1. */
#include <windows.h>
// msi.h builds on the types of windows.h.
#include <msi.h>

#include "kitio.h"

static void line(const wchar_t* text) {
    kit_out(text);
    kit_out(L"\n");
}

static int number(long value) {
    wchar_t text[16];
    wsprintfW(text, L"%ld", value);
    line(text);
    return 0;
}

static int failed(UINT code) {
    wchar_t text[32];
    wsprintfW(text, L"error %u", code);
    line(text);
    return 1;
}

static int product_info(const wchar_t* product, const wchar_t* property) {
    wchar_t value[1024];
    DWORD size = ARRAYSIZE(value);
    UINT rc = MsiGetProductInfoW(product, property, value, &size);
    if (rc != ERROR_SUCCESS) return failed(rc);
    line(value);
    return 0;
}

static int related(const wchar_t* upgrade_code) {
    wchar_t product[39];
    UINT rc;
    for (DWORD i = 0; (rc = MsiEnumRelatedProductsW(upgrade_code, 0, i, product)) == 0; ++i)
        line(product);
    return rc == ERROR_NO_MORE_ITEMS ? 0 : failed(rc);
}

static int products(void) {
    wchar_t product[39];
    UINT rc;
    for (DWORD i = 0; (rc = MsiEnumProductsW(i, product)) == 0; ++i) line(product);
    return rc == ERROR_NO_MORE_ITEMS ? 0 : failed(rc);
}

static int source_name(const wchar_t* product) {
    wchar_t value[MAX_PATH];
    DWORD size = ARRAYSIZE(value);
    UINT rc = MsiSourceListGetInfoW(product, NULL, MSIINSTALLCONTEXT_MACHINE, MSICODE_PRODUCT,
                                    L"PackageName", value, &size);
    if (rc != ERROR_SUCCESS) return failed(rc);
    line(value);
    return 0;
}

static int component(const wchar_t* product, const wchar_t* component_code) {
    wchar_t path[1024] = L"";
    DWORD size = ARRAYSIZE(path);
    number(MsiGetComponentPathW(product, component_code, path, &size));
    line(path);
    return 0;
}

static void registry_key(const wchar_t* path) {
    HKEY root = path[2] == L'C' ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY key;
    if (RegOpenKeyExW(root, path + 5, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    wchar_t text[1100], name[256];
    BYTE data[256];
    wsprintfW(text, L"key %s\n", path);
    kit_out(text);
    for (DWORD i = 0, size = ARRAYSIZE(name); !RegEnumKeyExW(key, i, name, &size, 0, 0, 0, 0);
         ++i, size = ARRAYSIZE(name)) {
        wsprintfW(text, L"sub %s\n", name);
        kit_out(text);
    }
    DWORD size = ARRAYSIZE(name), bytes = sizeof data, type;
    for (DWORD i = 0; !RegEnumValueW(key, i, name, &size, 0, &type, data, &bytes); ++i) {
        int at = wsprintfW(text, L"val %s %lu ", name, type);
        for (DWORD b = 0; b < bytes && at < 1000; ++b) at += wsprintfW(text + at, L"%02x", data[b]);
        line(text);
        size = ARRAYSIZE(name), bytes = sizeof data;
    }
    RegCloseKey(key);
}

/* What a run may change, in one process: each related product with its version and source
   list's package, then each registry key (HKLM\... or HKCU\...) with its subkeys and values. */
static int snapshot(int count, wchar_t** args) {
    wchar_t product[39], text[1200], version[64], package[MAX_PATH + 1];
    for (DWORD i = 0; !MsiEnumRelatedProductsW(args[0], 0, i, product); ++i) {
        DWORD size = ARRAYSIZE(version);
        if (MsiGetProductInfoW(product, L"VersionString", version, &size)) version[0] = 0;
        size = ARRAYSIZE(package);
        if (MsiSourceListGetInfoW(product, NULL, MSIINSTALLCONTEXT_MACHINE, MSICODE_PRODUCT,
                                  L"PackageName", package, &size))
            package[0] = 0;
        wsprintfW(text, L"product %s %s %s", product, version, package);
        line(text);
    }
    for (int i = 1; i < count; ++i) registry_key(args[i]);
    return 0;
}

static int usage(void) {
    line(
        L"usage: msiquery state {P} | info {P} <property> | related {U} | products"
        L" | sourcename {P} | component {P} {C} | snapshot {U} [HKLM\\key | HKCU\\key]...");
    return 2;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return usage();
    const wchar_t* verb = argv[1];
    if (argc == 3 && !lstrcmpW(verb, L"state")) return number(MsiQueryProductStateW(argv[2]));
    if (argc == 4 && !lstrcmpW(verb, L"info")) return product_info(argv[2], argv[3]);
    if (argc == 3 && !lstrcmpW(verb, L"related")) return related(argv[2]);
    if (argc == 2 && !lstrcmpW(verb, L"products")) return products();
    if (argc == 3 && !lstrcmpW(verb, L"sourcename")) return source_name(argv[2]);
    if (argc == 4 && !lstrcmpW(verb, L"component")) return component(argv[2], argv[3]);
    if (argc >= 3 && !lstrcmpW(verb, L"snapshot")) return snapshot(argc - 2, argv + 2);
    return usage();
}
