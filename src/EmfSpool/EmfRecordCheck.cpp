#include "EmfSpool/EmfRecordCheck.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>

#include "ByteReader.h"

namespace emf {
namespace {

constexpr std::uint32_t kLastKnownType = 122;  // EMR_CREATECOLORSPACEW

// The fixed part of each record type in bytes, its 8-byte type and size included; 0 marks a
// type that GDI does not know. Variable parts are checked from the counts in the fixed part.
constexpr std::array<std::uint16_t, kLastKnownType + 1> kFixedSize = {
    0,                                // 0
    88,  28,  28,  28,  28,  28,  32, 32, 16, 16,    // 1 HEADER .. 10 SETWINDOWORGEX
    16,  16,  16,  20,  20,  12,  12, 12, 12, 12,    // 11 .. 20 SETROP2
    12,  12,  32,  12,  12,  16,  16, 8,  24, 24,    // 21 .. 30 INTERSECTCLIPRECT
    24,  24,  8,   12,  32,  36,  12, 28, 24, 12,    // 31 .. 40 DELETEOBJECT
    28,  24,  24,  32,  40,  40,  40, 12, 16, 20,    // 41 .. 50 SETPALETTEENTRIES
    16,  8,   24,  16,  40,  28,  12, 12, 8,  8,     // 51 .. 60 ENDPATH
    8,   24,  24,  24,  8,   8,   12, 8,  0,  12,    // 61 .. 70 GDICOMMENT
    32,  40,  28,  28,  16,  100, 108, 128, 140, 76,  // 71 .. 80 SETDIBITSTODEVICE
    80,  104, 60,  60,  28,  28,  28, 28, 28, 32,    // 81 .. 90 POLYPOLYLINE16
    32,  28,  32,  32,  52,  40,  40, 12, 340, 12,   // 91 .. 100 SETCOLORSPACE
    12,  12,  28,  48,  16,  16,  0,  36, 16, 20,    // 101 .. 110 NAMEDESCAPE
    24,  20,  20,  108, 12,  108, 0,  36, 12, 16,    // 111 .. 120 SETTEXTJUSTIFICATION
    24,  608,                                        // 121 COLORMATCHTOTARGETW, 122 CREATECOLORSPACEW
};
static_assert(kFixedSize[kEmrEof] == 20 && kFixedSize[kEmrGdiComment] == 12 && kFixedSize[81] == 80 &&
              kFixedSize[107] == 0 && kFixedSize[kLastKnownType] == 608, "one entry per type, in order");

constexpr std::uint32_t kStockObject = 0x80000000;  // high bit: a stock object, not a table index
constexpr std::uint32_t kNoRectangle = 0x100;       // ETO_NO_RECT: the text record has no clip box
constexpr std::uint32_t kSmallChars = 0x200;        // ETO_SMALL_CHARS: 8-bit characters
constexpr std::uint32_t kPairedDx = 0x2000;         // ETO_PDY: two spacing values per character
constexpr std::uint32_t kPaletteIndices = 1;        // DIB_PAL_COLORS: 16-bit colour table entries
constexpr std::uint32_t kPaletteNone = 2;           // DIB_PAL_INDICES: no colour table
constexpr std::uint32_t kNoUsage = 0xFFFFFFFF;      // the record has no usage field: RGB colours

// Reads a record whose size is already checked; positions past it read as zero.
class Record {
public:
    explicit Record(std::span<const std::uint8_t> bytes) : m_Bytes(bytes) {}
    std::uint32_t U32(std::size_t at) const {
        ByteReader reader(m_Bytes);
        reader.Seek(at);
        return reader.U32();
    }
    std::uint16_t U16(std::size_t at) const {
        ByteReader reader(m_Bytes);
        reader.Seek(at);
        return reader.U16();
    }
    std::uint32_t Type() const { return U32(0); }
    std::uint64_t Size() const { return m_Bytes.size(); }
    // All sums are formed from 32-bit fields in 64 bits, so they cannot wrap.
    bool Holds(std::uint64_t bytes) const { return bytes <= Size(); }
    bool HoldsSpan(std::uint64_t offset, std::uint64_t length) const {
        return offset <= Size() && length <= Size() - offset;
    }
    std::span<const std::uint8_t> Bytes() const { return m_Bytes; }

private:
    std::span<const std::uint8_t> m_Bytes;
};

// A device-independent bitmap: its header and colour table inside the cbBmi bytes, and the
// rows that the header describes inside the cbBits bytes (for compressed bitmaps: the
// length the header gives). GDI reads as much as the header says, whatever the record holds.
bool DibFits(std::span<const std::uint8_t> info, std::uint64_t bitsSize, std::uint32_t usage,
             std::optional<std::uint64_t> scanLines) {
    ByteReader reader(info);
    const std::uint32_t headerSize = reader.U32();
    std::int64_t width = 0, height = 0;
    std::uint32_t bitCount = 0, compression = 0, imageSize = 0, coloursUsed = 0;
    if (headerSize == 12) {  // BITMAPCOREHEADER
        width = reader.U16();
        height = reader.U16();
        reader.Skip(2);
        bitCount = reader.U16();
    } else if (headerSize >= 40) {
        width = static_cast<std::int32_t>(reader.U32());
        height = static_cast<std::int32_t>(reader.U32());
        reader.Skip(2);
        bitCount = reader.U16();
        compression = reader.U32();
        imageSize = reader.U32();
        reader.Skip(8);
        coloursUsed = reader.U32();
    } else {
        return false;
    }
    if (reader.Failed() || headerSize > info.size()) return false;

    const bool rows = compression == 0 || compression == 3 || compression == 6;  // RGB, BITFIELDS, ALPHABITFIELDS
    std::uint64_t colours = 0;
    if (bitCount >= 1 && bitCount <= 8) {
        const std::uint64_t full = std::uint64_t{1} << bitCount;
        colours = coloursUsed != 0 && coloursUsed < full ? coloursUsed : full;
    }
    const std::uint64_t entrySize = usage == kPaletteIndices ? 2 : usage == kPaletteNone ? 0 : headerSize == 12 ? 3 : 4;
    const std::uint64_t masks = headerSize == 40 && compression == 3 ? 12 : headerSize == 40 && compression == 6 ? 16 : 0;
    if (headerSize + masks + colours * entrySize > info.size()) return false;
    if (!rows) return imageSize <= bitsSize;
    const std::uint64_t stride = (static_cast<std::uint64_t>(std::llabs(width)) * bitCount + 31) / 32 * 4;
    std::uint64_t lines = static_cast<std::uint64_t>(std::llabs(height));
    if (scanLines) lines = std::min(lines, *scanLines);
    return stride == 0 || lines <= bitsSize / stride;
}

// The bitmap whose offBmi, cbBmi, offBits, cbBits fields start at fieldsAt. A record that
// only may carry one (a raster operation without source) has cbBmi 0 then.
bool BitmapFits(const Record& record, std::size_t fieldsAt, std::size_t usageAt, bool required,
                std::optional<std::size_t> scanLinesAt = std::nullopt) {
    const std::uint32_t infoAt = record.U32(fieldsAt), infoSize = record.U32(fieldsAt + 4);
    const std::uint32_t bitsAt = record.U32(fieldsAt + 8), bitsSize = record.U32(fieldsAt + 12);
    if (infoSize == 0) return !required;
    if (!record.HoldsSpan(infoAt, infoSize) || !record.HoldsSpan(bitsAt, bitsSize)) return false;
    const std::uint32_t usage = usageAt == kNoUsage ? 0 : record.U32(usageAt);
    std::optional<std::uint64_t> scanLines;
    if (scanLinesAt) scanLines = record.U32(*scanLinesAt);
    return DibFits(record.Bytes().subspan(infoAt, infoSize), bitsSize, usage, scanLines);
}

// Point counts of the polypolygon records: the array sizes, and polygons that together use no
// more points than the record holds.
bool PolyPolyFits(const Record& record, std::uint64_t pointSize) {
    const std::uint64_t polygons = record.U32(24), points = record.U32(28);
    if (!record.Holds(32 + 4 * polygons + pointSize * points)) return false;
    std::uint64_t used = 0;
    for (std::uint64_t i = 0; i < polygons; ++i) used += record.U32(static_cast<std::size_t>(32 + 4 * i));
    return used <= points;
}

// An EMRTEXT at textAt: its characters and, when given, its spacing array inside the record.
bool TextFits(const Record& record, std::size_t textAt, std::uint64_t charSize, bool hasRectangle) {
    const std::uint64_t chars = record.U32(textAt + 8);
    const std::uint32_t stringAt = record.U32(textAt + 12), options = record.U32(textAt + 16);
    const std::uint32_t spacingAt = record.U32(textAt + (hasRectangle ? 36 : 20));
    if (!record.HoldsSpan(stringAt, chars * charSize)) return false;
    return spacingAt == 0 || record.HoldsSpan(spacingAt, chars * ((options & kPairedDx) ? 8 : 4));
}

bool ExtTextOutFits(const Record& record, std::uint64_t charSize) {
    const bool hasRectangle = (record.U32(52) & kNoRectangle) == 0;
    return record.Holds(hasRectangle ? 76 : 60) && TextFits(record, 36, charSize, hasRectangle);
}

bool PolyTextOutFits(const Record& record, std::uint64_t charSize) {
    const std::uint64_t strings = record.U32(36);
    if (!record.Holds(40 + 40 * strings)) return false;
    for (std::uint64_t i = 0; i < strings; ++i)
        if (!TextFits(record, static_cast<std::size_t>(40 + 40 * i), charSize, true)) return false;
    return true;
}

// Region data (RGNDATAHEADER and rectangles), when the record carries any.
bool RegionFits(const Record& record, std::size_t sizeAt, std::size_t dataAt) {
    const std::uint64_t size = record.U32(sizeAt);
    if (!record.HoldsSpan(dataAt, size)) return false;
    if (size == 0) return true;
    const std::uint64_t headerSize = record.U32(dataAt), rectangles = record.U32(dataAt + 8);
    return headerSize >= 32 && headerSize + 16 * rectangles <= size;
}

// The variable parts: counts, strings, arrays and bitmaps inside the record.
bool PartsFit(const Record& r) {
    auto u32 = [&](std::size_t at) { return std::uint64_t{r.U32(at)}; };
    switch (r.Type()) {
    case 2: case 3: case 4: case 5: case 6: return r.Holds(28 + 8 * u32(24));        // POLY*
    case 85: case 86: case 87: case 88: case 89: return r.Holds(28 + 4 * u32(24));   // POLY*16
    case 7: case 8: return PolyPolyFits(r, 8);
    case 90: case 91: return PolyPolyFits(r, 4);
    case 56: return r.Holds(28 + 9 * u32(24));  // POLYDRAW: points and their type bytes
    case 92: return r.Holds(28 + 5 * u32(24));  // POLYDRAW16
    case kEmrEof: return u32(8) == 0 || r.HoldsSpan(u32(12), 4 * u32(8) + 4);  // palette, then nSizeLast
    case 49: return r.Holds(16 + 4 * std::uint64_t{r.U16(14)});  // CREATEPALETTE
    case 50: return r.Holds(20 + 4 * u32(16));                   // SETPALETTEENTRIES
    case kEmrGdiComment: return r.Holds(12 + u32(8));
    case 71: case 72: return RegionFits(r, 24, r.Type() == 71 ? 32 : 40);  // FILLRGN, FRAMERGN
    case 73: case 74: return RegionFits(r, 24, 28);                        // INVERTRGN, PAINTRGN
    case 75: return RegionFits(r, 8, 16);                                  // EXTSELECTCLIPRGN
    case 76: case 77: case 114: case 116: return BitmapFits(r, 84, 80, false);  // BITBLT, STRETCHBLT, ALPHABLEND, TRANSPARENTBLT
    case 78: return BitmapFits(r, 84, 80, false) && BitmapFits(r, 112, 108, false);  // MASKBLT
    case 79: return BitmapFits(r, 96, 92, false) && BitmapFits(r, 124, 120, false);  // PLGBLT
    case 80: return BitmapFits(r, 48, 64, true, 72);  // SETDIBITSTODEVICE: cScans rows
    case 81: return BitmapFits(r, 48, 64, true);      // STRETCHDIBITS
    case 93: case 94: return BitmapFits(r, 16, 12, true);  // CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT
    case 95: return r.Holds(52 + 4 * u32(48)) && BitmapFits(r, 12, kNoUsage, false);  // EXTCREATEPEN
    case 83: return ExtTextOutFits(r, 1);
    case 84: return ExtTextOutFits(r, 2);
    case 96: return PolyTextOutFits(r, 1);
    case 97: return PolyTextOutFits(r, 2);
    case 102: return r.Holds(12 + u32(8));             // GLSRECORD
    case 103: return r.Holds(28 + u32(24));            // GLSBOUNDEDRECORD
    case 105: case 106: return r.Holds(16 + u32(12));  // DRAWESCAPE, EXTESCAPE
    case 110: return r.Holds(20 + u32(12) + u32(16));  // NAMEDESCAPE
    case 108: {                                        // SMALLTEXTOUT
        const std::uint32_t options = r.U32(20);
        return r.Holds(36 + ((options & kNoRectangle) ? 0 : 16) + u32(16) * ((options & kSmallChars) ? 1 : 2));
    }
    case 112: case 113: return r.Holds(20 + u32(12) + u32(16));  // SETICMPROFILEA/W
    case 118: return r.Holds(36 + 16 * u32(24) + (u32(32) == 2 ? 12 : 8) * u32(28));  // GRADIENTFILL
    case 119: return r.Holds(12 + 8 * u32(8));                    // SETLINKEDUFIS
    case 121: return r.Holds(24 + u32(16) + u32(20));             // COLORMATCHTOTARGETW
    case 122: return r.Holds(608 + u32(604));                     // CREATECOLORSPACEW
    default: return true;
    }
}

enum class IndexUse { Create, Select, Use, ColorSpace };

// Players index their handle table with these fields unchecked; index 0 is the metafile.
std::optional<RecordReason> HandleProblem(const Record& r, std::uint32_t handleCount) {
    std::size_t at = 8;
    IndexUse use;
    switch (r.Type()) {
    case 38: case 39: case 49: case 82: case 93: case 94: case 95: use = IndexUse::Create; break;
    case 37: case 48: use = IndexUse::Select; break;  // SELECTOBJECT, SELECTPALETTE take stock objects
    case 40: case 50: case 51: case 111: use = IndexUse::Use; break;
    case 71: case 72: at = 28; use = IndexUse::Use; break;  // the brush of FILLRGN, FRAMERGN
    case 99: case 100: case 101: case 122: use = IndexUse::ColorSpace; break;
    default: return std::nullopt;
    }
    const std::uint32_t index = r.U32(at);
    const bool stock = (index & kStockObject) != 0;
    if (stock && use == IndexUse::Select) return std::nullopt;
    // Wine 8's player looks a stock colour space up in the handle table, far outside it.
    if (stock && use == IndexUse::ColorSpace) return RecordReason::StockColorSpace;
    if (index == 0 || index >= handleCount) return RecordReason::HandleOutOfRange;
    return std::nullopt;
}

// Escapes carry data for the driver the job was made for; none of it belongs on another.
std::optional<RecordReason> EscapeProblem(const Record& r) {
    const std::uint32_t type = r.Type();
    if (type != 105 && type != 106 && type != 110) return std::nullopt;
    switch (r.U32(8)) {
    case 8: case 12: case 13: case 14: case 20: case 42:  // QUERYESCSUPPORT, GETPHYSPAGESIZE, ..., GETDEVICEUNITS
        return RecordReason::QueryEscape;
    case 19: case 37: case 38:                    // PASSTHROUGH, POSTSCRIPT_DATA, POSTSCRIPT_IGNORE
    case 4096: case 4097: case 4098:              // BEGIN_PATH, CLIP_TO_PATH, END_PATH
    case 4110: case 4111: case 4112:              // OPEN_CHANNEL, DOWNLOADHEADER, CLOSE_CHANNEL
    case 4115: case 4116: case 4117: case 4118:   // POSTSCRIPT_PASSTHROUGH .. POSTSCRIPT_INJECTION
    case 4568:                                    // SPCLPASSTHROUGH2
        return RecordReason::PostScriptEscape;
    default: return RecordReason::DriverEscape;
    }
}

RecordVerdict Refuse(RecordReason reason) { return {RecordAction::Refuse, reason}; }
RecordVerdict Skip(RecordReason reason) { return {RecordAction::Skip, reason}; }

}  // namespace

RecordVerdict CheckRecordForPlayback(std::span<const std::uint8_t> bytes, std::uint32_t handleCount) {
    ByteReader reader(bytes);
    const std::uint32_t type = reader.U32(), size = reader.U32();
    if (reader.Failed() || size < 8 || size % 4 != 0 || size > bytes.size()) return Refuse(RecordReason::BadFrame);
    const Record record(bytes.first(size));
    if (type > kLastKnownType || kFixedSize[type] == 0) return Skip(RecordReason::UnknownType);
    if (size < kFixedSize[type]) return Refuse(RecordReason::TooShort);
    if (!PartsFit(record)) return Refuse(RecordReason::PartPastRecord);
    if (auto reason = HandleProblem(record, handleCount)) return Skip(*reason);
    if (auto reason = EscapeProblem(record)) return Skip(*reason);
    return {};
}

const char* RecordReasonText(RecordReason reason) {
    switch (reason) {
    case RecordReason::None: return "no fault";
    case RecordReason::BadFrame: return "size below 8, not a multiple of 4 or past the page";
    case RecordReason::TooShort: return "too short for its type";
    case RecordReason::PartPastRecord: return "a count, string or bitmap runs past the record";
    case RecordReason::UnknownType: return "unknown record type";
    case RecordReason::StockColorSpace: return "colour space record naming a stock colour space";
    case RecordReason::HandleOutOfRange: return "object index outside the handle table";
    case RecordReason::DriverEscape: return "escape for the original printer's driver";
    case RecordReason::PostScriptEscape: return "PostScript for the original printer's driver";
    case RecordReason::QueryEscape: return "question to the original printer's driver";
    }
    return "unknown fault";
}

CommentKind ClassifyComment(std::span<const std::uint8_t> record) {
    constexpr std::uint32_t kEmfPlus = 0x2B464D45;        // "EMF+"
    constexpr std::uint32_t kSpoolFonts = 0x544F4E46;     // "FNOT" in the file: EMR_COMMENT_EMFSPOOL fonts
    constexpr std::uint16_t kEmfPlusHeader = 0x4001;
    constexpr std::uint16_t kDual = 0x0001;
    ByteReader reader(record);
    reader.Seek(8);
    const std::uint32_t dataSize = reader.U32(), identifier = reader.U32();
    if (reader.Failed() || dataSize < 4) return CommentKind::Other;
    if (identifier == kEmfPlus) {
        const std::uint16_t type = reader.U16(), flags = reader.U16();
        if (reader.Failed() || dataSize < 8 || type != kEmfPlusHeader) return CommentKind::EmfPlusRecords;
        return (flags & kDual) ? CommentKind::EmfPlusDual : CommentKind::EmfPlusOnly;
    }
    if (identifier == 0 && dataSize >= 8 && reader.U32() == kSpoolFonts) return CommentKind::SpoolFonts;
    return CommentKind::Other;
}

}  // namespace emf
