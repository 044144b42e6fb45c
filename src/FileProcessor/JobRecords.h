// The spooled job's metadata, the outcome of resolving a chosen file, the intake's fixed
// strings and the path helpers. Platform-neutral: no Win32 calls.
#pragma once

#include <cstdint>
#include <string>

// Metadata of one print job as the spooler recorded it in the shadow file.
struct JobInfo {
    std::wstring PrinterName;
    std::wstring PrinterDriverName;
    std::wstring JobName;
    std::wstring DataFormat;

    bool operator==(const JobInfo&) const = default;
};

// What a job was taken from, which tells a second print of the same job: for a job from an
// archive the archive's path and its spool member's name, otherwise the spool file's path
// (Member empty). Extracted copies get new paths each time, so they cannot tell it.
struct JobOrigin {
    std::wstring Path;
    std::wstring Member;
};

// Outcome of resolving a chosen file; each value has its text in the text table (value + 1).
enum SPLFileInfoResults : std::uint32_t {
    Unknown = 0,
    CorrectFile = 1,
    EmptyFileName = 2,
    CannotReadSHD = 3,
    CannotDetectSPL = 4,
    CannotDetectSHD = 5,
};

inline constexpr wchar_t ShadowFileExtension[] = L".SHD";
inline constexpr wchar_t SpoolFileExtension[] = L".SPL";
inline constexpr wchar_t ArchiveFileExtension[] = L".ZIP";
inline constexpr wchar_t UnknownPrinterName[] = L"Unknonwn printer name";
inline constexpr wchar_t UnknownDriverName[] = L"Unknonwn driver name";
inline constexpr wchar_t DataFormatRaw[] = L"RAW";
inline constexpr wchar_t DataFormatXpsPass[] = L"XPS_PASS";

// From the last "." (included) to the end; empty without a ".". Does not stop at separators.
std::wstring GetFileExtension(const std::wstring& path);
// Everything before the last "."; the whole path without a ".".
std::wstring RemoveFileExtension(const std::wstring& path);
// After the last "\" or "/"; the whole path without one or when it ends in one.
std::wstring GetFileNameFromPath(const std::wstring& path);
// Character-wise upper case of the ASCII letters (what towupper does in the "C" locale).
std::wstring ToUpperAscii(std::wstring text);
// The path's extension is ".ZIP" in any case: the input is an archive holding a job.
bool IsArchivePath(const std::wstring& path);

// True for a name that Windows stores as an ordinary file in a folder: not empty, not "."
// or "..", none of <>:"/\|?* or control characters, not ending in "." or " ", and not a
// device name such as CON, NUL, COM1 or LPT1 (with or without extension).
bool IsPlainFileName(const std::wstring& name);
