#include "EmfSpool/EmfRecordCheck.h"

#include <algorithm>
#include <array>

#include "ByteReader.h"

namespace emf {
namespace {

constexpr std::uint32_t kLastKnownType = 122;  // EMR_CREATECOLORSPACEW

// The fixed part of each record type in bytes, its 8-byte type and size included: what the
// player reads at fixed places whatever the record's size says (a region record's region
// header too). 0 marks a type that the player does not draw. Variable parts are checked from
// the counts in the fixed part.
constexpr std::array<std::uint16_t, kLastKnownType + 1> kFixedSize = {
    0,                                                // 0
    88,  28,  28,  28,  28,  28,  32,  32,  16,  16,  // 1 HEADER .. 10 SETWINDOWORGEX
    16,  16,  16,  20,  20,  12,  12,  12,  12,  12,  // 11 .. 20 SETROP2
    12,  12,  32,  12,  12,  16,  16,  8,   24,  24,  // 21 .. 30 INTERSECTCLIPRECT
    24,  24,  8,   12,  32,  36,  12,  28,  24,  12,  // 31 .. 40 DELETEOBJECT
    28,  24,  24,  32,  40,  40,  40,  12,  16,  20,  // 41 .. 50 SETPALETTEENTRIES
    16,  8,   24,  16,  40,  28,  12,  12,  8,   8,   // 51 .. 60 ENDPATH
    8,   8,   8,   8,   8,   8,   12,  8,   0,   12,  // 61 .. 70 GDICOMMENT
    64,  72,  60,  60,  16,  100, 108, 128, 140, 76,  // 71 .. 80 SETDIBITSTODEVICE
    80,  104, 60,  60,  28,  28,  28,  28,  28,  32,  // 81 .. 90 POLYPOLYLINE16
    32,  28,  32,  32,  52,  40,  40,  12,  340, 12,  // 91 .. 100 SETCOLORSPACE
    12,  12,  28,  48,  16,  16,  0,   36,  16,  20,  // 101 .. 110 NAMEDESCAPE
    24,  20,  20,  108, 12,  108, 0,   36,  12,  16,  // 111 .. 120 SETTEXTJUSTIFICATION
    24,  608,                                         // 121 COLORMATCHTOTARGETW, 122 CREATECOLORSPACEW
};
static_assert(kFixedSize[kEmrEof] == 20 && kFixedSize[kEmrGdiComment] == 12 && kFixedSize[81] == 80 &&
                  kFixedSize[107] == 0 && kFixedSize[kLastKnownType] == 608,
              "one entry per type, in order");

// An EXTTEXTOUT record is 76 bytes before its string in the layout the player reads; the
// [MS-EMF] layout without a rectangle (ETO_NO_RECT) is 16 bytes shorter.
constexpr std::uint64_t kExtTextOutFixed = 76;
constexpr std::uint64_t kTextRectangle = 16;

constexpr std::uint32_t kStockObject = 0x80000000;  // high bit: a stock object, not a table index
constexpr std::uint32_t kLastStockObject = 0x80000014;
constexpr std::uint32_t kRgnAnd = 1, kRgnCopy = 5;
constexpr std::uint32_t kTaRtlReading = 0x100;
constexpr std::uint32_t kEtoOpaque = 0x2, kEtoClipped = 0x4, kEtoGlyphIndex = 0x10, kEtoRtlReading = 0x80;
constexpr std::uint32_t kEtoNoRect = 0x100, kEtoSmallChars = 0x200, kEtoIgnoreLanguage = 0x1000, kEtoPdy = 0x2000;
constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5;
constexpr std::uint32_t kPaletteIndices = 1;  // DIB_PAL_COLORS: 16-bit colour table entries
// Caps on time and memory (the decompression buffer), far above what a printed page needs.
constexpr std::uint64_t kMaxImageBytes = 256u << 20;
constexpr std::uint64_t kMaxRectangles = 100000;
constexpr std::uint64_t kMaxPoints = 1000000;

// Reads a record whose frame is already checked; positions past it read as zero.
class Fields {
public:
    explicit Fields(std::span<const std::uint8_t> bytes) : m_Bytes(bytes) {}
    std::uint32_t U32(std::uint64_t at) const { return Reader(at).U32(); }
    std::int32_t I32(std::uint64_t at) const { return static_cast<std::int32_t>(U32(at)); }
    std::uint16_t U16(std::uint64_t at) const { return Reader(at).U16(); }
    std::uint32_t Type() const { return U32(0); }
    std::uint64_t Size() const { return m_Bytes.size(); }
    // All sums are formed from 32-bit fields in 64 bits, so they cannot wrap.
    bool Holds(std::uint64_t bytes) const { return bytes <= Size(); }
    // length bytes at offset, inside the record and past its fixed part; nothing is always inside.
    bool Inside(std::uint64_t offset, std::uint64_t length, std::uint64_t fixed) const {
        return length == 0 || (offset >= fixed && offset <= Size() && length <= Size() - offset);
    }
    // The bytes of a span that Inside accepted.
    std::span<const std::uint8_t> Part(std::uint64_t offset, std::uint64_t length) const {
        if (length == 0) return {};
        return m_Bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    }
    std::span<const std::uint8_t> Bytes() const { return m_Bytes; }

private:
    ByteReader Reader(std::uint64_t at) const {
        ByteReader reader(m_Bytes);
        reader.Seek(at <= Size() ? static_cast<std::size_t>(at) : Size() + 1);  // past the end: fails, reads zero
        return reader;
    }
    std::span<const std::uint8_t> m_Bytes;
};

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

constexpr RecordVerdict kPlay{};
RecordVerdict Refuse(RecordReason reason) { return {RecordAction::Refuse, reason}; }
RecordVerdict Skip(RecordReason reason) { return {RecordAction::Skip, reason}; }
RecordVerdict Rewrite(RecordReason reason) { return {RecordAction::Rewrite, reason}; }
bool Objects(const RecordVerdict& verdict) { return verdict.Action != RecordAction::Play; }

// The more serious of two verdicts: a refusal over a skip over a rewrite; the first of equals.
RecordVerdict Worse(const RecordVerdict& a, const RecordVerdict& b) { return b.Action > a.Action ? b : a; }

// ---- Bitmaps ----------------------------------------------------------------------------

// Where a DIB is put to use decides what its header may say.
enum class DibUse : std::uint8_t {
    Draw,        // CreateDIBitmap, StretchDIBits, SetDIBitsToDevice, the mask's SetDIBits: RLE allowed
    Section,     // ALPHABLEND: CreateDIBSection, then cbBits bytes copied into it
    PatternBrush,// CREATEDIBPATTERNBRUSHPT: a packed DIB
    MonoBrush,   // CREATEMONOBRUSH
};

struct DibFields {
    std::uint64_t InfoAt = 0, InfoSize = 0, BitsAt = 0, BitsSize = 0;
    std::uint32_t Usage = 0;
    bool Absent() const { return InfoAt == 0 && InfoSize == 0; }
};

DibFields DibAt(const Fields& r, std::uint64_t fieldsAt, std::uint64_t usageAt) {
    return {r.U32(fieldsAt), r.U32(fieldsAt + 4), r.U32(fieldsAt + 8), r.U32(fieldsAt + 12), r.U32(usageAt)};
}

struct DibHeader {
    std::uint32_t Size = 0, Planes = 0, BitCount = 0, Compression = 0, ImageSize = 0, ColoursUsed = 0;
    std::int64_t Width = 0, Height = 0;
    bool Core() const { return Size == 12; }
    bool Rle() const { return Compression == kBiRle8 || Compression == kBiRle4; }
    std::uint64_t Rows() const { return static_cast<std::uint64_t>(Height < 0 ? -Height : Height); }
    std::uint64_t Stride() const { return (static_cast<std::uint64_t>(Width) * BitCount + 31) / 32 * 4; }
    // Where the colour table starts: after the header, or after the masks that the player
    // reads at +40 whatever the header's size.
    std::uint64_t HeaderEnd() const { return std::max<std::uint64_t>(Size, Compression == kBiBitfields ? 52 : 0); }
};

DibHeader ReadDibHeader(std::span<const std::uint8_t> info) {
    ByteReader reader(info);
    DibHeader h;
    h.Size = reader.U32();
    if (h.Core()) {
        h.Width = reader.U16();
        h.Height = reader.U16();
        h.Planes = reader.U16();
        h.BitCount = reader.U16();
        return h;
    }
    h.Width = static_cast<std::int32_t>(reader.U32());
    h.Height = static_cast<std::int32_t>(reader.U32());
    h.Planes = reader.U16();
    h.BitCount = reader.U16();
    h.Compression = reader.U32();
    h.ImageSize = reader.U32();
    reader.Skip(8);
    h.ColoursUsed = reader.U32();
    return h;
}

// The colour table the player reads: ClrUsed entries, at most 2^bpp, for bpp <= 8 only.
std::uint64_t ColourEntries(const DibHeader& h) {
    if (h.BitCount > 8) return 0;
    const std::uint64_t full = std::uint64_t{1} << h.BitCount;
    return h.ColoursUsed != 0 ? std::min<std::uint64_t>(h.ColoursUsed, full) : full;
}

std::uint64_t ColourEntrySize(const DibHeader& h, std::uint32_t usage) {
    if (usage == kPaletteIndices) return 2;
    return h.Core() && usage == 0 ? 3 : 4;  // DIB_PAL_INDICES: the player reads 4-byte entries all the same
}

// The brush code finds a packed DIB's bits after this many bytes; it counts ClrUsed up to 256
// at any bit depth.
std::uint64_t PackedInfoSize(const DibHeader& h, std::uint32_t usage) {
    const std::uint64_t entries = h.ColoursUsed != 0 ? std::min<std::uint32_t>(h.ColoursUsed, 256)
                                  : h.BitCount <= 8  ? std::uint64_t{1} << h.BitCount
                                                     : 0;
    return h.HeaderEnd() + entries * (usage == kPaletteIndices ? 2 : 4);
}

// Header values the player takes and draws as the header means them.
bool ValidDib(const DibHeader& h, DibUse use, std::uint32_t usage) {
    const std::uint32_t bpp = h.BitCount;
    const bool brush = use == DibUse::PatternBrush || use == DibUse::MonoBrush;
    if (h.Width <= 0 || h.Height == 0 || h.Planes != 1 || (h.Core() && brush)) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    if (usage > (use == DibUse::Draw || use == DibUse::MonoBrush ? 2u : 1u)) return false;
    if (use == DibUse::MonoBrush && usage == 2 && bpp != 1) return false;  // built as a 1-bpp device bitmap
    switch (h.Compression) {
    case kBiRgb: return true;
    case kBiBitfields: return bpp == 16 || bpp == 32;
    case kBiRle8:
    case kBiRle4:
        // Decompressed only bottom-up, and only where the player decompresses at all.
        return bpp == (h.Compression == kBiRle8 ? 8u : 4u) && h.Height > 0 && h.ImageSize != 0 &&
               (use == DibUse::Draw || use == DibUse::MonoBrush);
    default: return false;
    }
}

// A V4/V5 header may name a colour profile file, or embed one: the player ignores both, but
// a profile outside the bitmap's own bytes is none of this page's business.
bool ProfileOutside(std::span<const std::uint8_t> info, const DibHeader& h) {
    constexpr std::uint32_t kLinked = 0x4C494E4B, kEmbedded = 0x4D424544;  // 'LINK', 'MBED'
    const Fields header(info);
    const std::uint32_t type = header.U32(56);
    if (type == kLinked) return true;
    if (type != kEmbedded) return false;
    return h.Size < 124 || !header.Inside(header.U32(112), header.U32(116), h.Size);
}

// An embedded DIB: its header and colour table inside cbBmi, the rows (or compressed bytes)
// the header implies inside cbBits, both inside the record. rows: the scan lines read.
RecordVerdict JudgeDib(const Fields& r, const DibFields& d, std::uint64_t fixed, DibUse use, DibHeader& h,
                       std::uint64_t scans = UINT64_MAX) {
    if (d.InfoSize < 4 || !r.Inside(d.InfoAt, d.InfoSize, fixed) || !r.Inside(d.BitsAt, d.BitsSize, fixed))
        return Refuse(RecordReason::PartPastRecord);
    const std::span<const std::uint8_t> info = r.Part(d.InfoAt, d.InfoSize);
    h = ReadDibHeader(info);
    // Any size of 40 or more passes for a BITMAPINFOHEADER in the player, which then reads
    // the colour table at B + biSize: only the sizes of real headers are taken.
    if (h.Size != 12 && h.Size != 40 && h.Size != 108 && h.Size != 124) return Skip(RecordReason::BadBitmap);
    if (h.Size > d.InfoSize) return Refuse(RecordReason::PartPastRecord);
    if (h.Compression == kBiJpeg || h.Compression == kBiPng) return Skip(RecordReason::ImageFormat);
    if (!ValidDib(h, use, d.Usage)) return Skip(RecordReason::BadBitmap);
    const std::uint64_t tableEnd = h.HeaderEnd() + ColourEntries(h) * ColourEntrySize(h, d.Usage);
    if (tableEnd > d.InfoSize) return Refuse(RecordReason::PartPastRecord);
    const Fields header(info);
    if (h.Compression == kBiBitfields && (header.U32(40) == 0 || header.U32(44) == 0 || header.U32(48) == 0))
        return Skip(RecordReason::BadBitmap);
    if (h.Size >= 108 && ProfileOutside(info, h)) return Skip(RecordReason::BitmapProfile);
    // The pattern brush reads its bits right after what it takes for the header and table.
    if (use == DibUse::PatternBrush && d.InfoSize != PackedInfoSize(h, d.Usage))
        return Refuse(RecordReason::CountsDisagree);
    const std::uint64_t image = h.Stride() * h.Rows();
    if (image > kMaxImageBytes) return Skip(RecordReason::TooLarge);
    if (h.Rle()) return h.ImageSize <= d.BitsSize ? kPlay : Refuse(RecordReason::PartPastRecord);
    if (h.Stride() * std::min(h.Rows(), scans) > d.BitsSize) return Refuse(RecordReason::PartPastRecord);
    // ALPHABLEND copies all cbBits bytes into a section of the image's size.
    if (use == DibUse::Section && d.BitsSize > image) return Skip(RecordReason::BitsPastImage);
    return kPlay;
}

// A compressed SETDIBITSTODEVICE image is decompressed at the size of its source rectangle,
// computed in 32 bits and filled by the runs: the rectangle must lie inside the image.
bool RleSourceInside(const Fields& r, const DibHeader& h) {
    const std::int64_t x = r.I32(32), y = r.I32(36), cx = r.I32(40), cy = r.I32(44);
    return x >= 0 && y >= 0 && cx >= 0 && cy >= 0 && x + cx <= h.Width && y + cy <= h.Height;
}

struct BitmapPlace {
    std::uint64_t FieldsAt, UsageAt;
    DibUse Use;
    bool Required;  // the player reads a bitmap whatever the offsets say
};

// The record's bitmaps, each checked; a refusal over a skip. A bitmap counts as absent only
// when both its header's offset and size are 0.
RecordVerdict JudgeBitmaps(const Fields& r, std::initializer_list<BitmapPlace> places,
                           std::uint64_t scans = UINT64_MAX) {
    const std::uint64_t fixed = kFixedSize[r.Type()];
    RecordVerdict verdict;
    for (const BitmapPlace& place : places) {
        const DibFields dib = DibAt(r, place.FieldsAt, place.UsageAt);
        if (dib.Absent()) {
            if (place.Required) verdict = Worse(verdict, Skip(RecordReason::BitmapAbsent));
            continue;
        }
        DibHeader header;
        RecordVerdict own = JudgeDib(r, dib, fixed, place.Use, header, scans);
        if (!Objects(own) && r.Type() == 80 && header.Rle() && !RleSourceInside(r, header))
            own = Skip(RecordReason::RleSourceOutside);
        verdict = Worse(verdict, own);
    }
    return verdict;
}

RecordVerdict JudgeBitmapRecord(const Fields& r) {
    switch (r.Type()) {
    case 76: case 77: case 116:  // BITBLT, STRETCHBLT, TRANSPARENTBLT: a raster operation may have no source
        return JudgeBitmaps(r, {{84, 80, DibUse::Draw, false}});
    case 114: return JudgeBitmaps(r, {{84, 80, DibUse::Section, false}});  // ALPHABLEND
    case 78:  // MASKBLT: the player reads source and mask, at the record's start when an offset is 0
        return JudgeBitmaps(r, {{84, 80, DibUse::Draw, true}, {112, 108, DibUse::Draw, true}});
    case 79: return JudgeBitmaps(r, {{96, 92, DibUse::Draw, true}, {124, 120, DibUse::Draw, true}});  // PLGBLT
    case 80: return JudgeBitmaps(r, {{48, 64, DibUse::Draw, true}}, r.U32(72));  // SETDIBITSTODEVICE: cScans rows
    case 81: return JudgeBitmaps(r, {{48, 64, DibUse::Draw, true}});               // STRETCHDIBITS
    case 93: return JudgeBitmaps(r, {{16, 12, DibUse::MonoBrush, true}});          // CREATEMONOBRUSH
    default: return JudgeBitmaps(r, {{16, 12, DibUse::PatternBrush, true}});       // CREATEDIBPATTERNBRUSHPT
    }
}

// ---- Regions ----------------------------------------------------------------------------

// RGNDATA at dataAt, cbRgnData at sizeAt: the player ignores cbRgnData and reads nCount
// rectangles after the 32-byte header, so cbRgnData must hold them all.
RecordVerdict JudgeRegion(const Fields& r, std::uint64_t sizeAt, std::uint64_t dataAt) {
    const std::uint64_t size = r.U32(sizeAt), rectangles = r.U32(dataAt + 8);
    if (!r.Inside(dataAt, size, dataAt) || size < 32 + 16 * rectangles) return Refuse(RecordReason::PartPastRecord);
    if (r.U32(dataAt) != 32 || r.U32(dataAt + 4) != 1) return Skip(RecordReason::BadRegion);  // RDH_RECTANGLES
    if (rectangles > kMaxRectangles) return Skip(RecordReason::TooLarge);
    return kPlay;
}

// ---- Polygons and gradients -------------------------------------------------------------

// PolyDraw's point types: move-to, line-to (closing or not), Bézier points in threes whose
// last may close the figure.
bool ValidPointTypes(std::span<const std::uint8_t> types) {
    constexpr std::uint8_t kClose = 1, kLineTo = 2, kBezierTo = 4, kMoveTo = 6;
    for (std::size_t i = 0; i < types.size();) {
        const std::uint8_t type = types[i];
        if (type == kMoveTo || type == kLineTo || type == (kLineTo | kClose)) {
            ++i;
        } else if (type == kBezierTo && types.size() - i >= 3 && types[i + 1] == kBezierTo &&
                   (types[i + 2] & ~kClose) == kBezierTo) {
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// The driver walks every polygon's count through the points, whatever the record's total.
RecordVerdict JudgePolyPoly(const Fields& r, std::uint64_t pointSize) {
    const std::uint64_t polygons = r.U32(24), points = r.U32(28);
    if (!r.Holds(32 + 4 * polygons + pointSize * points)) return Refuse(RecordReason::PartPastRecord);
    std::uint64_t total = 0;
    bool degenerate = polygons == 0;
    for (std::uint64_t i = 0; i < polygons; ++i) {
        const std::uint32_t count = r.U32(32 + 4 * i);
        total += count;
        degenerate = degenerate || count < 2;
    }
    if (total != points) return Refuse(RecordReason::CountsDisagree);
    if (points > kMaxPoints) return Skip(RecordReason::TooLarge);
    return degenerate ? Skip(RecordReason::BadPolyShape) : kPlay;
}

RecordVerdict JudgePoly(const Fields& r) {
    const std::uint32_t type = r.Type();
    const std::uint64_t count = r.U32(24);
    const std::uint64_t pointSize = type >= 85 ? 4 : 8;  // the 16-bit records
    if (type == 7 || type == 8 || type == 90 || type == 91) return JudgePolyPoly(r, pointSize);
    const bool draw = type == 56 || type == 92;  // POLYDRAW: a type byte after the points for each
    if (!r.Holds(28 + (pointSize + (draw ? 1 : 0)) * count)) return Refuse(RecordReason::PartPastRecord);
    if (count > kMaxPoints) return Skip(RecordReason::TooLarge);
    if (draw) return ValidPointTypes(r.Part(28 + pointSize * count, count)) ? kPlay : Skip(RecordReason::BadPolyShape);
    return count < 2 ? Skip(RecordReason::BadPolyShape) : kPlay;
}

// GRADIENTFILL: vertices, then the mesh right after them (the player reads no padding).
RecordVerdict JudgeGradient(const Fields& r) {
    const std::uint64_t vertices = r.U32(24), meshes = r.U32(28);
    const std::uint32_t mode = r.U32(32);
    const std::uint64_t indices = mode == 2 ? 3 : 2;  // GRADIENT_FILL_TRIANGLE, else rectangles
    if (!r.Holds(36 + 16 * vertices + 4 * indices * meshes)) return Refuse(RecordReason::PartPastRecord);
    if (vertices == 0 || meshes == 0 || mode > 2) return Skip(RecordReason::BadGradient);
    for (std::uint64_t i = 0; i < indices * meshes; ++i)
        if (r.U32(36 + 16 * vertices + 4 * i) >= vertices) return Skip(RecordReason::BadGradient);
    return kPlay;
}

// ---- Text -------------------------------------------------------------------------------

// An EMRTEXT as the player reads it: the rectangle always at +20, the spacing offset at +36.
struct EmrText {
    std::uint64_t Chars, StringAt, SpacingAt;
    std::uint32_t Options;
    std::uint64_t StringBytes(bool wide) const { return Chars * (wide || (Options & kEtoGlyphIndex) ? 2 : 1); }
    std::uint64_t SpacingBytes() const { return Chars * ((Options & kEtoPdy) ? 8 : 4); }
};

EmrText ReadEmrText(const Fields& r, std::uint64_t at) {
    return {r.U32(at + 8), r.U32(at + 12), r.U32(at + 36), r.U32(at + 16)};
}

bool TextInside(const Fields& r, const EmrText& t, bool wide, std::uint64_t fixed) {
    return r.Inside(t.StringAt, t.StringBytes(wide), fixed) &&
           (t.SpacingAt == 0 || r.Inside(t.SpacingAt, t.SpacingBytes(), fixed));
}

// 8-bit text with a byte of 0x80 or more may be multi-byte in the font's code page: the
// player's spacing walk then takes two entries per lead byte, or one per byte of UTF-8.
bool MayBeMultiByte(std::span<const std::uint8_t> string, std::uint32_t options, bool wide) {
    if (wide || (options & kEtoGlyphIndex)) return false;
    return std::any_of(string.begin(), string.end(), [](std::uint8_t byte) { return byte >= 0x80; });
}

// [MS-EMF] EXTTEXTOUT without a rectangle, rebuilt into the layout the player reads: the
// 16-byte rectangle inserted before offDx, the offsets behind it moved along. The rectangle is
// empty, so the options that would use it go with ETO_NO_RECT.
bool RebuildWithRectangle(const Fields& r, std::vector<std::uint8_t>& out) {
    constexpr std::uint64_t kShortFixed = kExtTextOutFixed - kTextRectangle;
    const std::uint64_t chars = r.U32(44), stringAt = r.U32(48), spacingAt = r.U32(56);
    if ((chars != 0 && (stringAt < kShortFixed || stringAt > r.Size())) ||
        (spacingAt != 0 && (spacingAt < kShortFixed || spacingAt > r.Size())))
        return false;
    const std::span<const std::uint8_t> bytes = r.Bytes();
    out.assign(bytes.begin(), bytes.begin() + 56);
    out.resize(kExtTextOutFixed, 0);
    out.insert(out.end(), bytes.begin() + kShortFixed, bytes.end());
    PutU32(out, 4, static_cast<std::uint32_t>(out.size()));
    if (stringAt >= kShortFixed) PutU32(out, 48, static_cast<std::uint32_t>(stringAt + kTextRectangle));
    PutU32(out, 52, r.U32(52) & ~(kEtoNoRect | kEtoOpaque | kEtoClipped));
    PutU32(out, 72, spacingAt == 0 ? 0 : static_cast<std::uint32_t>(spacingAt + kTextRectangle));
    return true;
}

// ---- Escapes ----------------------------------------------------------------------------

// Escapes carry data for the driver the job was made for; none of it belongs on another.
RecordReason EscapeReason(std::uint32_t escape) {
    switch (escape) {
    case 8: case 12: case 13: case 14: case 20: case 42:  // QUERYESCSUPPORT, GETPHYSPAGESIZE, ..., GETDEVICEUNITS
        return RecordReason::QueryEscape;
    case 19: case 37: case 38:                   // PASSTHROUGH, POSTSCRIPT_DATA, POSTSCRIPT_IGNORE
    case 4096: case 4097: case 4098:             // BEGIN_PATH, CLIP_TO_PATH, END_PATH
    case 4110: case 4111: case 4112:             // OPEN_CHANNEL, DOWNLOADHEADER, CLOSE_CHANNEL
    case 4115: case 4116: case 4117: case 4118:  // POSTSCRIPT_PASSTHROUGH .. POSTSCRIPT_INJECTION
    case 4568:                                   // SPCLPASSTHROUGH2
        return RecordReason::PostScriptEscape;
    default: return RecordReason::DriverEscape;
    }
}

// ---- Objects ----------------------------------------------------------------------------

// CREATEBRUSHINDIRECT and EXTCREATEPEN: the player hands the hatch over as a bitmap handle
// (BS_PATTERN), a memory handle (BS_DIBPATTERN) or a pointer to a packed DIB (BS_DIBPATTERNPT).
RecordVerdict JudgeBrushStyle(std::uint32_t style, std::uint32_t hatch) {
    constexpr std::uint32_t kSolid = 0, kNull = 1, kHatched = 2, kPattern = 3, kDibPattern = 5, kDibPatternPt = 6;
    constexpr std::uint32_t kPattern8x8 = 7, kLastHatch = 5;  // HS_DIAGCROSS
    if (style == kSolid || style == kNull) return kPlay;
    if (style == kHatched) return hatch <= kLastHatch ? kPlay : Skip(RecordReason::BadStyle);
    if (style == kPattern || style == kDibPattern || style == kDibPatternPt || style == kPattern8x8)
        return Skip(RecordReason::BrushByHandle);
    return Skip(RecordReason::BadStyle);
}

RecordVerdict JudgeExtCreatePen(const Fields& r) {
    constexpr std::uint64_t kMostStyleEntries = 16;
    const std::uint64_t entries = r.U32(48);
    // The player ignores the embedded DIB; it must still lie inside the record.
    if (!r.Holds(52 + 4 * entries) || !r.Inside(r.U32(12), r.U32(16), 52) || !r.Inside(r.U32(20), r.U32(24), 52))
        return Refuse(RecordReason::PartPastRecord);
    if (entries > kMostStyleEntries) return Skip(RecordReason::BadStyle);
    return JudgeBrushStyle(r.U32(36), r.U32(44));
}

bool FaceNameEnds(const Fields& r) {
    constexpr std::uint64_t kFaceName = 40, kFaceNameUnits = 32;
    for (std::uint64_t i = 0; i < kFaceNameUnits; ++i)
        if (r.U16(kFaceName + 2 * i) == 0) return true;
    return false;
}

// ---- Sizes of the records whose variable part is one counted block ---------------------

// Whether the counted parts of the other records lie inside; which records are checked
// elsewhere says JudgeRecord.
bool CountedPartsInside(const Fields& r) {
    auto u32 = [&](std::uint64_t at) { return std::uint64_t{r.U32(at)}; };
    switch (r.Type()) {
    case 49: return r.Holds(16 + 4 * std::uint64_t{r.U16(14)});  // CREATEPALETTE
    case 50: return r.Holds(20 + 4 * u32(16));                   // SETPALETTEENTRIES
    case kEmrGdiComment: case 102: return r.Holds(12 + u32(8));  // GDICOMMENT, GLSRECORD
    case 103: return r.Holds(28 + u32(24));                      // GLSBOUNDEDRECORD
    case 105: case 106: return r.Holds(16 + u32(12));            // DRAWESCAPE, EXTESCAPE
    case 110: return r.Holds(20 + u32(12) + u32(16));            // NAMEDESCAPE
    case 112: case 113: return r.Holds(20 + u32(12) + u32(16));  // SETICMPROFILEA/W
    case 119: return r.Holds(12 + 8 * u32(8) + 8);               // SETLINKEDUFIS, then 8 reserved bytes
    case 121: return r.Holds(24 + u32(16) + u32(20));            // COLORMATCHTOTARGETW
    case 122: return r.Holds(608 + u32(604));                    // CREATECOLORSPACEW
    default: return true;
    }
}

// The records skipped whatever they hold, once their sizes are checked.
RecordReason SkippedType(const Fields& r) {
    switch (r.Type()) {
    case kEmrGdiComment: return RecordReason::Comment;
    case 48: case 49: case 50: case 51: case 52: case 111: return RecordReason::Palette;
    case 99: case 100: case 101: case 112: case 113: case 121: case 122: return RecordReason::ColourManagement;
    case 102: case 103: case 104: return RecordReason::OpenGl;
    case 105: case 106: case 110: return EscapeReason(r.U32(8));
    default: return RecordReason::None;
    }
}

}  // namespace

RecordCheck::RecordCheck(std::uint32_t handles, std::uint32_t paletteEntries)
    : m_Handles(handles), m_PaletteEntries(paletteEntries) {}

RecordVerdict RecordCheck::Check(std::span<const std::uint8_t> bytes) {
    m_Replacement.clear();
    ByteReader reader(bytes);
    const std::uint32_t type = reader.U32(), size = reader.U32();
    if (reader.Failed() || size < 8 || size % 4 != 0 || size > bytes.size()) return Refuse(RecordReason::BadFrame);
    // The player's table has no slot for the metafile itself then: it writes past its end.
    if (m_Handles == 0) return Refuse(RecordReason::NoObjectTable);
    // The player goes on past EMR_EOF as long as the page's bytes last.
    if (m_Ended) return Refuse(RecordReason::AfterEof);
    if ((m_Records++ == 0) != (type == kEmrHeader)) return Refuse(RecordReason::HeaderMisplaced);
    const std::span<const std::uint8_t> record = bytes.first(size);
    if (type > kLastKnownType || kFixedSize[type] == 0) return Skip(RecordReason::UnknownType);
    if (size < kFixedSize[type]) return Refuse(RecordReason::TooShort);
    const RecordVerdict verdict = Judge(record);
    if (verdict.Action == RecordAction::Play || verdict.Action == RecordAction::Rewrite) {
        const Fields r(record);
        if (type == 33) ++m_Saves;                                          // SAVEDC
        if (type == 34) m_Saves -= static_cast<std::uint64_t>(-std::int64_t{r.I32(8)});  // RESTOREDC, checked
        if (type == 22 && (r.U32(8) & kTaRtlReading)) m_RightToLeft = true;  // SETTEXTALIGN
        if (type == kEmrEof) m_Ended = true;
    }
    return verdict;
}

RecordVerdict RecordCheck::Judge(std::span<const std::uint8_t> record) {
    const Fields r(record);
    switch (r.Type()) {
    case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 56:              // POLY*, POLYPOLY*, POLYDRAW
    case 85: case 86: case 87: case 88: case 89: case 90: case 91: case 92:     // their 16-bit forms
        return JudgePoly(r);
    case 71: case 72: {  // FILLRGN, FRAMERGN: a region, and a brush from the table
        const RecordVerdict region = JudgeRegion(r, 24, r.Type() == 71 ? 32 : 40);
        return Objects(region) ? region : JudgeObject(record);
    }
    case 73: case 74: return JudgeRegion(r, 24, 28);  // INVERTRGN, PAINTRGN
    case 75: return JudgeClipRegion(record);          // EXTSELECTCLIPRGN
    case 76: case 77: case 78: case 79: case 80: case 81: case 114: case 116:
        return JudgeBitmapRecord(r);
    case 93: case 94: {  // CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT
        const RecordVerdict bitmap = JudgeBitmapRecord(r);
        return bitmap.Action == RecordAction::Refuse ? bitmap : Worse(JudgeObject(record), bitmap);
    }
    case 95: {  // EXTCREATEPEN
        const RecordVerdict pen = JudgeExtCreatePen(r);
        return pen.Action == RecordAction::Refuse ? pen : Worse(JudgeObject(record), pen);
    }
    case 39: {  // CREATEBRUSHINDIRECT
        const RecordVerdict object = JudgeObject(record);
        return Objects(object) ? object : JudgeBrushStyle(r.U32(12), r.U32(20));
    }
    case 82: {  // EXTCREATEFONTINDIRECTW
        const RecordVerdict object = JudgeObject(record);
        return Objects(object) || FaceNameEnds(r) ? object : Skip(RecordReason::FaceNameOpen);
    }
    case 37: case 38: case 40: return JudgeObject(record);  // SELECTOBJECT, CREATEPEN, DELETEOBJECT
    case 83: return JudgeExtTextOut(record, false);
    case 84: return JudgeExtTextOut(record, true);
    case 108: return JudgeSmallTextOut(record);
    case 96: return JudgePolyTextOut(record, false);
    case 97: return JudgePolyTextOut(record, true);
    case 118: return JudgeGradient(r);
    case kEmrEof: case 34: return JudgeState(record);
    default:
        if (!CountedPartsInside(r)) return Refuse(RecordReason::PartPastRecord);
        if (const RecordReason reason = SkippedType(r); reason != RecordReason::None) return Skip(reason);
        return kPlay;
    }
}

// The object table's slots by index: the player compares no index with the table's size,
// and decodes the stock bit only when it selects.
RecordVerdict RecordCheck::JudgeObject(std::span<const std::uint8_t> record) {
    const Fields r(record);
    const std::uint32_t type = r.Type();
    const std::uint32_t index = r.U32(type == 71 || type == 72 ? 28 : 8);
    const bool stock = (index & kStockObject) != 0;
    if (type == 37 && stock) return index <= kLastStockObject ? kPlay : Skip(RecordReason::HandleOutOfRange);
    // Deleting a stock object does nothing; the player would clear the slot the index wraps to.
    if (type == 40 && stock) return Skip(RecordReason::StockObjectDeleted);
    // Slot 0 holds the metafile being played.
    if (index == 0 || index >= m_Handles) return Skip(RecordReason::HandleOutOfRange);
    return kPlay;
}

// EXTTEXTOUTA/W: the string and spacing as the player walks them; layouts it would misread
// rebuilt, spacing it would read past the array dropped or made to count per character.
RecordVerdict RecordCheck::JudgeExtTextOut(std::span<const std::uint8_t> record, bool wide) {
    Fields r(record);
    RecordReason change = RecordReason::None;
    if (r.U32(52) & kEtoNoRect) {
        if (!RebuildWithRectangle(r, m_Replacement)) return Refuse(RecordReason::PartPastRecord);
        r = Fields(m_Replacement);
        change = RecordReason::TextWithoutRectangle;
    }
    if (r.Size() < kExtTextOutFixed) return Refuse(RecordReason::TooShort);
    const EmrText text = ReadEmrText(r, 36);
    if (!TextInside(r, text, wide, kExtTextOutFixed)) return Refuse(RecordReason::PartPastRecord);
    if (text.SpacingAt != 0) {
        const std::span<const std::uint8_t> string = r.Part(text.StringAt, text.StringBytes(wide));
        if (MayBeMultiByte(string, text.Options, wide)) {
            PutU32(Edit(record), 72, 0);  // no spacing array: the font's own advances
            change = RecordReason::TextMultiByte;
        } else if (CouldShape(string, text.Options, wide)) {
            PutU32(Edit(record), 52, text.Options | kEtoIgnoreLanguage);  // one spacing value per character
            change = RecordReason::TextShaping;
        }
    }
    return change == RecordReason::None ? kPlay : Rewrite(change);
}

// POLYTEXTOUTA/W: every entry through the player's ExtTextOut, always with a spacing array
// (read from the record's start when offDx is 0). Entries cannot be rebuilt in place: skipped.
RecordVerdict RecordCheck::JudgePolyTextOut(std::span<const std::uint8_t> record, bool wide) {
    const Fields r(record);
    const std::uint64_t strings = r.U32(36), fixed = 40 + 40 * strings;
    if (!r.Holds(fixed)) return Refuse(RecordReason::PartPastRecord);
    RecordVerdict verdict;
    for (std::uint64_t i = 0; i < strings; ++i) {
        const EmrText text = ReadEmrText(r, 40 + 40 * i);
        if (text.Options & kEtoNoRect) return Skip(RecordReason::TextWithoutRectangle);  // entries of another size
        if (!TextInside(r, text, wide, fixed)) return Refuse(RecordReason::PartPastRecord);
        const std::span<const std::uint8_t> string = r.Part(text.StringAt, text.StringBytes(wide));
        if (text.SpacingAt == 0) verdict = Worse(verdict, Skip(RecordReason::PolyTextNoSpacing));
        else if (MayBeMultiByte(string, text.Options, wide)) verdict = Worse(verdict, Skip(RecordReason::TextMultiByte));
        else if (CouldShape(string, text.Options, wide)) verdict = Worse(verdict, Skip(RecordReason::TextShaping));
    }
    return verdict;
}

// The player shapes text (and then reads one spacing value per glyph, of which there may be
// more than characters) unless told not to, when it finds right-to-left or complex script:
// any UTF-16 unit from U+0590 on counts, or right-to-left reading asked for.
bool RecordCheck::CouldShape(std::span<const std::uint8_t> string, std::uint32_t options, bool wide) const {
    if (options & (kEtoGlyphIndex | kEtoIgnoreLanguage)) return false;
    if ((options & kEtoRtlReading) || m_RightToLeft) return true;
    if (!wide) return false;  // 8-bit text with bytes below 0x80 converts to ASCII
    for (std::size_t i = 0; i + 1 < string.size(); i += 2)
        if ((string[i] | string[i + 1] << 8) >= 0x590) return true;
    return false;
}

// EMR_SMALLTEXTOUT, which Wine's player ignores (the text would be missing from the page), as
// the EXTTEXTOUTW it stands for: 8-bit characters (ETO_SMALL_CHARS) widened, the clip
// rectangle in its place, no spacing array (the record has none).
RecordVerdict RecordCheck::JudgeSmallTextOut(std::span<const std::uint8_t> record) {
    const Fields r(record);
    const std::uint32_t options = r.U32(20);
    const bool rectangle = (options & kEtoNoRect) == 0, narrow = (options & kEtoSmallChars) != 0;
    const std::uint64_t chars = r.U32(16), stringAt = rectangle ? 52 : 36;
    if (!r.Holds(stringAt + chars * (narrow ? 1 : 2))) return Refuse(RecordReason::PartPastRecord);
    constexpr std::uint32_t kExtTextOutW = 84;
    std::vector<std::uint8_t>& out = m_Replacement;
    out.assign(kExtTextOutFixed + (2 * chars + 3) / 4 * 4, 0);
    PutU32(out, 0, kExtTextOutW);
    PutU32(out, 4, static_cast<std::uint32_t>(out.size()));
    for (std::size_t at = 24; at < 36; at += 4) PutU32(out, at, r.U32(at));  // graphics mode and scales
    PutU32(out, 36, r.U32(8));                                               // the reference point
    PutU32(out, 40, r.U32(12));
    PutU32(out, 44, static_cast<std::uint32_t>(chars));
    PutU32(out, 48, static_cast<std::uint32_t>(kExtTextOutFixed));
    PutU32(out, 52, options & ~(kEtoNoRect | kEtoSmallChars | (rectangle ? 0 : kEtoOpaque | kEtoClipped)));
    if (rectangle) std::copy(record.begin() + 36, record.begin() + 52, out.begin() + 56);
    for (std::uint64_t i = 0; i < chars; ++i) {
        const std::size_t from = static_cast<std::size_t>(stringAt + i * (narrow ? 1 : 2));
        const std::size_t to = static_cast<std::size_t>(kExtTextOutFixed + 2 * i);
        out[to] = record[from];
        out[to + 1] = narrow ? 0 : record[from + 1];
    }
    return Rewrite(RecordReason::SmallText);
}

// EXTSELECTCLIPRGN: the player builds a region only from a record of 52 bytes or more, and
// takes a shorter one for "no region", an empty region included.
RecordVerdict RecordCheck::JudgeClipRegion(std::span<const std::uint8_t> record) {
    const Fields r(record);
    const std::uint32_t mode = r.U32(12);
    if (r.U32(8) == 0) {
        if (r.Size() != 16) return Refuse(RecordReason::CountsDisagree);  // the player would read a region anyway
        return mode == kRgnCopy ? kPlay : Skip(RecordReason::ClipWithoutRegion);
    }
    if (const RecordVerdict region = JudgeRegion(r, 8, 16); Objects(region)) return region;
    if (mode < kRgnAnd || mode > kRgnCopy) return Skip(RecordReason::BadRegion);
    if (r.U32(16 + 8) != 0) return kPlay;
    // Nothing is left to draw in after copying or intersecting an empty region: an empty
    // rectangle intersected says so to the player too. Other modes leave the clip as it is.
    if (mode != kRgnCopy && mode != kRgnAnd) return Skip(RecordReason::EmptyClipRegion);
    constexpr std::uint32_t kIntersectClipRect = 30, kIntersectClipRectSize = 24;
    m_Replacement.assign(kIntersectClipRectSize, 0);
    PutU32(m_Replacement, 0, kIntersectClipRect);
    PutU32(m_Replacement, 4, kIntersectClipRectSize);
    return Rewrite(RecordReason::EmptyClipRegion);
}

// RESTOREDC and EMR_EOF, judged against what came before on the page.
RecordVerdict RecordCheck::JudgeState(std::span<const std::uint8_t> record) {
    const Fields r(record);
    if (r.Type() == 34) {
        // A restore past this page's own saves would pop the caller's state of the DC.
        const std::int64_t relative = r.I32(8);
        const bool own = relative <= -1 && -relative <= static_cast<std::int64_t>(m_Saves);
        return own ? kPlay : Skip(RecordReason::RestoreBeyondPage);
    }
    // EMR_EOF: its palette (read by the palette getter) inside it, its last DWORD its size.
    const std::uint64_t entries = r.U32(8), paletteAt = r.U32(12);
    if (entries != 0 && !r.Inside(paletteAt, 4 * entries + 4, 16)) return Refuse(RecordReason::PartPastRecord);
    if (r.U32(r.Size() - 4) != r.Size() || entries != m_PaletteEntries) return Refuse(RecordReason::CountsDisagree);
    return kPlay;
}

std::vector<std::uint8_t>& RecordCheck::Edit(std::span<const std::uint8_t> record) {
    if (m_Replacement.empty()) m_Replacement.assign(record.begin(), record.end());
    return m_Replacement;
}

const char* RecordReasonText(RecordReason reason) {
    switch (reason) {
    case RecordReason::None: return "no fault";
    case RecordReason::BadFrame: return "size below 8, not a multiple of 4 or past the page";
    case RecordReason::TooShort: return "too short for its type";
    case RecordReason::PartPastRecord: return "a count, string, bitmap or region runs past the record";
    case RecordReason::CountsDisagree: return "its counts or sizes disagree";
    case RecordReason::NoObjectTable: return "the page has no object table";
    case RecordReason::HeaderMisplaced: return "the page's header is not its first record";
    case RecordReason::AfterEof: return "a record after EMR_EOF";
    case RecordReason::UnknownType: return "unknown record type";
    case RecordReason::HandleOutOfRange: return "object index outside the handle table";
    case RecordReason::StockObjectDeleted: return "deletion of a stock object";
    case RecordReason::DriverEscape: return "escape for the original printer's driver";
    case RecordReason::PostScriptEscape: return "PostScript for the original printer's driver";
    case RecordReason::QueryEscape: return "question to the original printer's driver";
    case RecordReason::Comment: return "comment";
    case RecordReason::ColourManagement: return "colour profile or colour space of the original machine";
    case RecordReason::OpenGl: return "OpenGL record";
    case RecordReason::Palette: return "palette record";
    case RecordReason::BitmapAbsent: return "bitmap record without its bitmap";
    case RecordReason::BadBitmap: return "bitmap header the player rejects or misreads";
    case RecordReason::ImageFormat: return "JPEG or PNG image";
    case RecordReason::BitmapProfile: return "bitmap with a colour profile outside it";
    case RecordReason::BitsPastImage: return "more bitmap bits than the image holds";
    case RecordReason::RleSourceOutside: return "compressed image's source rectangle outside the image";
    case RecordReason::TooLarge: return "too many points, rectangles or pixels";
    case RecordReason::BadRegion: return "region header or clip mode the player does not take";
    case RecordReason::ClipWithoutRegion: return "clip mode other than copy without a region";
    case RecordReason::BrushByHandle: return "brush style whose hatch the player takes for a handle";
    case RecordReason::BadStyle: return "brush or pen style out of range";
    case RecordReason::BadPolyShape: return "figure of fewer than 2 points or with unknown point types";
    case RecordReason::BadGradient: return "gradient without vertices or with a vertex index out of range";
    case RecordReason::RestoreBeyondPage: return "restore of a state the page did not save";
    case RecordReason::FaceNameOpen: return "font face name without its end";
    case RecordReason::PolyTextNoSpacing: return "text entry without spacing";
    case RecordReason::TextWithoutRectangle: return "text without rectangle (ETO_NO_RECT)";
    case RecordReason::TextShaping: return "shaped text with spacing, drawn unshaped";
    case RecordReason::TextMultiByte: return "8-bit text with spacing and bytes of 0x80 or more";
    case RecordReason::EmptyClipRegion: return "clip to an empty region";
    case RecordReason::SmallText: return "EMR_SMALLTEXTOUT, played as EXTTEXTOUTW";
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
