// Bridges between the program's UTF-16 strings and the UTF-8 text of its log lines.
#pragma once

#include <windows.h>

#include <string>

// UTF-16 to UTF-8; the input is read up to its first zero character.
std::string WideToUtf8(const std::wstring& text);
std::string WideToUtf8(const wchar_t* text);

// Narrow text in the given code page to UTF-16.
std::wstring MultiByteToWideString(const std::string& text, UINT codePage);

// "<code in decimal>, <system message>" in UTF-8, for log lines.
std::string GetLastErrorText(DWORD errorCode);
