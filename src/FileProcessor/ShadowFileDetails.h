// The rest of a shadow file's header, for showing a job before it is printed again: who sent
// it from where and when, its pages and sizes, and the public part of its DEVMODE.
// Platform-neutral: decodes an in-memory copy of the file's first bytes. Every field is
// optional; one that the file does not hold soundly stays empty. The job strings that
// printing uses come from ShadowFileParser alone, whatever this reader finds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "DevMode.h"

// How much of the file to hand in: enough for the header, the largest DEVMODE the format
// can describe (dmSize and dmDriverExtra are 16 bits each, 128 KiB together), the security
// descriptor and the strings, which the spooler writes after them.
inline constexpr std::size_t ShadowDetailsReadLimit = 256 * 1024;
// Longer names are taken for damage and left unknown.
inline constexpr std::size_t ShadowDetailsMaxStringUnits = 4096;

// A SYSTEMTIME as the spooler keeps it, in UTC (the day of the week is not kept).
struct ShadowTime {
    std::uint16_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Milliseconds = 0;
    bool operator==(const ShadowTime&) const = default;
};

// Strings are as written (not escaped); an empty one is left unknown. Printer, driver and
// data type are here only to compare with what ShadowFileParser took.
struct ShadowFileDetails {
    std::optional<std::u16string> NotifyName, UserName, DocumentName, Port, PrinterName, DriverName,
        PrintProcessor, DataType, Parameters, ComputerName;
    std::optional<ShadowTime> Submitted;
    std::optional<std::uint32_t> Pages;          // 0 is unknown: the spooler counts no RAW pages
    std::optional<std::uint32_t> Size;           // the job's size as the queue showed it
    std::optional<std::uint32_t> SpoolFileSize;
    std::optional<DevModeDetails> DevMode;       // present when its sizes fit the file
};

// firstBytes: the file's first bytes; only ShadowDetailsReadLimit of them are read.
ShadowFileDetails ReadShadowFileDetails(std::span<const std::uint8_t> firstBytes);

// The usual name of a DMPAPER_ sheet ("A4", "Letter"), or nullptr for a code without one.
const char* PaperSizeName(std::uint16_t paperSize);
