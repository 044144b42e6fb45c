// Test helper: paths compared without case, as the file system compares names (for the ASCII
// names of the core's tests, which run off Windows too).
#pragma once

#include <algorithm>
#include <cwctype>
#include <string>

inline bool SamePathIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return std::towupper(x) == std::towupper(y); });
}
