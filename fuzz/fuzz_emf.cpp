// libFuzzer target: the input is read as a whole EMF spool file (checked, and listed without
// the page checks), as one page's EMF, as one EMF record after a header and as a DEVMODE,
// through the reader's public functions. What the reader lists must lie inside the file, and
// the player's second check of a listed page must agree. Every record the check lets play
// goes through a model of the player's reads, which must stay inside the record and table.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "EmfSpool/EmfSpoolReader.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// A model of what Wine 8's player reads of a record it plays, written from what its code reads
// (not from the check's rules): every field and range, inside the record or it aborts, and
// every object-table slot, inside the table or it aborts. Ranges are 64-bit; where the player
// computes a size in 32 bits, the model requires that it does not wrap.
class PlayerModel {
public:
    explicit PlayerModel(std::uint32_t handles, std::span<const std::uint8_t> record = {}) : m_Handles(handles), m_Record(record) {}

    void Play(std::span<const std::uint8_t> record) {
        m_Record = record;
        const std::uint32_t type = U32(0);
        Read(0, type < sizeof kFixed ? kFixed[type] * 4u : 8);
        const std::uint64_t n = type < sizeof kFixed && kFixed[type] >= 7 ? U32(24) : 0;
        switch (type) {
        case 2: case 3: case 4: case 5: case 6: Read(28, 8 * n); break;
        case 85: case 86: case 87: case 88: case 89: Read(28, 4 * n), Fits32(8 * n); break;
        case 56: case 92: Read(28, (type == 56 ? 9 : 5) * n), Fits32(8 * n); break;
        case 7: case 8: Read(32 + 4 * n, 8 * DriverPoints(n)); break;  // cptl ignored
        case 90: case 91: Require(DriverPoints(n) <= U32(28)), Read(32 + 4 * n, 4ull * U32(28)); break;
        case 71: case 72: Slot(U32(28)), Region(type == 71 ? 32 : 40); break;
        case 73: case 74: Region(28); break;
        case 75: if (record.size() >= 52) Region(16); break;
        case 37: case 48: if (!(U32(8) & 0x80000000)) Slot(U32(8)); break;  // the stock bit decoded
        case 38: case 40: case 82: case 99: case 100: case 101: Slot(U32(8)); break;
        case 49: Slot(U32(8)), Read(16, 4ull * (U32(12) >> 16)); break;
        case 50: Slot(U32(8)), Read(20, 4ull * U32(16)), Fits32(std::uint64_t{U32(12)} + U32(16)); break;
        case 51: Slot(U32(8)), Fits32(4ull * U32(12)); break;
        case 39: Slot(U32(8)), Brush(U32(12)); break;
        case 95: Slot(U32(8)), Brush(U32(36));
            if ((U32(28) & 0xF) == 7 && U32(48) >= 1 && U32(48) <= 16) Read(52, 4ull * U32(48));  // PS_USERSTYLE
            break;
        case 76: case 77: if (U32(84)) Bitmap(84, 80); break;
        case 78: Bitmap(84, 80), Bitmap(112, 108); break;
        case 79: Bitmap(96, 92), Bitmap(124, 120); break;
        case 80: if (U32(72)) SetDiBitsToDevice(); break;
        case 81: Bitmap(48, 64); break;
        case 114: if (U32(84)) AlphaBlend(); break;
        case 93: Slot(U32(8)), MonoBrush(); break;
        case 94: Slot(U32(8)), PatternBrush(); break;
        case 83: case 84: Text(36, type == 84, false); break;
        case 96: case 97: Fits32(40ull * U32(36));
            for (std::uint64_t i = 0; i < U32(36); ++i) Text(40 + 40 * i, type == 97, true);
            break;
        case 118: Gradient(); break;
        case 22: m_Align = U32(8); break;
        case 33: m_Saved.push_back(m_Align); break;
        case 34: Restore(static_cast<std::int32_t>(U32(8))); break;
        default: break;
        }
    }

private:
    // What the player reads at fixed places, in DWORDs, by type; 2 (type and size) for the
    // types it ignores (escapes, comments on a printer, ICM, UFI, GLS, SMALLTEXTOUT, TRANSPARENTBLT).
    static constexpr std::uint8_t kFixed[] = {
        2, 22, 7, 7, 7, 7, 7, 8, 8, 4, 4, 4, 4, 4, 2, 5, 3, 3, 3, 3, 3, 3, 3, 8, 3, 3, 4, 4, 2, 6, 6,       // 0 .. 30
        6, 6, 2, 3, 8, 9, 3, 7, 6, 3, 7, 6, 6, 8, 10, 10, 10, 3, 4, 5, 4, 2, 6, 4, 10, 7, 3, 3, 2, 2,     // 31 .. 60
        2, 2, 2, 2, 2, 2, 3, 2, 2, 2, 8, 10, 7, 7, 4, 25, 27, 32, 35, 19, 20, 26, 19, 19, 7, 7, 7, 7, 7, 8, // 61 .. 90
        8, 7, 8, 8, 13, 10, 10, 3, 85, 3, 3, 2, 2, 12, 2, 2, 2, 2, 2, 2, 2, 2, 2, 27, 3, 2, 2, 9, 2, 4,     // 91 .. 120
        2, 2};
    void Read(std::uint64_t at, std::uint64_t length) const {
        Require(length == 0 || (at <= m_Record.size() && length <= m_Record.size() - at));
    }
    static void Fits32(std::uint64_t bytes) { Require(bytes <= 0xFFFFFFFF); }
    std::uint32_t U32(std::uint64_t at) const {
        Read(at, 4);
        return m_Record[at] | m_Record[at + 1] << 8 | m_Record[at + 2] << 16 | std::uint32_t{m_Record[at + 3]} << 24;
    }
    std::uint32_t U16(std::uint64_t at) const { return Read(at, 2), m_Record[at] | m_Record[at + 1] << 8; }
    std::int64_t I32(std::uint64_t at) const { return static_cast<std::int32_t>(U32(at)); }
    // Slots are read and written at table + 4 * index, on 32 bits modulo 2^32: no index is compared.
    void Slot(std::uint32_t index) const { Require(index < m_Handles); }
    // BS_PATTERN, BS_DIBPATTERN, BS_DIBPATTERNPT, BS_PATTERN8X8: the hatch is used as a handle or pointer.
    static void Brush(std::uint32_t style) { Require(style != 3 && style != 5 && style != 6 && style != 7); }
    // The poly-poly drivers: the counts at +32, summed in 32 bits, and one point for a count of 0.
    std::uint64_t DriverPoints(std::uint64_t polygons) const {
        std::uint64_t points = 0;
        for (std::uint64_t i = 0; i < polygons; ++i) points += std::max<std::uint32_t>(U32(32 + 4 * i), 1);
        Fits32(8 * points);
        return points;
    }
    void Region(std::uint64_t at) const {
        if (U32(at) >= 32) Read(at + 32, 16ull * U32(at + 8));
    }
    struct Dib { bool Valid; std::uint64_t Width, Rows, Image, Compression; };
    // The header at b, the colour table it implies and whether the player takes it.
    Dib Header(std::uint64_t b, std::uint32_t usage, bool rleAllowed) const {
        const std::uint64_t size = U32(b);
        const bool core = size == 12;
        if (!core && size < 40) return {};
        const std::int64_t width = core ? U16(b + 4) : I32(b + 4), height = core ? U16(b + 6) : I32(b + 8);
        const std::uint32_t planes = U16(b + (core ? 8 : 12)), bpp = U16(b + (core ? 10 : 14));
        const std::uint32_t compression = core ? 0 : U32(b + 16), used = core ? 0 : U32(b + 32);
        if (compression == 3) Read(b + 40, 12);
        const std::uint64_t full = bpp <= 8 ? 1ull << bpp : 0, entries = used && full ? std::min<std::uint64_t>(used, full) : full;
        Read(b + size, entries * (usage == 1 ? 2 : core && usage == 0 ? 3 : 4));
        const bool rle = ((compression == 1 && bpp == 8) || (compression == 2 && bpp == 4)) && rleAllowed && height > 0 && U32(b + 20);
        const bool known = rle || (compression == 0 && (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32)) ||
                           (compression == 3 && (bpp == 16 || bpp == 32));
        const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
        const std::uint64_t stride = width > 0 ? (width * bpp + 31) / 32 * 4 : 0;
        const bool valid = known && width > 0 && rows && planes && usage <= 2 && width * bpp <= 0xFFFFFFFF && stride * rows <= 0xFFFFFFFF;
        return {valid, static_cast<std::uint64_t>(width), rows, rle ? U32(b + 20) : stride * rows, compression};
    }
    // A bitmap with offBmi, cbBmi, offBits, cbBits at fields: the bits the header implies (rows: SETDIBITSTODEVICE's cScans).
    Dib Bitmap(std::uint64_t fields, std::uint64_t usageAt, std::uint64_t rows = ~0ull, bool rleAllowed = true) const {
        const Dib dib = Header(U32(fields), U32(usageAt), rleAllowed);
        if (dib.Valid) Read(U32(fields + 8), dib.Compression == 1 || dib.Compression == 2 ? dib.Image : dib.Image / dib.Rows * std::min(dib.Rows, rows));
        return dib;
    }
    // RLE is decompressed at (xSrc + cxSrc) x (ySrc + cySrc), the buffer sized in 32-bit int arithmetic.
    void SetDiBitsToDevice() const {
        const Dib dib = Bitmap(48, 64, U32(72));
        const std::int64_t width = I32(32) + I32(40), height = I32(36) + I32(44), bpp = dib.Compression == 1 ? 8 : 4;
        if (dib.Valid && (dib.Compression == 1 || dib.Compression == 2) && width > 0 && height != 0)
            Require(width * bpp + 31 < (1ll << 31) && (width * bpp + 31) / 32 * 4 * (height < 0 ? -height : height) < (1ll << 31));
    }
    // A section made from the header, then cbBitsSrc bytes copied into it, unchecked.
    void AlphaBlend() const {
        const Dib dib = Header(U32(84), U32(80), false);
        Read(U32(92), U32(96));
        Require(U32(96) == 0 || (dib.Valid && U32(80) <= 1 && U32(96) <= dib.Image));
    }
    // Two colour entries for the black-and-white test, then a device bitmap (DIB_PAL_INDICES) or the DIB paths.
    void MonoBrush() const {
        const std::uint64_t b = U32(16), bpp = U16(b + 14);
        if (bpp == 1) Read(U32(b) == 12 ? b + 12 : b + 40, U32(b) == 12 ? 6 : 8);
        if (U32(12) != 2) return (void)Bitmap(16, 12);
        const std::uint64_t width = std::llabs(I32(b + 4)), height = std::llabs(I32(b + 8));
        const std::uint64_t rounded = bpp <= 1 ? 1 : bpp <= 4 ? 4 : bpp <= 8 ? 8 : bpp <= 16 ? 16 : bpp <= 24 ? 24 : 32;
        if (U16(b + 12) == 1 && bpp <= 32 && width <= 0x7FFFFFF && height <= 0x7FFFFFF)
            Read(U32(24), height * ((width * rounded + 15) / 16 * 2));
    }
    // After the player's own check, cbBmi then cbBits bytes in one block; the brush reads header
    // and table from it, and the bits after the header size it counts itself (ClrUsed up to 256).
    void PatternBrush() const {
        const std::uint64_t infoAt = U32(16), infoSize = U32(20), bitsAt = U32(24), bitsSize = U32(28);
        if (infoAt + infoSize > m_Record.size() || bitsAt + bitsSize > m_Record.size()) return;
        std::vector<std::uint8_t> bytes(m_Record.begin() + infoAt, m_Record.begin() + infoAt + infoSize);
        bytes.insert(bytes.end(), m_Record.begin() + bitsAt, m_Record.begin() + bitsAt + bitsSize);
        const PlayerModel block(m_Handles, bytes);
        const Dib dib = block.Header(0, U32(12), false);
        const std::uint64_t size = block.U32(0), used = block.U32(32), bpp = block.U16(14);
        const std::uint64_t entries = used ? std::min<std::uint64_t>(used, 256) : bpp <= 8 ? 1ull << bpp : 0;
        if (dib.Valid) block.Read(std::max<std::uint64_t>(size, block.U32(16) == 3 ? 52 : 0) + entries * (U32(12) == 1 ? 2 : 4), dib.Image);
    }
    // An EMRTEXT at at, the rectangle always read: the string, the spacing per character, or per
    // glyph when the text is shaped or (8-bit) may be multi-byte, which no length bounds.
    void Text(std::uint64_t at, bool wide, bool alwaysSpacing) const {
        const std::uint64_t chars = U32(at + 8), stringAt = U32(at + 12), options = U32(at + 16), spacingAt = U32(at + 36);
        const std::uint64_t unit = wide || (options & 0x10) ? 2 : 1;  // ETO_GLYPH_INDEX
        if (chars >= 0x80000000) return;  // the call fails
        Read(stringAt, unit * chars);
        if (spacingAt == 0 && !alwaysSpacing) return;
        Read(spacingAt, chars * ((options & 0x2000) ? 8 : 4));  // ETO_PDY
        bool shaped = (options & 0x80) || (m_Align & 0x100) || m_AlignUnknown;  // ETO_RTLREADING, TA_RTLREADING
        for (std::uint64_t i = 0; i < chars; ++i) {
            const std::uint32_t c = unit == 2 ? U16(stringAt + 2 * i) : m_Record[stringAt + i];
            Require(unit == 2 || (options & 0x10) || c < 0x80);
            shaped = shaped || (unit == 2 && ((c >= 0x590 && c <= 0xFFF) || (c >= 0x1CD0 && c <= 0x1CFF) ||
                                              (c >= 0xA840 && c <= 0xA8FF) || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xFB1D && c <= 0xFEFF)));
        }
        Require((options & 0x1010) || !shaped);  // ETO_IGNORELANGUAGE, ETO_GLYPH_INDEX
    }
    void Gradient() const {
        const std::uint64_t vertices = U32(24), meshes = U32(28), mode = U32(32);
        if (!vertices || !meshes || mode > 2) return;
        Fits32(meshes * (mode == 2 ? 12 : 8)), Fits32(8 * vertices);
        Read(36, 16 * vertices + meshes * (mode == 2 ? 12 : 8));
    }
    void Restore(std::int32_t relative) {
        const std::uint64_t back = relative < 0 ? static_cast<std::uint64_t>(-std::int64_t{relative}) : ~0ull;
        m_AlignUnknown = m_AlignUnknown || back > m_Saved.size();  // a state from before the page
        if (back > m_Saved.size()) return;
        m_Align = m_Saved[m_Saved.size() - back];
        m_Saved.resize(m_Saved.size() - back);
    }

    std::uint32_t m_Handles;
    std::span<const std::uint8_t> m_Record;
    std::uint32_t m_Align = 0;
    bool m_AlignUnknown = false;
    std::vector<std::uint32_t> m_Saved;
};

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

