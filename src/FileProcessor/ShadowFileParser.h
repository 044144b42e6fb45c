// Decoding of the spooler's shadow file (.SHD): the fixed header and the block of UTF-16LE
// strings that follows it somewhere in the file. Platform-neutral: the caller does the I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

inline constexpr std::size_t ShadowHeaderSize = 196;
// The fixed header at the start of every shadow file, read as one block. It covers both the
// 32-bit and the 64-bit layout; ParseShadowHeader takes the few fields that are used.
using SHADOW_FILE_HEADER_ALLWIN64 = std::array<std::uint8_t, ShadowHeaderSize>;
inline constexpr std::size_t ShadowStringAreaSize = 8192;

// What the reader takes from the header.
struct ShadowHeaderLayout {
    std::uint32_t StringAreaOffset = 0;  // file offset of the first string
    bool HasOptionalString = false;      // the optional fourth string is present
    bool Is32BitLayout = false;          // 4-byte offsets from byte 20, else 8-byte from byte 24
};

// The header as read; fewer than ShadowHeaderSize bytes read as zero where missing.
ShadowHeaderLayout ParseShadowHeader(std::span<const std::uint8_t> header);

// Splits the bytes read from the string area (an odd last byte is ignored) into the strings
// ended by a 16-bit zero; the last one may end with the data instead.
std::vector<std::u16string> SplitShadowStrings(std::span<const std::uint8_t> data);

// Strings the string area must hold for the job fields to be taken: 7, or 8 with the
// optional fourth string.
std::size_t RequiredShadowStringCount(const ShadowHeaderLayout& layout);

struct ShadowJobStrings {
    std::u16string JobName;
    std::u16string PrinterName;
    std::u16string PrinterDriverName;
    std::u16string DataFormat;
};

// The job fields from a split string area; nothing when it holds too few strings.
std::optional<ShadowJobStrings> SelectJobStrings(const std::vector<std::u16string>& strings,
                                                 const ShadowHeaderLayout& layout);
