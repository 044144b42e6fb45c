// Paths as Windows handles them: the extended-length form for the file APIs, and the
// comparison that tells whether two spellings name the same file.
#pragma once

#include <string>

// The absolute form of a path, whatever its length; empty on failure.
std::wstring FullPathName(const std::wstring& path);

// The process's current folder in full, whatever its length; empty on failure.
std::wstring CurrentFolder();

// The running program's own path, whatever its length; empty on failure (GetLastError says why).
std::wstring ExecutablePath();

// The path to hand to a file API: unchanged when short, otherwise made absolute and given
// the \\?\ (or \\?\UNC\) prefix so that paths beyond 260 characters are neither cut nor refused.
std::wstring ExtendedLengthPath(const std::wstring& path);

// True when the two paths are equal as the file system compares names: ordinal, ignoring case.
bool SamePath(const std::wstring& a, const std::wstring& b);
