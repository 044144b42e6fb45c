#include "textutil.h"

#include <vector>

std::string WideToUtf8(const wchar_t* text) {
    if (text == nullptr) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size < 2) return {};
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size) - 1);
    return result;
}

std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.c_str()); }

namespace {

bool IsControlCharacter(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

void AppendHex(std::wstring& out, unsigned value, int digits) {
    static constexpr wchar_t hex[] = L"0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out.push_back(hex[(value >> shift) & 0xF]);
}

}  // namespace

// Shadow files and archive member names are untrusted: a CR or LF inside a job name would
// otherwise let a file forge whole lines in the log. Ordinary names pass unchanged.
std::wstring EscapeForLog(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (!IsControlCharacter(c)) {
            out.push_back(c);
        } else if (c <= 0xFF) {
            out += L"\\x";
            AppendHex(out, static_cast<unsigned>(c), 2);
        } else {
            out += L"\\u";
            AppendHex(out, static_cast<unsigned>(c), 4);
        }
    }
    return out;
}

std::string LogText(const std::wstring& text) { return WideToUtf8(EscapeForLog(text)); }

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
