// The Win32 side of the text helpers: other code pages and the system's error texts.
#pragma once

#include <windows.h>

#include <string>

// Narrow text in the given code page to UTF-16.
std::wstring MultiByteToWideString(const std::string& text, UINT codePage);

// "<code in decimal>, <system message>" in UTF-8, for log lines.
std::string GetLastErrorText(DWORD errorCode);
