#include "pathutil_win.h"

#include <windows.h>

namespace {

constexpr wchar_t ExtendedPrefix[] = L"\\\\?\\";
// CreateDirectoryW refuses plain paths from MAX_PATH - 12 characters on: room for an 8.3 name.
constexpr std::size_t PlainPathLimit = MAX_PATH - 12;

}  // namespace

std::wstring FullPathName(const std::wstring& path) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);  // the size needed, terminator included
    }
}

std::wstring CurrentFolder() {
    std::wstring folder;
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    while (size > 0) {
        folder.resize(size);
        const DWORD length = GetCurrentDirectoryW(size, folder.data());
        if (length < size) {
            folder.resize(length);
            break;
        }
        size = length;  // the folder changed between the two calls
    }
    return folder;
}

std::wstring ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= 32768) return {};  // no path is longer: the call keeps failing
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ExtendedLengthPath(const std::wstring& path) {
    if (path.size() < PlainPathLimit || path.starts_with(ExtendedPrefix)) return path;
    // The prefix turns off the system's own normalisation: resolve ".", ".." and "/" first.
    std::wstring full = FullPathName(path);
    if (full.empty()) return path;
    if (full.starts_with(ExtendedPrefix) || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return ExtendedPrefix + full;
}

// C:\Spool\00012.SPL and c:\spool\00012.spl are one file: NTFS folds case ordinally, not by
// the user's locale.
bool SamePath(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}
