#include "Visualisation/DialogGuard_win.h"

#include <exception>

#include "logging/logog.h"

void LogUnexpectedException(const char* where) noexcept {
    try {
        throw;
    } catch (const std::exception& failure) {
        LOGOG_ERROR("Unexpected exception in %s: %s", where, failure.what());
    } catch (...) {
        LOGOG_ERROR("Unexpected exception in %s", where);
    }
}

void LogUnexpectedException(const char* window, UINT message) noexcept {
    try {
        throw;
    } catch (const std::exception& failure) {
        LOGOG_ERROR("Unexpected exception in %s (message 0x%x): %s", window, message, failure.what());
    } catch (...) {
        LOGOG_ERROR("Unexpected exception in %s (message 0x%x)", window, message);
    }
}
