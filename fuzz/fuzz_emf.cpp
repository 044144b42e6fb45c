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
#include "EmfSpool/PageDrawingProtocol.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// A model of what Wine 8's player reads of a record it plays, written from what its code reads
// (not from the check's rules): every field and range must lie inside the record, every
// object-table slot inside the table, and no size it computes in 32 bits may wrap.
class PlayerModel {
public:
    explicit PlayerModel(std::uint32_t handles) : m_Handles(handles) {}

    void Play(std::span<const std::uint8_t> record) {
        m_Record = record;
        const std::uint32_t type = U32(0);
        Read(0, type < sizeof kFixed ? kFixed[type] * 4u : 8);
        const std::uint64_t n = type < sizeof kFixed && kFixed[type] >= 7 ? U32(24) : 0;
        switch (type) {
        case 2: case 3: case 4: case 5: case 6: case 56: Read(28, (type == 56 ? 9 : 8) * n); break;  // POLYDRAW: type bytes
        case 85: case 86: case 87: case 88: case 89: case 92: Read(28, (type == 92 ? 5 : 4) * n), Fits32(8 * n); break;
        case 7: case 8: Read(32 + 4 * n, 8 * DriverPoints(n)); break;  // cptl unread
        case 90: case 91: Require(DriverPoints(n) <= U32(28)), Read(32 + 4 * n, 4ull * U32(28)); break;
        case 71: case 72: Slot(U32(28)), Region(type == 71 ? 32 : 40); break;
        case 73: case 74: Region(28); break;
        case 75: if (record.size() >= 52) Region(16); break;
        case 37: case 48: if (U32(8) < 0x80000000) Slot(U32(8)); break;  // the stock bit decoded
        case 38: case 40: case 49: case 50: case 51: case 82: case 99: case 100: case 101: Slot(U32(8)); break;
        case 93: Slot(U32(8)), Bitmap(16, 12); break;
        case 39: case 95:  // BS_PATTERN, BS_DIBPATTERN(PT), BS_PATTERN8X8: the hatch taken as a handle or pointer
            Slot(U32(8)), Require(U32(type == 39 ? 12 : 36) > 7 || (0xE8 >> U32(type == 39 ? 12 : 36) & 1) == 0);
            break;
        case 76: case 77: if (U32(84)) Bitmap(84, 80); break;
        case 78: Bitmap(84, 80), Bitmap(112, 108); break;  // no test for offsets of 0
        case 79: Bitmap(96, 92), Bitmap(124, 120); break;
        case 81: Bitmap(48, 64); break;
        case 80: if (const Dib dib = U32(72) ? Bitmap(48, 64, U32(72)) : Dib{}; dib.Valid && dib.Rle) {  // RLE: decompressed at
            const std::int64_t width = I32(32) + I32(40), row = width > 0 ? (width * dib.Bpp + 31) / 32 * 4 : 0;  // xSrc + cxSrc by
            Require(row < (1ll << 28) && row * std::llabs(I32(36) + I32(44)) < (1ll << 31));  // ySrc + cySrc, sized in 32-bit ints
        } break;
        case 114: if (U32(84)) {  // a section from the header, cbBitsSrc bytes copied into it unchecked (into nothing if none)
            const Dib dib = Header(U32(84), U32(80), false);
            Read(U32(92), U32(96)), Require(U32(96) == 0 || (dib.Valid && U32(80) <= 1 && U32(96) <= dib.Bits));
        } break;
        case 94: if (Slot(U32(8)), std::uint64_t{U32(16)} + U32(20) <= record.size() && std::uint64_t{U32(24)} + U32(28) <= record.size()) {
            // after its own check, a block of cbBmi + cbBits bytes: the bits read after an info size
            // it counts itself, with ClrUsed up to 256 at any depth
            const std::uint64_t b = U32(16), used = U32(b + 32);
            const Dib dib = Header(b, U32(12), false);
            const std::uint64_t info = std::max<std::uint64_t>(U32(b), U32(b + 16) == 3 ? 52 : 0) +
                                       (used ? std::min<std::uint64_t>(used, 256) : dib.Bpp <= 8 ? 1ull << dib.Bpp : 0) * (U32(12) == 1 ? 2 : 4);
            Require(!dib.Valid || (dib.Info <= U32(20) + U32(28) && info + dib.Bits <= std::uint64_t{U32(20)} + U32(28)));
        } break;
        case 83: case 84: Text(36, type == 84, false); break;
        case 96: case 97:
            Fits32(40ull * U32(36));
            for (std::uint64_t i = 0; i < U32(36); ++i) Text(40 + 40 * i, type == 97, true);
            break;
        case 118: if (n && U32(28) && U32(32) <= 2) Read(36, 16 * n + U32(28) * (U32(32) == 2 ? 12ull : 8ull)); break;
        case 22: m_RightToLeft = m_RightToLeft || (U32(8) & 0x100); break;  // TA_RTLREADING, at some time
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
    struct Dib {
        bool Valid = false, Rle = false;
        std::uint64_t Bpp = 0, Info = 0, Bits = 0;  // header and colour table; image rows, or RLE's SizeImage
    };

    void Read(std::uint64_t at, std::uint64_t length) const {
        Require(length == 0 || (at <= m_Record.size() && length <= m_Record.size() - at));
    }
    static void Fits32(std::uint64_t bytes) { Require(bytes <= 0xFFFFFFFF); }
    std::uint32_t U32(std::uint64_t at) const { return Read(at, 4), U16(at) | std::uint32_t{U16(at + 2)} << 16; }
    std::uint16_t U16(std::uint64_t at) const { return Read(at, 2), static_cast<std::uint16_t>(m_Record[at] | m_Record[at + 1] << 8); }
    std::int64_t I32(std::uint64_t at) const { return static_cast<std::int32_t>(U32(at)); }
    // Slots at table + 4 * index, modulo 2^32 on 32 bits: the player compares no index.
    void Slot(std::uint32_t index) const { Require(index < m_Handles); }
    // The poly-poly drivers: the counts at +32, summed in 32 bits, one point read for a count of 0.
    std::uint64_t DriverPoints(std::uint64_t polygons) const {
        std::uint64_t points = 0;
        for (std::uint64_t i = 0; i < polygons; ++i) points += std::max<std::uint32_t>(U32(32 + 4 * i), 1);
        return Fits32(8 * points), points;
    }
    // dwSize of 32 or more, then nCount rectangles after the 32-byte header; cbRgnData unread.
    void Region(std::uint64_t at) const {
        if (U32(at) >= 32) Read(at + 32, 16ull * U32(at + 8));
    }
    // The header at b (12 bytes: core; 40 or more: an info header whatever its size), masks at
    // b + 40, the colour table at b + biSize, and whether the player takes the bitmap.
    Dib Header(std::uint64_t b, std::uint32_t usage, bool rleAllowed, std::uint64_t scans = ~0ull) const {
        const std::uint64_t size = U32(b), core = size == 12;
        if (!core && size < 40) return {};
        const std::int64_t width = core ? U16(b + 4) : I32(b + 4), height = core ? U16(b + 6) : I32(b + 8);
        const std::uint64_t planes = U16(b + (core ? 8 : 12)), bpp = U16(b + (core ? 10 : 14)), rows = std::llabs(height);
        const std::uint64_t compression = core ? 0 : U32(b + 16), used = core ? 0 : U32(b + 32), full = bpp <= 8 ? 1ull << bpp : 0;
        if (compression == 3) Read(b + 40, 12);
        const std::uint64_t info = size + (used && full ? std::min(used, full) : full) * (usage == 1 ? 2 : core && !usage ? 3 : 4);
        Read(b + size, info - size);
        const bool rle = ((compression == 1 && bpp == 8) || (compression == 2 && bpp == 4)) && rleAllowed && height > 0 && U32(b + 20);
        const bool rgb = compression == 0 && (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32);
        const std::uint64_t stride = width > 0 ? (width * bpp + 31) / 32 * 4 : 0;
        const bool valid = (rle || rgb || (compression == 3 && (bpp == 16 || bpp == 32))) && width > 0 && rows && planes &&
                           usage <= 2 && width * bpp <= 0xFFFFFFFF && stride * rows <= 0xFFFFFFFF;
        return {valid, rle, bpp, info, rle ? U32(b + 20) : stride * std::min(rows, scans)};
    }
    // offBmi, cbBmi, offBits, cbBits at fields: the bits the header implies, when the player takes it.
    Dib Bitmap(std::uint64_t fields, std::uint64_t usageAt, std::uint64_t scans = ~0ull) const {
        const Dib dib = Header(U32(fields), U32(usageAt), true, scans);
        if (dib.Valid) Read(U32(fields + 8), dib.Bits);
        return dib;
    }
    // An EMRTEXT at at, its rectangle always read: the string, then the spacing per character, or
    // per glyph when the text is shaped or (8-bit) may be multi-byte, which nothing bounds.
    void Text(std::uint64_t at, bool wide, bool alwaysSpacing) const {
        const std::uint64_t chars = U32(at + 8), stringAt = U32(at + 12), options = U32(at + 16), spacingAt = U32(at + 36);
        const std::uint64_t unit = wide || (options & 0x10) ? 2 : 1;  // ETO_GLYPH_INDEX
        if (chars >= 0x80000000) return;                             // the call fails
        Read(stringAt, unit * chars);
        if (spacingAt == 0 && !alwaysSpacing) return;
        Read(spacingAt, chars * ((options & 0x2000) ? 8 : 4));  // ETO_PDY
        bool shaped = (options & 0x80) || m_RightToLeft;       // ETO_RTLREADING
        for (std::uint64_t i = 0; i < chars; ++i) {
            const std::uint32_t c = unit == 2 ? U16(stringAt + 2 * i) : m_Record[stringAt + i];
            Require(unit == 2 || c < 0x80);
            shaped = shaped || (unit == 2 && ((c >= 0x590 && c <= 0xFFF) || (c >= 0x1CD0 && c <= 0x1CFF) ||
                                              (c >= 0xA840 && c <= 0xA8FF) || (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFB1D));
        }
        Require((options & 0x1010) || !shaped);  // ETO_IGNORELANGUAGE, ETO_GLYPH_INDEX
    }

    std::uint32_t m_Handles;
    std::span<const std::uint8_t> m_Record;
    bool m_RightToLeft = false;
};

// The page's records as the player walks them, through a RecordCheck: what may play, or the
// copy played instead, through the model. Slot 0 holds the metafile; a size of 0 would loop.
void PlayThroughModel(std::span<const std::uint8_t> page, std::uint32_t handles, std::uint32_t paletteEntries) {
    emf::RecordCheck records(handles, paletteEntries);
    PlayerModel player(handles);
    for (std::size_t at = 0; page.size() - at >= 8;) {
        const emf::RecordVerdict verdict = records.Check(page.subspan(at));
        const std::uint32_t size = page[at + 4] | page[at + 5] << 8 | page[at + 6] << 16 | std::uint32_t{page[at + 7]} << 24;
        if (verdict.Action == emf::RecordAction::Refuse) return;
        Require(handles >= 1 && size >= 8 && size % 4 == 0 && size <= page.size() - at);
        const std::span<const std::uint8_t> played = verdict.Action == emf::RecordAction::Rewrite ? records.Replacement() : page.subspan(at, size);
        Require(played.size() >= 8 && played[4] + (played[5] << 8) + (played[6] << 16) == static_cast<int>(played.size()));
        if (verdict.Action != emf::RecordAction::Skip) player.Play(played);
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
    if (size >= 88) PlayThroughModel(input, data[56] | data[57] << 8, data[68] | data[69] << 8 | data[70] << 16 | std::uint32_t{data[71]} << 24);
    std::vector<std::uint8_t> page(88, 0);
    page[0] = 1, page[4] = 88;
    page.insert(page.end(), data, data + size);
    PlayThroughModel(page, size > 8 ? data[8] : 0, 0);

    if (std::optional<PublicDevMode> mode = ParsePublicDevMode(input))
        Require(mode->Size >= 76 && std::size_t{mode->Size} + mode->DriverExtra <= size && mode->DeviceName.size() <= 32);

    // What a page-drawing process that a page took over may send: read as the program reads it.
    drawing::ReportStream reports(16, 8);
    reports.Append(input);
    while (std::optional<drawing::Report> report = reports.Next())
        Require(report->Kind != drawing::ReportKind::Pixels || report->Pixels.size() == 16 * 8 * 4);
    drawing::DecodeRequest(input);
    return 0;
}
