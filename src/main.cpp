#include <windows.h>

#include "logging/TavrelLog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (!InitializeLogging()) return -1;
    LOGOG_INFO("Programm finished.");
    return 0;
}
