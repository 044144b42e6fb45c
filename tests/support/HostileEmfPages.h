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

inline std::vector<Row> Rows() {
    using A = RecordAction;
    using R = RecordReason;
    return {
        {"a valid bitmap plays", Emf({BitBlt(100, 40)}), A::Play, R::None},
        {"a valid region plays", Emf({Rec(74, {0, 0, 100, 100, 48, 32, 1, 1, 16, 10, 10, 50, 50, 10, 10, 50, 50})}),
         A::Play, R::None},
        {"a recorded text plays", Emf({Text(84, 'H' | 'i' << 16)}), A::Play, R::None},
        {"a bitmap at an offset with cbBmiSrc 0", Emf({BitBlt(100, 0)}), A::Refuse, R::PartPastRecord},
        {"a bitmap of two planes", Emf({BitBlt(100, 40, 2)}), A::Skip, R::BadBitmap},
        {"MASKBLT without mask",
         Emf({WithDib(Rec(78, {10, 10, 11, 11, 10, 10, 2, 2, kSrcCopy, 0, 0, kOne, 0, 0, kOne, 0, 0, 0, 0, 128, 40, 168,
                               16, 0, 0, 0, 0, 0, 0, 0}))}),
         A::Skip, R::BitmapAbsent},
        {"STRETCHDIBITS without a bitmap",
         Emf({Rec(81, {0, 0, 10, 10, 10, 10, 0, 0, 2, 2, 0, 0, 0, 0, 0, kSrcCopy, 2, 2})}), A::Skip, R::BitmapAbsent},
        {"ALPHABLEND of 64 bytes into a 1 x 1 image",
         Emf({With(Rec(114, {0, 0, 1, 1, 0, 0, 1, 1, 0x01FF0000, 0, 0, kOne, 0, 0, kOne, 0, 0, 0, 0, 108, 40, 148, 64, 1, 1,
                             40, 1, 1, 1 | 32u << 16, 0, 0, 0, 0, 0, 0}),
                   {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}),
         A::Skip, R::BitsPastImage},
        {"RLE SETDIBITSTODEVICE with cxSrc 0x20000001",
         Emf({Rec(80, {0, 0, 2, 2, 0, 0, 0, 0, 0x20000001, 2, 76, 48, 124, 8, 0, 0, 2, 40, 2, 2, 1 | 8u << 16, 1, 8, 0, 0,
                       2, 0, 0, 0xFFFFFF, 2, 0x01000002})}),
         A::Skip, R::RleSourceOutside},
        {"a pattern brush whose 24-bpp DIB counts 16 colours",
         Emf({Rec(94, {1, 0, 32, 40, 72, 16, 40, 2, 2, 1 | 24u << 16, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0})}), A::Refuse,
         R::CountsDisagree},
        {"ETO_NO_RECT text, rebuilt with its rectangle",
         Emf({Rec(84, {0, 0, 100, 100, 1, 0, 0, 10, 10, 2, 60, 0x100, 64, 'H' | 'i' << 16, 20, 20})}), A::Rewrite,
         R::TextWithoutRectangle},
        {"Hebrew text with spacing, drawn unshaped", Emf({Text(84, 0x05D105D0)}), A::Rewrite, R::TextShaping},
        {"8-bit text with a lead byte and spacing, drawn without it", Emf({Text(83, 0xA082)}), A::Rewrite,
         R::TextMultiByte},
        {"POLYTEXTOUTW with offDx 0",
         Emf({Rec(97, {0, 0, 100, 100, 1, 0, 0, 1, 10, 10, 2, 80, 0, 0, 0, 0, 0, 0, 'H' | 'i' << 16})}), A::Skip,
         R::PolyTextNoSpacing},
        {"FILLRGN with cbRgnData 0",
         Emf({Rec(71, {0, 0, 100, 100, 0, 1, 32, 1, 1, 16, 10, 10, 50, 50, 10, 10, 50, 50})}), A::Refuse,
         R::PartPastRecord},
        {"EXTSELECTCLIPRGN of an empty region, rewritten as an empty clip rectangle",
         Emf({Rec(75, {32, 5, 32, 1, 0, 0, 0, 0, 0, 0})}), A::Rewrite, R::EmptyClipRegion},
        {"EXTSELECTCLIPRGN RGN_AND without region", Emf({Rec(75, {0, 1})}), A::Skip, R::ClipWithoutRegion},
        {"a DIB pattern brush by CREATEBRUSHINDIRECT", Emf({Rec(39, {1, 6, 0, 0x00400000})}), A::Skip, R::BrushByHandle},
        {"EXTCREATEPEN with a pattern brush", Emf({Rec(95, {1, 0, 0, 0, 0, 0x10000, 1, 3, 0, 0x1234, 0})}), A::Skip,
         R::BrushByHandle},
        {"RESIZEPALETTE to 2^30 entries", Emf({Rec(51, {1, 1u << 30})}), A::Skip, R::Palette},
        {"SETICMPROFILEW naming a share", Emf({Rec(113, {0, 12, 0, 0x005C005C, 0x005C0073, 0x70})}), A::Skip,
         R::ColourManagement},
        {"PIXELFORMAT", Emf({Rec(104, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}), A::Skip, R::OpenGl},
        {"no object table (nHandles 0)", Emf({Rec(27, {0, 0})}, 0), A::Refuse, R::NoObjectTable},
        {"an object index equal to Handles", Emf({Rec(38, {2, 0, 1, 0, 0})}), A::Skip, R::HandleOutOfRange},
        {"DELETEOBJECT of a stock object", Emf({Rec(40, {0x80000010})}), A::Skip, R::StockObjectDeleted},
        {"RESTOREDC without a save on the page", Emf({Rec(34, {0xFFFFFFFF})}), A::Skip, R::RestoreBeyondPage},
        {"a face name without NUL",
         Emf({With(Rec(82, {1, 0xFFFFFFF0, 0, 0, 0, 400, 0, 0}),
                   {0x410041, 0x410041, 0x410041, 0x410041, 0x410041, 0x410041, 0x410041, 0x410041, 0x410041, 0x410041,
                    0x410041, 0x410041, 0x410041, 0x410041, 0x410041, 0x410041})}),
         A::Skip, R::FaceNameOpen},
        {"a polypolyline of one-point lines", Emf({Rec(7, {0, 0, 100, 100, 2, 2, 1, 1, 10, 10, 50, 50})}), A::Skip,
         R::BadPolyShape},
        {"GRADIENTFILL naming vertex 5 of 2",
         Emf({Rec(118, {0, 0, 100, 100, 2, 1, 0, 10, 10, 0, 0, 50, 50, 0xFF00, 0, 0, 5})}), A::Skip, R::BadGradient},
        {"SETLINKEDUFIS without its reserved bytes", Emf({Rec(119, {1, 0, 0})}), A::Refuse, R::PartPastRecord},
        {"an EOF palette other than the header's", Set(Emf({Rec(27, {0, 0})}), 68, 1), A::Refuse, R::CountsDisagree},
        {"a zero-size record", Emf({Set(Rec(27, {0, 0}), 4, 0)}), A::Refuse, R::BadFrame},
        {"a record after EMR_EOF", Emf({Rec(14, {0, 16, 20})}), A::Refuse, R::AfterEof},
    };
}

}  // namespace hostile
