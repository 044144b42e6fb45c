#include "textutil_win.h"

#include "textutil.h"

std::wstring MultiByteToWideString(const std::string& text, UINT codePage) {
    int size = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (size < 2) return {};
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, result.data(), size);
    result.resize(static_cast<size_t>(size) - 1);
    return result;
}

std::string GetLastErrorText(DWORD errorCode) {
    std::wstring text = std::to_wstring(errorCode) + L", ";
    // Maximum-width mask 255: the system text comes back as one line.
    constexpr DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    wchar_t message[1024] = {};
    DWORD length = FormatMessageW(flags, nullptr, errorCode, 0x400, message, 1024, nullptr);
    text.append(message, length);
    return WideToUtf8(text);
}
