/* The cheapest GUI program: a baseline for start-up timings. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command, int show) {
    (void)instance, (void)previous, (void)command, (void)show;
    return 0;
}
