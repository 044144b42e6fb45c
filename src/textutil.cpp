#include "textutil.h"

#include <utility>

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

namespace {

// The code point of the UTF-8 sequence at text[at], and its length; U+FFFD for one byte
// that starts no valid sequence.
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return {0xFFFD, 1};
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {0xFFFD, 1};
        code = code << 6 | (byte(at + i) & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {0xFFFD, 1};
    return {code, length};
}

}  // namespace

std::string EscapeLogLine(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const auto [code, length] = DecodeUtf8(utf8, at);
        at += length;
        if (code <= 0xFFFF && IsControlCharacter(static_cast<wchar_t>(code))) {
            std::wstring escaped = EscapeForLog(std::wstring(1, static_cast<wchar_t>(code)));
            out.append(escaped.begin(), escaped.end());
        } else {
            AppendUtf8(out, code);
        }
    }
    return out;
}

