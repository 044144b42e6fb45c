#include "FileProcessor/ShadowFileParser.h"

#include "ByteReader.h"

namespace {

// Header fields by byte position. In the 32-bit layout the string offsets are 4 bytes wide
// from byte 20; in the 64-bit layout 8 bytes wide from byte 24, and bytes 20-23 are zero.
constexpr std::size_t FirstStringOffset32 = 20;
constexpr std::size_t FirstStringOffset64 = 24;
constexpr std::size_t OptionalStringOffset32 = 32;
constexpr std::size_t OptionalStringOffset64 = 48;

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t position) {
    ByteReader reader(bytes);
    reader.Seek(position);
    return reader.U32();  // zero when the header is short
}

}  // namespace

ShadowHeaderLayout ParseShadowHeader(std::span<const std::uint8_t> header) {
    ShadowHeaderLayout layout;
    std::uint32_t offset32 = U32At(header, FirstStringOffset32);
    bool is32BitLayout = offset32 != 0;
    // Only the low half of a 64-bit offset is used: the reader positions with 32 bits.
    layout.StringAreaOffset = is32BitLayout ? offset32 : U32At(header, FirstStringOffset64);
    std::uint32_t optional =
        U32At(header, is32BitLayout ? OptionalStringOffset32 : OptionalStringOffset64);
    layout.HasOptionalString = optional != 0;
    layout.Is32BitLayout = is32BitLayout;
    return layout;
}

std::vector<std::u16string> SplitShadowStrings(std::span<const std::uint8_t> data) {
    ByteReader reader(data.first(data.size() & ~std::size_t{1}));
    std::vector<std::u16string> strings;
    while (reader.Remaining() > 0) {
        std::u16string text;
        // An unterminated last string ends with the data.
        while (reader.Remaining() > 0) {
            char16_t unit = reader.U16();
            if (unit == 0) break;
            text.push_back(unit);
        }
        strings.push_back(std::move(text));
    }
    return strings;
}

std::size_t RequiredShadowStringCount(const ShadowHeaderLayout& layout) {
    return layout.HasOptionalString ? 8 : 7;
}

std::optional<ShadowJobStrings> SelectJobStrings(const std::vector<std::u16string>& strings,
                                                 const ShadowHeaderLayout& layout) {
    if (strings.size() < RequiredShadowStringCount(layout)) return std::nullopt;
    // Strings 0 and 1 (notify and user names), the optional fourth string and the print
    // processor name are counted but not used.
    std::size_t skip = layout.HasOptionalString ? 1 : 0;
    ShadowJobStrings job;
    job.JobName = strings[2];
    job.PrinterName = strings[3 + skip];
    job.PrinterDriverName = strings[4 + skip];
    job.DataFormat = strings[6 + skip];
    return job;
}
