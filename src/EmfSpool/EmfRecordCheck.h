// The check of one EMF record before GDI plays it: a portable verdict for the Win32
// enumeration callback (play it, play a corrected copy, skip it, or refuse the page), and for
// the spool reader, which asks the same question of every record before a page is listed.
// The record's bytes are untrusted; nothing here plays.
//
// The check judges what the system's player (Wine 8's, which the program runs on) really
// reads: fields at their fixed places whatever the record's size says, bitmaps as their
// headers describe them, region rectangles by their count, spacing arrays as the text code
// walks them, and object-table slots by index. [MS-EMF] layouts that the player misreads are
// rebuilt into the layout it reads, or skipped.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace emf {

// Record types by value: wingdi.h defines their EMR_ names as macros.
inline constexpr std::uint32_t kEmrHeader = 1;
inline constexpr std::uint32_t kEmrEof = 14;
inline constexpr std::uint32_t kEmrGdiComment = 70;
inline constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"

enum class RecordAction : std::uint8_t { Play, Rewrite, Skip, Refuse };

enum class RecordReason : std::uint8_t {
    None,
    // Refused: the record, or the page around it, is damaged.
    BadFrame,          // size below 8, not a multiple of 4, or past the bytes given
    TooShort,          // shorter than the fixed part the player reads
    PartPastRecord,    // a count, string, array, bitmap or region reaches past the record or its own size
    CountsDisagree,    // two counts of the same thing differ (poly totals, EOF sizes and palette)
    NoObjectTable,     // the header gives the page no object table
    HeaderMisplaced,   // the page does not start with its header, or has a second one
    AfterEof,          // a record after EMR_EOF, which the player would still play
    // Skipped: the player would misread it, or it does harm or nothing on this printer.
    UnknownType,
    HandleOutOfRange,  // an object index outside the handle table, or a stock index where none is decoded
    StockObjectDeleted,
    DriverEscape,      // data for the original printer's driver
    PostScriptEscape,  // PostScript for the original printer's driver
    QueryEscape,       // a question to the driver, which a playback cannot answer
    Comment,           // never draws
    ColourManagement,  // colour profiles and spaces: files of the recording machine, stubs here
    OpenGl,
    Palette,           // a printer needs none; the player's palette sizes overflow
    BitmapAbsent,      // a record that the player always reads a bitmap for carries none
    BadBitmap,         // a bitmap header the player rejects or misreads
    ImageFormat,       // JPEG or PNG, which the player does not draw
    BitmapProfile,     // a colour profile linked by name, or embedded outside the bitmap
    BitsPastImage,     // more bits than the image holds, all copied into it
    RleSourceOutside,  // a compressed image's source rectangle outside the image
    TooLarge,          // past the caps on points, rectangles and image sizes
    BadRegion,         // a region header or clip mode the player does not take
    ClipWithoutRegion, // a clip mode other than copy without a region
    BrushByHandle,     // a brush style whose hatch the player takes as a handle or pointer
    BadStyle,          // a brush or pen style out of range
    BadPolyShape,      // a figure of fewer than 2 points, or unknown point types
    BadGradient,       // no vertices or triangles, an unknown mode, a vertex index out of range
    RestoreBeyondPage, // restores a device-context state this page did not save
    FaceNameOpen,      // a font face name without its NUL
    PolyTextNoSpacing, // a text entry without spacing, which the player reads from the record's start
    // Skipped or rewritten.
    TextWithoutRectangle,  // ETO_NO_RECT: the player reads the layout with the rectangle
    TextShaping,           // shaped text reads one spacing value per glyph, not per character
    TextMultiByte,         // multi-byte text walks the spacing array past its end
    EmptyClipRegion,       // an empty region, which the player takes for no region at all
    SmallText,             // EMR_SMALLTEXTOUT, which the player ignores: played as the EXTTEXTOUTW it stands for
};
inline constexpr unsigned kRecordReasonCount = static_cast<unsigned>(RecordReason::SmallText) + 1;
static_assert(kRecordReasonCount <= 64, "reasons travel as bits of a 64-bit mask");

struct RecordVerdict {
    RecordAction Action = RecordAction::Play;
    RecordReason Reason = RecordReason::None;
};

// The records of one page, in the order the player plays them: some rules depend on what came
// before (saved DC states, the text alignment). One object per page and per playback.
class RecordCheck {
public:
    RecordCheck(std::uint32_t handles, std::uint32_t paletteEntries);  // from the page's EMR_HEADER
    // record: from the record's first byte to the end of the page's bytes.
    RecordVerdict Check(std::span<const std::uint8_t> record);
    // After a Rewrite verdict: the record to play instead (its own Size), valid until the next Check.
    std::span<const std::uint8_t> Replacement() const { return m_Replacement; }

private:
    RecordVerdict Judge(std::span<const std::uint8_t> record);
    RecordVerdict JudgeObject(std::span<const std::uint8_t> record);
    RecordVerdict JudgeExtTextOut(std::span<const std::uint8_t> record, bool wide);
    RecordVerdict JudgePolyTextOut(std::span<const std::uint8_t> record, bool wide);
    RecordVerdict JudgeSmallTextOut(std::span<const std::uint8_t> record);
    RecordVerdict JudgeClipRegion(std::span<const std::uint8_t> record);
    RecordVerdict JudgeState(std::span<const std::uint8_t> record);
    bool CouldShape(std::span<const std::uint8_t> text, std::uint32_t options, bool wide) const;
    std::vector<std::uint8_t>& Edit(std::span<const std::uint8_t> record);

    std::uint32_t m_Handles;
    std::uint32_t m_PaletteEntries;
    std::uint64_t m_Records = 0;  // checked so far
    std::uint64_t m_Saves = 0;    // SAVEDC states this page has pushed and not restored
    bool m_RightToLeft = false;   // a TA_RTLREADING text alignment was set on this page
    bool m_Ended = false;         // EMR_EOF was played
    std::vector<std::uint8_t> m_Replacement;
};

// Short English text for the log, e.g. "object index outside the handle table".
const char* RecordReasonText(RecordReason reason);

enum class CommentKind : std::uint8_t {
    Other,
    EmfPlusDual,     // EMF+ header with the dual flag: the EMF records draw the page too
    EmfPlusOnly,     // EMF+ header without it: GDI playback alone misses the drawing
    EmfPlusRecords,  // other EMF+ records
    SpoolFonts,      // font definitions for the spooler (EMR_COMMENT_EMFSPOOL)
};

// What an EMR_GDICOMMENT that passed the check carries.
CommentKind ClassifyComment(std::span<const std::uint8_t> record);

}  // namespace emf
