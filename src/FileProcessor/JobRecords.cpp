#include "FileProcessor/JobRecords.h"

#include <array>
#include <cwchar>

std::wstring GetFileExtension(const std::wstring& path) {
    std::size_t dot = path.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : path.substr(dot);
}

std::wstring RemoveFileExtension(const std::wstring& path) {
    std::size_t dot = path.rfind(L'.');
    return dot == std::wstring::npos ? path : path.substr(0, dot);
}

std::wstring GetFileNameFromPath(const std::wstring& path) {
    std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos || separator + 1 == path.size()) return path;
    return path.substr(separator + 1);
}

std::wstring ToUpperAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

bool IsArchivePath(const std::wstring& path) {
    return ToUpperAscii(GetFileExtension(path)) == ArchiveFileExtension;
}

namespace {

// Names that Windows maps to devices whatever folder and extension they carry.
bool IsDeviceName(const std::wstring& name) {
    std::wstring base = ToUpperAscii(name.substr(0, name.find(L'.')));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    static constexpr std::array<const wchar_t*, 6> fixed = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : fixed) {
        if (base == device) return true;
    }
    if (base.size() != 4) return false;
    std::wstring stem = base.substr(0, 3);
    wchar_t digit = base[3];
    bool isPortDigit = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
                       digit == L'\u00B3';
    return (stem == L"COM" || stem == L"LPT") && isPortDigit;
}

}  // namespace

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name) {
        if (c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c) != nullptr) return false;
    }
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !IsDeviceName(name);
}
