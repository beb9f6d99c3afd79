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

static int usage(void) {
    line(
        L"usage: msiquery state {P} | info {P} <property> | related {U} | products"
        L" | sourcename {P} | component {P} {C}");
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
    return usage();
}
