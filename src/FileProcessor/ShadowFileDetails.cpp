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

// DEVMODEW: positions in the structure and the dmFields bits (wingdi.h).
constexpr std::size_t DmSize = 68, DmOrientation = 76, DmPaperSize = 78, DmCopies = 86,
                      DmColor = 92, DmDuplex = 94, DmCollate = 100, DmFormName = 102;
constexpr std::size_t FormNameUnits = 32;  // CCHFORMNAME
constexpr std::uint32_t DM_ORIENTATION = 0x1, DM_PAPERSIZE = 0x2, DM_COPIES = 0x100, DM_COLOR = 0x800,
                        DM_DUPLEX = 0x1000, DM_COLLATE = 0x8000, DM_FORMNAME = 0x10000;
constexpr std::uint16_t HighestShortValue = 0x7FFF;  // DEVMODE's counts and codes are shorts

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

// The public part of a DEVMODE, its first dmSize bytes, and which of its fields dmFields
// marks as set.
class DevModeFields {
public:
    explicit DevModeFields(std::span<const std::uint8_t> publicPart, std::uint32_t fields)
        : m_Public(publicPart), m_Fields(fields) {}

    // A field marked set in dmFields, held within dmSize and with a value in [lowest, highest].
    std::optional<std::uint16_t> Value(std::uint32_t flag, std::size_t position, std::uint16_t lowest,
                                       std::uint16_t highest) const {
        if ((m_Fields & flag) == 0) return std::nullopt;
        ByteReader reader = ReaderAt(m_Public, position);
        std::uint16_t value = reader.U16();
        if (reader.Failed() || value < lowest || value > highest) return std::nullopt;
        return value;
    }

    // The form name fills at most its 32 units; a full one has no terminator.
    std::optional<std::u16string> FormName() const {
        if ((m_Fields & DM_FORMNAME) == 0 || DmFormName + 2 * FormNameUnits > m_Public.size()) return std::nullopt;
        ByteReader reader = ReaderAt(m_Public, DmFormName);
        std::u16string name;
        for (char16_t unit = reader.U16(); unit != 0 && name.size() < FormNameUnits; unit = reader.U16())
            name.push_back(unit);
        if (name.empty()) return std::nullopt;
        return name;
    }

private:
    std::span<const std::uint8_t> m_Public;
    std::uint32_t m_Fields;
};

template <typename Enum>
std::optional<Enum> AsEnum(std::optional<std::uint16_t> value) {
    if (!value) return std::nullopt;
    return static_cast<Enum>(*value);
}

// A DEVMODE whose public part covers dmFields and which, with the driver's bytes after it,
// lies within the file.
std::optional<DevModeDetails> DevModeAt(std::span<const std::uint8_t> file, std::optional<std::size_t> offset) {
    if (!offset) return std::nullopt;
    std::span<const std::uint8_t> devMode = file.subspan(*offset);
    ByteReader header = ReaderAt(devMode, DmSize);  // dmSize, dmDriverExtra, dmFields
    std::size_t publicSize = header.U16();
    std::size_t driverExtra = header.U16();
    std::uint32_t fieldBits = header.U32();
    if (header.Failed() || publicSize < DmOrientation || publicSize + driverExtra > devMode.size())
        return std::nullopt;
    DevModeFields fields(devMode.first(publicSize), fieldBits);
    DevModeDetails details;
    details.Orientation = AsEnum<PaperOrientation>(fields.Value(DM_ORIENTATION, DmOrientation, 1, 2));
    details.PaperSize = fields.Value(DM_PAPERSIZE, DmPaperSize, 1, HighestShortValue);
    details.FormName = fields.FormName();
    details.Copies = fields.Value(DM_COPIES, DmCopies, 1, HighestShortValue);
    details.Colour = AsEnum<ColourMode>(fields.Value(DM_COLOR, DmColor, 1, 2));
    details.Duplex = AsEnum<DuplexMode>(fields.Value(DM_DUPLEX, DmDuplex, 1, 3));
    if (auto collate = fields.Value(DM_COLLATE, DmCollate, 0, 1)) details.Collate = *collate == 1;
    return details;
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
