/* A custom action DLL whose entry point UserExit answers ERROR_INSTALL_USEREXIT, as when the user
   cancels: msiexec stops and returns 1602 like a real cancel. */
#include <windows.h>

__declspec(dllexport) UINT WINAPI UserExit(ULONG install) {
    (void)install;
    return ERROR_INSTALL_USEREXIT;
}
