#include "FileProcessor/IntakeFiles_win.h"

#include <windows.h>

#include <random>

#include "FileProcessor/JobRecords.h"
#include "logging/logog.h"
#include "pathutil_win.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

std::wstring WithoutTrailingSeparator(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

std::wstring FolderOf(const std::wstring& path) {
    std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool IsExtractionFolder(const std::wstring& folder) {
    std::wstring name = GetFileNameFromPath(WithoutTrailingSeparator(folder));
    return name.starts_with(ExtractionFolderPrefix);
}

// Unique within the process by the counter, across processes by the process id, and not
// guessable in advance by the random part.
std::wstring NewExtractionFolderName() {
    static unsigned counter = 0;
    static std::random_device randomSource;
    std::wstring randomPart(8, L'0');
    unsigned value = randomSource();
    for (wchar_t& digit : randomPart) {
        digit = L"0123456789abcdef"[value >> 28];
        value <<= 4;
    }
    return ExtractionFolderPrefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) +
           L"-" + randomPart;
}

void DeleteTempFile(const std::wstring& path) {
    if (DeleteFileW(ExtendedLengthPath(path).c_str())) {
        LOGOG_DEBUG("Deleted temp file: %s", LogText(path).c_str());
    } else {
        DWORD error = GetLastError();
        LOGOG_ERROR("Error in DeleteFileW(%s): %s", LogText(path).c_str(), GetLastErrorText(error).c_str());
    }
}

}  // namespace

namespace {

std::wstring EnvironmentVariable(const wchar_t* name) {
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (length < value.size()) {
            value.resize(length);  // zero when the variable is not set
            return value;
        }
        value.resize(length);
    }
}

// The lookup GetTempPathW documents (TMP, TEMP, USERPROFILE, then the Windows folder), for
// systems whose GetTempPathW refuses a folder longer than MAX_PATH instead of reporting the
// size it needs.
std::wstring TempPathFromEnvironment() {
    std::wstring path;
    for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
        std::wstring value = EnvironmentVariable(name);
        if (!value.empty()) {
            path = FullPathName(value);
            break;
        }
    }
    if (path.empty()) {
        wchar_t windows[MAX_PATH + 1] = {};
        UINT length = GetWindowsDirectoryW(windows, MAX_PATH + 1);
        if (length == 0 || length > MAX_PATH) return {};
        path.assign(windows, length);
    }
    if (path.back() != L'\\') path += L'\\';
    return path;
}

}  // namespace

std::wstring GetTempDirectory() {
    // GetTempPathW returns the size it needs (terminator included) when the buffer is too
    // small: grow and ask again rather than give up on long temporary folders.
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
        DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            DWORD error = GetLastError();
            if (error == ERROR_FILENAME_EXCED_RANGE) {
                std::wstring path = TempPathFromEnvironment();
                if (!path.empty()) return path;
            }
            LOGOG_ERROR("Error in GetTempPathW: %s", GetLastErrorText(error).c_str());
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);
    }
}

std::wstring CreateExtractionFolder() {
    std::wstring tempFolder = GetTempDirectory();
    if (tempFolder.empty()) return {};  // logged; bare names would land in the current folder
    constexpr int attempts = 16;
    for (int attempt = 1;; ++attempt) {
        std::wstring folder = tempFolder + NewExtractionFolderName();
        if (CreateDirectoryW(ExtendedLengthPath(folder).c_str(), nullptr)) {
            LOGOG_DEBUG("Created temp folder: %s", LogText(folder).c_str());
            return folder + L"\\";
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS || attempt == attempts) {
            LOGOG_ERROR("Error in CreateDirectoryW(%s): %s", LogText(folder).c_str(), GetLastErrorText(error).c_str());
            return {};
        }
    }
}

namespace {

// The open-file dialog makes the folder of the chosen file current, also when the user picks
// our own extracted copy; a folder that is current cannot be removed (sharing violation).
void LeaveIfCurrent(const std::wstring& folder) {
    std::wstring current = WithoutTrailingSeparator(CurrentFolder());
    bool inside = SamePath(current, folder) ||
                  (current.size() > folder.size() && SamePath(current.substr(0, folder.size()), folder) &&
                   (current[folder.size()] == L'\\' || current[folder.size()] == L'/'));
    if (inside) SetCurrentDirectoryW(ExtendedLengthPath(FolderOf(folder)).c_str());
}

}  // namespace

void RemoveExtractionFolder(const std::wstring& folder) {
    std::wstring path = WithoutTrailingSeparator(folder);
    LeaveIfCurrent(path);
    if (RemoveDirectoryW(ExtendedLengthPath(path).c_str())) {
        LOGOG_DEBUG("Deleted temp folder: %s", LogText(path).c_str());
    } else {
        DWORD error = GetLastError();
        LOGOG_ERROR("Error in RemoveDirectoryW(%s): %s", LogText(path).c_str(), GetLastErrorText(error).c_str());
    }
}

// The shadow file is not recorded anywhere: it is always the spool file's sibling with the
// same base name. The folder is removed only when its name marks it as one of ours, so a
// record pointing elsewhere can never take a user's folder with it.
void DeleteExtractedJob(const std::wstring& splPath) {
    if (splPath.empty()) return;
    DeleteTempFile(splPath);
    DeleteTempFile(RemoveFileExtension(splPath) + ShadowFileExtension);
    std::wstring folder = FolderOf(splPath);
    if (IsExtractionFolder(folder)) RemoveExtractionFolder(folder);
}