// The page's records as the player walks them, through a RecordCheck: what may play, or the
// copy played instead, through the model.
void PlayThroughModel(std::span<const std::uint8_t> page, std::uint32_t handles, std::uint32_t paletteEntries) {
    emf::RecordCheck records(handles, paletteEntries);
    PlayerModel player(handles);
    for (std::size_t at = 0; page.size() - at >= 8;) {
        const emf::RecordVerdict verdict = records.Check(page.subspan(at));
        Require(emf::RecordReasonText(verdict.Reason) != nullptr);
        if (verdict.Action == emf::RecordAction::Refuse) return;
        const std::uint32_t size = Le32(page, at + 4);
        // Slot 0 holds the metafile; a size of 0 would play the same record for ever.
        Require(handles >= 1 && size >= 8 && size % 4 == 0 && size <= page.size() - at);
        const std::span<const std::uint8_t> played =
            verdict.Action == emf::RecordAction::Rewrite ? records.Replacement() : page.subspan(at, size);
        Require(played.size() >= 8 && Le32(played, 4) == played.size());
        if (verdict.Action == emf::RecordAction::Skip) emf::ClassifyComment(page.subspan(at, size));
        else player.Play(played);
        at += size;
    }
}

bool SameCheck(const emf::EmfPageCheck& a, const emf::EmfPageCheck& b) {
    return a.Flags == b.Flags && a.SkippedRecords == b.SkippedRecords && a.ChangedRecords == b.ChangedRecords &&
           a.SkipReasons == b.SkipReasons && a.Header.Bytes == b.Header.Bytes &&
           a.Header.Records == b.Header.Records && a.Header.Handles == b.Header.Handles;
}

