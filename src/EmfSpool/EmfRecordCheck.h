// The check of one EMF record before GDI plays it: a portable verdict for the Win32
// enumeration callback (play it, skip it, or refuse the page), and for the spool reader,
// which asks the same question of every record before a page is listed. The record's bytes
// are untrusted; nothing here plays or allocates.
#pragma once

#include <cstdint>
#include <span>

namespace emf {

// Record types by value: wingdi.h defines their EMR_ names as macros.
inline constexpr std::uint32_t kEmrHeader = 1;
inline constexpr std::uint32_t kEmrEof = 14;
inline constexpr std::uint32_t kEmrGdiComment = 70;
inline constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"

enum class RecordAction : std::uint8_t { Play, Skip, Refuse };

enum class RecordReason : std::uint8_t {
    None,
    // Refused: the record is damaged.
    BadFrame,        // size below 8, not a multiple of 4, or past the bytes given
    TooShort,        // shorter than the fixed part of its type
    PartPastRecord,  // a count, string, array or bitmap it describes reaches past it
    // Skipped: playing it would do harm, or nothing meant for this printer.
    UnknownType,
    StockColorSpace,   // a colour-space record naming a stock colour space
    HandleOutOfRange,  // an object index outside the handle table
    DriverEscape,      // data for the original printer's driver
    PostScriptEscape,  // PostScript for the original printer's driver
    QueryEscape,       // a question to the driver, which a playback cannot answer
};

struct RecordVerdict {
    RecordAction Action = RecordAction::Play;
    RecordReason Reason = RecordReason::None;
};

// record: the bytes from the record's start to the end of what the caller knows to be
// readable (at least the record itself); handleCount: the EMF header's nHandles.
RecordVerdict CheckRecordForPlayback(std::span<const std::uint8_t> record, std::uint32_t handleCount);

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
