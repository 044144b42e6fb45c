#include "DevMode.h"

#include "ByteReader.h"

namespace {

// Byte positions in DEVMODEW.
constexpr std::size_t kNameUnits = 32;
constexpr std::size_t kSpecVersionAt = 64;
constexpr std::size_t kFieldsAt = 72;
constexpr std::size_t kMinimumSize = kFieldsAt + 4;
constexpr std::size_t kOrientationAt = 76, kPaperSizeAt = 78, kPaperLengthAt = 80, kPaperWidthAt = 82;
constexpr std::size_t kCopiesAt = 86, kColorAt = 92, kDuplexAt = 94, kCollateAt = 100, kFormNameAt = 102;

// dmFields bits (DM_*).
constexpr std::uint32_t kOrientation = 0x1, kPaperSize = 0x2, kPaperLength = 0x4, kPaperWidth = 0x8;
constexpr std::uint32_t kCopies = 0x100, kColor = 0x800, kDuplex = 0x1000, kCollate = 0x8000, kFormName = 0x10000;

std::u16string FixedName(ByteReader reader) {
    std::u16string name;
    for (std::size_t i = 0; i < kNameUnits; ++i) {
        char16_t unit = reader.U16();
        if (unit == 0) break;
        name.push_back(unit);
    }
    return name;
}

// A member is taken only when its bit says it is set and dmSize covers it.
std::optional<std::int16_t> Member(std::span<const std::uint8_t> publicPart, std::uint32_t fields,
                                   std::uint32_t bit, std::size_t position) {
    if ((fields & bit) == 0 || position + 2 > publicPart.size()) return std::nullopt;
    ByteReader reader(publicPart);
    reader.Seek(position);
    return static_cast<std::int16_t>(reader.U16());
}

}  // namespace

std::optional<PublicDevMode> ParsePublicDevMode(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    reader.Seek(kSpecVersionAt);
    PublicDevMode mode;
    mode.SpecVersion = reader.U16();
    mode.DriverVersion = reader.U16();
    mode.Size = reader.U16();
    mode.DriverExtra = reader.U16();
    mode.Fields = reader.U32();
    if (reader.Failed() || mode.Size < kMinimumSize ||
        std::size_t{mode.Size} + mode.DriverExtra > bytes.size())
        return std::nullopt;

    std::span<const std::uint8_t> publicPart = bytes.first(mode.Size);
    mode.DeviceName = FixedName(ByteReader(publicPart));
    mode.Orientation = Member(publicPart, mode.Fields, kOrientation, kOrientationAt);
    mode.PaperSize = Member(publicPart, mode.Fields, kPaperSize, kPaperSizeAt);
    mode.PaperLength = Member(publicPart, mode.Fields, kPaperLength, kPaperLengthAt);
    mode.PaperWidth = Member(publicPart, mode.Fields, kPaperWidth, kPaperWidthAt);
    mode.Copies = Member(publicPart, mode.Fields, kCopies, kCopiesAt);
    mode.Color = Member(publicPart, mode.Fields, kColor, kColorAt);
    mode.Duplex = Member(publicPart, mode.Fields, kDuplex, kDuplexAt);
    mode.Collate = Member(publicPart, mode.Fields, kCollate, kCollateAt);
    if ((mode.Fields & kFormName) != 0 && kFormNameAt + 2 * kNameUnits <= publicPart.size())
        mode.FormName = FixedName(ByteReader(publicPart.subspan(kFormNameAt)));
    return mode;
}

namespace {

template <typename Enum>
std::optional<Enum> InRange(std::optional<std::int16_t> value, std::int16_t lowest, std::int16_t highest) {
    if (!value || *value < lowest || *value > highest) return std::nullopt;
    return static_cast<Enum>(*value);
}

}  // namespace

DevModeDetails ValidFields(const PublicDevMode& mode) {
    constexpr std::int16_t Highest = 0x7FFF;  // DEVMODE's counts and codes are shorts
    DevModeDetails details;
    details.Orientation = InRange<PaperOrientation>(mode.Orientation, 1, 2);
    details.PaperSize = InRange<std::uint16_t>(mode.PaperSize, 1, Highest);
    if (mode.FormName && !mode.FormName->empty()) details.FormName = mode.FormName;
    details.Copies = InRange<std::uint16_t>(mode.Copies, 1, Highest);
    details.Colour = InRange<ColourMode>(mode.Color, 1, 2);
    details.Duplex = InRange<DuplexMode>(mode.Duplex, 1, 3);
    if (auto collate = InRange<std::uint16_t>(mode.Collate, 0, 1)) details.Collate = *collate == 1;
    return details;
}