void ReadAsSpoolFile(std::span<const std::uint8_t> file) {
    MemorySource source(file);
    emf::EmfSpoolJob job;
    const emf::SpoolRefusal refusal = emf::ReadEmfSpool(source, job);
    const std::string text = emf::DescribeRefusal(refusal);
    Require(!text.empty() && (refusal.Page == 0 || text.rfind("page " + std::to_string(refusal.Page) + ": ", 0) == 0));
    if (refusal.Refused()) return;

    Require(!job.Pages.empty() && job.Pages.size() <= emf::kMaxPages && job.DevModes.size() <= emf::kMaxDevModes);
    std::uint32_t flags = 0;
    for (std::size_t i = 0; i < job.Pages.size(); ++i) {
        const emf::SpoolPage& page = job.Pages[i];
        Require(page.Offset <= file.size() && page.Size <= file.size() - page.Offset);
        Require(page.Size == page.Check.Header.Bytes && page.Check.Header.Records >= 2);
        Require(!page.DevMode || *page.DevMode < job.DevModes.size());
        // Exactly the listed bytes pass the check again, as the player repeats it.
        emf::EmfPageCheck again;
        const auto number = static_cast<std::uint32_t>(i + 1);
        Require(!emf::CheckEmfPage(file.subspan(page.Offset, page.Size), number, page.Offset, again).Refused());
        Require(SameCheck(again, page.Check));
        PlayThroughModel(file.subspan(page.Offset, page.Size), page.Check.Header.Handles, page.Check.Header.PaletteEntries);
        flags |= page.Check.Flags;
    }
    Require((job.Flags & flags) == flags);
    // The listing without the page checks finds the same pages, their content inside the file.
    emf::EmfSpoolJob listed;
    Require(!emf::ListEmfSpoolPages(source, listed).Refused() && listed.Pages.size() == job.Pages.size());
    for (std::size_t i = 0; i < listed.Pages.size(); ++i)
        Require(listed.Pages[i].Offset == job.Pages[i].Offset && listed.Pages[i].Size >= job.Pages[i].Size &&
                listed.Pages[i].Size <= file.size() - listed.Pages[i].Offset);
    for (const emf::SpoolDevMode& mode : job.DevModes)
        Require(mode.Offset <= file.size() && mode.Size <= file.size() - mode.Offset &&
                std::size_t{mode.Fields.Size} + mode.Fields.DriverExtra <= mode.Size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    ReadAsSpoolFile(input);

    emf::EmfPageCheck check;
    if (!emf::CheckEmfPage(input, 1, 0, check).Refused())
        Require(check.Header.Bytes <= size && check.Header.Records >= 2);

    // The input as a page, and as one record after a header with an object table of input[8] slots.
    if (size >= 88) PlayThroughModel(input, data[56] | data[57] << 8, Le32(input, 68));
    std::vector<std::uint8_t> page(88, 0);
    page[0] = 1, page[4] = 88;
    page.insert(page.end(), data, data + size);
    PlayThroughModel(page, size > 8 ? data[8] : 0, 0);

    if (std::optional<PublicDevMode> mode = ParsePublicDevMode(input))
        Require(mode->Size >= 76 && std::size_t{mode->Size} + mode->DriverExtra <= size && mode->DeviceName.size() <= 32);
    return 0;
}
