// One-page EMFs (EMR_HEADER, one record, EMR_EOF) whose record Wine's player would misread,
// overrun or hand something harmful, each with the verdict the record check must give; and a
// few sound records that must still play. Shared by the core test (through the spool reader)
// and by the Win32 test that plays each page through the real player.
#pragma once

#include <vector>

#include "EmfSpool/EmfRecordCheck.h"
#include "EmfSpoolBuilder.h"

namespace hostile {

using emf::RecordAction;
using emf::RecordReason;
using emfbuild::Bytes;
using emfbuild::Emf;
using emfbuild::Rec;
using emfbuild::Set;

struct Row {
    const char* Name;
    emfbuild::Bytes Page;
    emf::RecordAction Action;
    emf::RecordReason Reason;
};

// The record with more 32-bit values after its fields, its size grown to hold them.
inline Bytes With(Bytes record, std::initializer_list<std::uint32_t> more) {
    for (std::uint32_t value : more) emfbuild::Put(record, value);
    return Set(record, 4, static_cast<std::uint32_t>(record.size()));
}

// A 2 x 2 24-bpp BITMAPINFOHEADER and its 16 bytes of rows.
inline Bytes WithDib(Bytes record, std::uint32_t planes = 1) {
    return With(std::move(record), {40, 2, 2, planes | 24u << 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

constexpr std::uint32_t kOne = 0x3F800000;  // 1.0f, of the source transform
constexpr std::uint32_t kSrcCopy = 0xCC0020;

// BITBLT of the 2 x 2 bitmap to (10, 10): header at 100, rows at 140.
inline Bytes BitBlt(std::uint32_t infoAt, std::uint32_t infoSize, std::uint32_t planes = 1) {
    return WithDib(Rec(76, {10, 10, 11, 11, 10, 10, 2, 2, kSrcCopy, 0, 0, kOne, 0, 0, kOne, 0, 0, 0, 0, infoAt,
                            infoSize, 140, 16}),
                   planes);
}

// EXTTEXTOUTA/W of two characters at (10, 10): the string at 76, two spacing values at 80.
inline Bytes Text(std::uint32_t type, std::uint32_t string) {
    return Rec(type, {0, 0, 100, 100, 1, 0, 0, 10, 10, 2, 76, 0, 0, 0, 0, 0, 80, string, 20, 20});
}

// A page around one record.
inline Row Page(const char* name, Bytes record, RecordAction action, RecordReason reason = RecordReason::None) {
    return {name, Emf({std::move(record)}), action, reason};
}

inline std::vector<Row> Rows() {
    using A = RecordAction;
    using R = RecordReason;
    const std::uint32_t face = 0x410041;  // "AA"
    return {
        Page("a valid bitmap plays", BitBlt(100, 40), A::Play),
        Page("a valid region plays", Rec(74, {0, 0, 100, 100, 48, 32, 1, 1, 16, 10, 10, 50, 50, 10, 10, 50, 50}), A::Play),
        Page("a recorded text plays", Text(84, 'H' | 'i' << 16), A::Play),
        Page("a bitmap at an offset with cbBmiSrc 0", BitBlt(100, 0), A::Refuse, R::PartPastRecord),
        Page("a bitmap of two planes", BitBlt(100, 40, 2), A::Skip, R::BadBitmap),
        Page("MASKBLT without mask", WithDib(Rec(78, {10, 10, 11, 11, 10, 10, 2, 2, kSrcCopy, 0, 0, kOne, 0, 0, kOne, 0, 0, 0, 0,
                                                     128, 40, 168, 16, 0, 0, 0, 0, 0, 0, 0})), A::Skip, R::BitmapAbsent),
        Page("STRETCHDIBITS without a bitmap", Rec(81, {0, 0, 10, 10, 10, 10, 0, 0, 2, 2, 0, 0, 0, 0, 0, kSrcCopy, 2, 2}), A::Skip,
             R::BitmapAbsent),
        Page("ALPHABLEND of 64 bytes into a 1 x 1 image",
             With(Rec(114, {0, 0, 1, 1, 0, 0, 1, 1, 0x01FF0000, 0, 0, kOne, 0, 0, kOne, 0, 0, 0, 0, 108, 40, 148, 64, 1, 1, 40, 1,
                            1, 1 | 32u << 16, 0, 0, 0, 0, 0, 0}), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), A::Skip, R::BitsPastImage),
        Page("RLE SETDIBITSTODEVICE with cxSrc 0x20000001", Rec(80, {0, 0, 2, 2, 0, 0, 0, 0, 0x20000001, 2, 76, 48, 124, 8, 0, 0, 2,
                  40, 2, 2, 1 | 8u << 16, 1, 8, 0, 0, 2, 0, 0, 0xFFFFFF, 2, 0x01000002}), A::Skip, R::RleSourceOutside),
        Page("a pattern brush whose 24-bpp DIB counts 16 colours",
             Rec(94, {1, 0, 32, 40, 72, 16, 40, 2, 2, 1 | 24u << 16, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0}), A::Refuse, R::CountsDisagree),
        Page("ETO_NO_RECT text, rebuilt with its rectangle",
             Rec(84, {0, 0, 100, 100, 1, 0, 0, 10, 10, 2, 60, 0x100, 64, 'H' | 'i' << 16, 20, 20}), A::Rewrite, R::TextWithoutRectangle),
        Page("Hebrew text with spacing, drawn unshaped", Text(84, 0x05D105D0), A::Rewrite, R::TextShaping),
        Page("8-bit text with a lead byte and spacing, drawn without it", Text(83, 0xA082), A::Rewrite, R::TextMultiByte),
        Page("SMALLTEXTOUT, which the player ignores, as EXTTEXTOUTW", Rec(108, {10, 10, 2, 0x300, 1, 0, 0, 'H' | 'i' << 8}),
             A::Rewrite, R::SmallText),
        Page("POLYTEXTOUTW with offDx 0", Rec(97, {0, 0, 100, 100, 1, 0, 0, 1, 10, 10, 2, 80, 0, 0, 0, 0, 0, 0, 'H' | 'i' << 16}),
             A::Skip, R::PolyTextNoSpacing),
        Page("FILLRGN with cbRgnData 0", Rec(71, {0, 0, 100, 100, 0, 1, 32, 1, 1, 16, 10, 10, 50, 50, 10, 10, 50, 50}), A::Refuse,
             R::PartPastRecord),
        Page("EXTSELECTCLIPRGN of an empty region, rewritten as an empty clip rectangle", Rec(75, {32, 5, 32, 1, 0, 0, 0, 0, 0, 0}),
             A::Rewrite, R::EmptyClipRegion),
        Page("a DIB pattern brush by CREATEBRUSHINDIRECT", Rec(39, {1, 6, 0, 0x00400000}), A::Skip, R::BrushByHandle),
        Page("EXTCREATEPEN with a pattern brush", Rec(95, {1, 0, 0, 0, 0, 0x10000, 1, 3, 0, 0x1234, 0}), A::Skip, R::BrushByHandle),
        Page("RESIZEPALETTE to 2^30 entries", Rec(51, {1, 1u << 30}), A::Skip, R::Palette),
        Page("SETICMPROFILEW naming a share", Rec(113, {0, 12, 0, 0x005C005C, 0x005C0073, 0x70}), A::Skip, R::ColourManagement),
        {"no object table (nHandles 0)", Emf({Rec(27, {0, 0})}, 0), A::Refuse, R::NoObjectTable},
        Page("an object index equal to Handles", Rec(38, {2, 0, 1, 0, 0}), A::Skip, R::HandleOutOfRange),
        Page("DELETEOBJECT of a stock object", Rec(40, {0x80000010}), A::Skip, R::StockObjectDeleted),
        Page("RESTOREDC without a save on the page", Rec(34, {0xFFFFFFFF}), A::Skip, R::RestoreBeyondPage),
        Page("a face name without NUL", With(Rec(82, {1, 0xFFFFFFF0, 0, 0, 0, 400, 0, 0}), {face, face, face, face, face, face, face,
             face, face, face, face, face, face, face, face, face}), A::Skip, R::FaceNameOpen),
        Page("a polypolyline of one-point lines", Rec(7, {0, 0, 100, 100, 2, 2, 1, 1, 10, 10, 50, 50}), A::Skip, R::BadPolyShape),
        Page("GRADIENTFILL naming vertex 5 of 2", Rec(118, {0, 0, 100, 100, 2, 1, 0, 10, 10, 0, 0, 50, 50, 0xFF00, 0, 0, 5}), A::Skip,
             R::BadGradient),
        Page("SETLINKEDUFIS without its reserved bytes", Rec(119, {1, 0, 0}), A::Refuse, R::PartPastRecord),
        {"an EOF palette other than the header's", Set(Emf({Rec(27, {0, 0})}), 68, 1), A::Refuse, R::CountsDisagree},
        Page("a zero-size record", Set(Rec(27, {0, 0}), 4, 0), A::Refuse, R::BadFrame),
        Page("a record after EMR_EOF", Rec(14, {0, 16, 20}), A::Refuse, R::AfterEof),
    };
}

}  // namespace hostile
