// libFuzzer target: the input is a whole shadow file, decoded the way the reader does it
// (196-byte header block, then at most 8192 bytes from the offset the header names).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "FileProcessor/ShadowFileParser.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> file(data, size);
    // A short header reads as zeros where it is missing; it must never read outside.
    ShadowHeaderLayout layout = ParseShadowHeader(file.first(std::min(size, ShadowHeaderSize)));
    if (size < ShadowHeaderSize) return 0;

    std::size_t start = std::min<std::size_t>(layout.StringAreaOffset, size);
    std::span<const std::uint8_t> area = file.subspan(start, std::min(ShadowStringAreaSize, size - start));
    std::vector<std::u16string> strings = SplitShadowStrings(area);

    // Every code unit comes from the area, and each string but an unterminated last one used
    // a terminator: the strings can never account for more than the even part of the area.
    std::size_t units = 0;
    for (const std::u16string& text : strings) units += text.size() + 1;
    Require(units * 2 <= (area.size() & ~std::size_t{1}) + 2);
    Require(strings.size() <= area.size() / 2);

    std::optional<ShadowJobStrings> job = SelectJobStrings(strings, layout);
    std::size_t skip = layout.HasOptionalString ? 1 : 0;
    Require(job.has_value() == (strings.size() >= RequiredShadowStringCount(layout)));
    if (job) {
        Require(job->JobName == strings[2]);
        Require(job->PrinterName == strings[3 + skip]);
        Require(job->PrinterDriverName == strings[4 + skip]);
        Require(job->DataFormat == strings[6 + skip]);
    }
    return 0;
}
