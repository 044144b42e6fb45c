// libFuzzer target: the input is a whole shadow file, decoded the way the reader does it
// (196-byte header block, then at most 8192 bytes from the offset the header names), and
// the way the job's details are read from the file's first bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <span>
#include <vector>

#include "FileProcessor/ShadowFileDetails.h"
#include "FileProcessor/ShadowFileParser.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// A known name is not empty, within the limit, and in the file as the spooler writes it:
// UTF-16LE units ended by a 16-bit zero.
void RequireNameFromFile(const std::optional<std::u16string>& text, std::span<const std::uint8_t> file) {
    if (!text) return;
    Require(!text->empty() && text->size() <= ShadowDetailsMaxStringUnits);
    std::vector<std::uint8_t> encoded;
    for (char16_t unit : *text) {
        Require(unit != 0);
        encoded.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        encoded.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    encoded.insert(encoded.end(), 2, 0);
    std::boyer_moore_horspool_searcher searcher(encoded.begin(), encoded.end());
    Require(std::search(file.begin(), file.end(), searcher) != file.end());
}

void CheckDetails(std::span<const std::uint8_t> file) {
    ShadowFileDetails details = ReadShadowFileDetails(file);
    for (const auto* text : {&details.NotifyName, &details.UserName, &details.DocumentName, &details.Port,
                             &details.PrinterName, &details.DriverName, &details.PrintProcessor, &details.DataType,
                             &details.Parameters, &details.ComputerName})
        RequireNameFromFile(*text, file);
    Require(details.Pages != 0u);
    if (const auto& time = details.Submitted)
        Require(time->Year >= 1601 && time->Month - 1u < 12 && time->Day - 1u < 31 && time->Hour < 24 &&
                time->Minute < 60 && time->Second < 60 && time->Milliseconds < 1000);
    if (const auto& devMode = details.DevMode) {
        if (devMode->FormName) Require(!devMode->FormName->empty() && devMode->FormName->size() <= 32);
        Require(devMode->Orientation.value_or(PaperOrientation::Portrait) <= PaperOrientation::Landscape);
        Require(devMode->Colour.value_or(ColourMode::Colour) <= ColourMode::Colour);
        Require(devMode->Duplex.value_or(DuplexMode::Simplex) <= DuplexMode::ShortEdge);
        Require(devMode->Copies.value_or(1) - 1u < 0x7FFF && devMode->PaperSize.value_or(1) - 1u < 0x7FFF);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> file(data, size);
    // A short header reads as zeros where it is missing; it must never read outside.
    ShadowHeaderLayout layout = ParseShadowHeader(file.first(std::min(size, ShadowHeaderSize)));
    CheckDetails(file.first(std::min(size, ShadowDetailsReadLimit)));
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
