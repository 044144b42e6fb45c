#include "textutil.h"

namespace {

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | code >> 6));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | code >> 12));
        out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | code >> 18));
        out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

// As WideCharToMultiByte converts to CP_UTF8 without flags: a surrogate without its partner
// becomes U+FFFD. Where wchar_t is 32 bits wide (off Windows) a unit above U+FFFF is a code
// point of its own.
std::string WideToUtf8(const wchar_t* text) {
    std::string result;
    if (text == nullptr) return result;
    for (const wchar_t* at = text; *at != L'\0'; ++at) {
        char32_t unit = static_cast<char32_t>(*at);
        if (IsHighSurrogate(unit) && IsLowSurrogate(static_cast<char32_t>(at[1]))) {
            AppendUtf8(result, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(at[1]) - 0xDC00));
            ++at;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || unit > 0x10FFFF) {
            AppendUtf8(result, 0xFFFD);
        } else {
            AppendUtf8(result, unit);
        }
    }
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

