#include "FileProcessor/ShadowFileDetails.h"

#include <algorithm>

#include "ByteReader.h"
#include "FileProcessor/ShadowFileParser.h"

namespace {

// The ten offset fields, in the order both layouts store them (and the spooler writes the
// strings). Windows's own shadow-file structure names the notify name before the user name.
enum OffsetField : std::size_t {
    NotifyField,
    UserField,
    DocumentField,
    PortField,
    PrinterField,
    DriverField,
    DevModeField,
    PrintProcessorField,
    DataTypeField,
    ParametersField,
};

// Byte positions of the fields in each layout. The computer name and the spool file's size
// follow the counters, where only the header size tells whether a file has them.
struct HeaderPositions {
    std::size_t OffsetTable, OffsetWidth, Submitted, Size, Pages, ComputerName, SpoolFileSize;
};
constexpr HeaderPositions Layout32{20, 4, 60, 84, 88, 112, 116};
constexpr HeaderPositions Layout64{24, 8, 104, 128, 132, 168, 176};
constexpr std::size_t HeaderSizePosition = 4;

ByteReader ReaderAt(std::span<const std::uint8_t> bytes, std::size_t position) {
    ByteReader reader(bytes);
    reader.Seek(position);
    return reader;
}

// An offset of 0 means the file has no such item; one at or past the end of the bytes is bad.
std::optional<std::size_t> ItemOffset(std::span<const std::uint8_t> file, std::size_t position, std::size_t width) {
    ByteReader reader = ReaderAt(file, position);
    std::uint64_t offset = width == 4 ? reader.U32() : reader.U64();
    if (reader.Failed() || offset == 0 || offset >= file.size()) return std::nullopt;
    return static_cast<std::size_t>(offset);
}

// A UTF-16LE string ended by a 16-bit zero before the end of the bytes and within the
// length limit; empty or unsound strings are unknown.
std::optional<std::u16string> StringAt(std::span<const std::uint8_t> file, std::optional<std::size_t> offset) {
    if (!offset) return std::nullopt;
    ByteReader reader = ReaderAt(file, *offset);
    std::u16string text;
    for (;;) {
        char16_t unit = reader.U16();
        if (reader.Failed()) return std::nullopt;
        if (unit == 0) break;
        if (text.size() == ShadowDetailsMaxStringUnits) return std::nullopt;
        text.push_back(unit);
    }
    if (text.empty()) return std::nullopt;
    return text;
}

bool IsValidTime(const ShadowTime& time) {
    static constexpr std::uint8_t DaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    // The range that SYSTEMTIME conversions accept.
    if (time.Year < 1601 || time.Year > 30827 || time.Month < 1 || time.Month > 12) return false;
    bool leapYear = (time.Year % 4 == 0 && time.Year % 100 != 0) || time.Year % 400 == 0;
    unsigned days = DaysInMonth[time.Month - 1] + (time.Month == 2 && leapYear ? 1 : 0);
    return time.Day >= 1 && time.Day <= days && time.Hour < 24 && time.Minute < 60 && time.Second < 60 &&
           time.Milliseconds < 1000;
}

std::optional<ShadowTime> TimeAt(std::span<const std::uint8_t> file, std::size_t position) {
    ByteReader reader = ReaderAt(file, position);
    ShadowTime time;
    time.Year = reader.U16();
    time.Month = reader.U16();
    reader.Skip(2);  // the day of the week, which the date already gives
    time.Day = reader.U16();
    time.Hour = reader.U16();
    time.Minute = reader.U16();
    time.Second = reader.U16();
    time.Milliseconds = reader.U16();
    if (reader.Failed() || !IsValidTime(time)) return std::nullopt;
    return time;
}

std::optional<std::uint32_t> U32At(std::span<const std::uint8_t> file, std::size_t position) {
    ByteReader reader = ReaderAt(file, position);
    std::uint32_t value = reader.U32();
    if (reader.Failed()) return std::nullopt;
    return value;
}

// A DEVMODE whose public part covers dmFields and which, with the driver's bytes after it,
// lies within the file.
std::optional<DevModeDetails> DevModeAt(std::span<const std::uint8_t> file, std::optional<std::size_t> offset) {
    if (!offset) return std::nullopt;
    std::optional<PublicDevMode> mode = ParsePublicDevMode(file.subspan(*offset));
    if (!mode) return std::nullopt;
    return ValidFields(*mode);
}

}  // namespace

ShadowFileDetails ReadShadowFileDetails(std::span<const std::uint8_t> firstBytes) {
    std::span<const std::uint8_t> file = firstBytes.first(std::min(firstBytes.size(), ShadowDetailsReadLimit));
    // The layout as the job strings reader chooses it, from the same header block.
    ShadowHeaderLayout layout = ParseShadowHeader(file.first(std::min(file.size(), ShadowHeaderSize)));
    const HeaderPositions& at = layout.Is32BitLayout ? Layout32 : Layout64;
    auto item = [&](std::size_t field) {
        return ItemOffset(file, at.OffsetTable + field * at.OffsetWidth, at.OffsetWidth);
    };
    auto string = [&](std::size_t field) { return StringAt(file, item(field)); };

    ShadowFileDetails details;
    details.NotifyName = string(NotifyField);
    details.UserName = string(UserField);
    details.DocumentName = string(DocumentField);
    details.Port = string(PortField);
    details.PrinterName = string(PrinterField);
    details.DriverName = string(DriverField);
    details.PrintProcessor = string(PrintProcessorField);
    details.DataType = string(DataTypeField);
    details.Parameters = string(ParametersField);
    details.DevMode = DevModeAt(file, item(DevModeField));
    details.Submitted = TimeAt(file, at.Submitted);
    details.Size = U32At(file, at.Size);
    details.Pages = U32At(file, at.Pages);
    if (details.Pages == 0u) details.Pages.reset();

    std::uint32_t headerSize = U32At(file, HeaderSizePosition).value_or(0);
    auto headerHolds = [&](std::size_t position, std::size_t width) {
        return position + width <= headerSize && headerSize <= file.size();
    };
    if (headerHolds(at.ComputerName, at.OffsetWidth))
        details.ComputerName = StringAt(file, ItemOffset(file, at.ComputerName, at.OffsetWidth));
    if (headerHolds(at.SpoolFileSize, 4)) details.SpoolFileSize = U32At(file, at.SpoolFileSize);
    return details;
}

const char* PaperSizeName(std::uint16_t paperSize) {
    switch (paperSize) {
    case 1: case 2: return "Letter";  // DMPAPER_LETTER, DMPAPER_LETTERSMALL
    case 3: return "Tabloid";
    case 4: return "Ledger";
    case 5: return "Legal";
    case 7: return "Executive";
    case 8: return "A3";
    case 9: case 10: return "A4";  // DMPAPER_A4, DMPAPER_A4SMALL
    case 11: return "A5";
    case 12: return "B4 (JIS)";
    case 13: return "B5 (JIS)";
    case 70: return "A6";
    default: return nullptr;
    }
}
