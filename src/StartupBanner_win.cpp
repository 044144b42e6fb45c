#include "StartupBanner.h"

#include <windows.h>

#include <vector>

#include "logging/logog.h"
#include "textutil.h"
#include "textutil_win.h"

#ifndef TAVREL_BUILD_CONFIGURATION
#define TAVREL_BUILD_CONFIGURATION ""
#endif

namespace {

// The running executable's path; empty, with the error logged, when the system cannot give it.
// The buffer grows past MAX_PATH so a deep folder still gives the whole path.
std::wstring GetExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            DWORD error = GetLastError();
            LOGOG_ERROR("GetModuleFileName failed: %s", GetLastErrorText(error).c_str());
            return {};
        }
        if (length < buffer.size() || buffer.size() >= 32768) return std::wstring(buffer.data(), length);
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

unsigned HighPart(DWORD value) { return HIWORD(value); }
unsigned LowPart(DWORD value) { return LOWORD(value); }

}  // namespace

void LogStartupBanner() {
    std::wstring path = GetExecutablePath();
    if (!path.empty()) LogVersionBanner(path);
}

void LogVersionBanner(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        DWORD error = GetLastError();
        LOGOG_ERROR("GetFileVersionInfoSize failed: %s", GetLastErrorText(error).c_str());
        return;
    }
    std::vector<BYTE> versionData(size, 0);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, versionData.data())) {
        DWORD error = GetLastError();
        LOGOG_ERROR("GetFileVersionInfo failed: %s", GetLastErrorText(error).c_str());
        return;
    }
    // The fixed record must be complete before any field of it is read.
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    BOOL found = VerQueryValueW(versionData.data(), L"\\", reinterpret_cast<void**>(&info), &length);
    if (!found || info == nullptr || length != sizeof(VS_FIXEDFILEINFO)) {
        DWORD error = GetLastError();
        LOGOG_ERROR("VerQueryValue failed: %s", GetLastErrorText(error).c_str());
        return;
    }
    LOGOG_INFO("Tavrel started: version[%u.%u.%u.%u (%u.%u.%u.%u)] compiled[\"%s\" %s %s] file[%s]",
               HighPart(info->dwProductVersionMS), LowPart(info->dwProductVersionMS),
               HighPart(info->dwProductVersionLS), LowPart(info->dwProductVersionLS),
               HighPart(info->dwFileVersionMS), LowPart(info->dwFileVersionMS), HighPart(info->dwFileVersionLS),
               LowPart(info->dwFileVersionLS), TAVREL_BUILD_CONFIGURATION, __DATE__, __TIME__,
               LogText(path).c_str());
}
