// No exception may leave a window procedure or a worker thread: one that would is logged with
// where it happened, and the message counts as handled.
#pragma once

#include <windows.h>

// Log the exception being handled; call them only from a catch block.
void LogUnexpectedException(const char* where) noexcept;
void LogUnexpectedException(const char* window, UINT message) noexcept;

// Runs one message's handling of a dialog procedure under that guard.
template <typename Handler>
INT_PTR GuardDialogMessage(const char* window, UINT message, Handler&& handler) noexcept {
    try {
        return handler();
    } catch (...) {
        LogUnexpectedException(window, message);
        return TRUE;
    }
}
