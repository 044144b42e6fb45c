// Reading of a Windows EMF spool file (the .SPL of a job of data type "NT EMF 1.00x"): the
// header, every record, the pages with the EMF bytes and the DEVMODE of each, and what a
// redraw on another printer cannot reproduce. Every size and offset is checked against the
// data; a damaged file gives a refusal that names the fault, never a guess.
//
// The file comes through a ByteSource, not as one block of memory: a spool file can be
// larger than a 32-bit process can hold. Only one page's bytes are in memory at a time, as
// much as playing that page needs anyway. Platform-neutral: the caller does the I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ByteSource.h"
#include "DevMode.h"
#include "Progress.h"
#include "EmfSpool/EmfRecordCheck.h"

namespace emf {

// What a redraw on another printer cannot reproduce as the original driver would have.
enum ContentFlag : std::uint32_t {
    kEmbeddedFonts = 1u << 0,   // fonts the job carries: embedded, Type 1, subset, delta, design vectors
    kPostScript = 1u << 1,      // PostScript for the original driver: job data, EPS pages, escapes
    kDriverEscapes = 1u << 2,   // other escapes for the original driver
    kEmfPlusOnly = 1u << 3,     // a page drawn in EMF+ records alone, which GDI does not play
    kSkippedRecords = 1u << 4,  // records a playback skips or changes so that the printout may differ
};

struct RectL {
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};
struct SizeL {
    std::int32_t Cx = 0, Cy = 0;
};

// What a page's EMR_HEADER says for scaling the page: the frame against the reference device.
struct EmfHeaderInfo {
    RectL Bounds;       // inclusive box around the drawing, reference device pixels
    RectL Frame;        // the picture, 0.01 mm; never empty
    SizeL Device;       // reference device, pixels; positive (pixels need not be square)
    SizeL Millimeters;  // reference device, millimetres; positive
    std::optional<SizeL> Micrometers;
    std::uint32_t Bytes = 0;    // the whole EMF
    std::uint32_t Records = 0;  // EMR_HEADER and EMR_EOF included
    std::uint16_t Handles = 0;  // size of the object table
    std::uint32_t PaletteEntries = 0;  // nPalEntries: EMR_EOF's palette has as many
};

struct EmfPageCheck {
    EmfHeaderInfo Header;
    std::uint32_t Flags = 0;           // ContentFlag bits found in the page
    std::uint32_t SkippedRecords = 0;  // records the RecordCheck says to skip
    std::uint32_t ChangedRecords = 0;  // records it rewrites: a corrected copy is played
    std::uint64_t SkipReasons = 0;     // bit 1 << RecordReason of each skip and rewrite, for the log
};

struct SpoolDevMode {
    std::uint64_t Offset = 0;  // of the DEVMODE's bytes in the file
    std::uint32_t Size = 0;    // the record's data: dmSize + dmDriverExtra or more
    PublicDevMode Fields;
};

struct SpoolPage {
    std::uint64_t Offset = 0;  // of the page's EMF in the file
    std::uint32_t Size = 0;    // its nBytes: exactly what to hand to GDI
    bool Monochrome = false;   // a black-and-white content or offset record
    // Index into EmfSpoolJob::DevModes of the last DEVMODE record before the page's content
    // record; none: the shadow file's DEVMODE is in force.
    std::optional<std::size_t> DevMode;
    EmfPageCheck Check;
};

struct EmfSpoolJob {
    std::optional<std::u16string> DocumentName;  // none when absent or unreadable
    std::optional<std::u16string> OutputName;    // a port or output file, not the printer
    std::vector<SpoolDevMode> DevModes;
    std::vector<SpoolPage> Pages;  // in the order of the page offset records
    std::uint32_t Flags = 0;       // ContentFlag bits of the spool records and of every page
    // The last pages have no page offset record yet: the job was still spooling.
    bool CutShort = false;
};

// Bounds on what the reader keeps and walks, so that no file makes it use unbounded memory
// or time: a page, a DEVMODE or a content record costs some hundred bytes each.
inline constexpr std::size_t kMaxPages = 65536;        // content records, and so pages
inline constexpr std::size_t kMaxDevModes = 65536;
inline constexpr std::uint64_t kMaxSpoolRecords = 4u << 20;
// A page's EMF: far above any real page, and small enough that no size or count inside it
// makes the player's 32-bit arithmetic wrap.
inline constexpr std::uint32_t kMaxEmfBytes = 256u << 20;

enum class SpoolProblem : std::uint8_t {
    None,
    HeaderTruncated,
    HeaderVersion,
    HeaderSize,
    RecordTruncated,
    RecordMisaligned,
    RecordOverrun,
    RecordUnknown,
    RecordTooShort,
    PageOffsetInvalid,
    PageOffsetDuplicate,
    PageWithoutOffset,
    DevModeInvalid,
    TooManyRecords,
    TooManyPages,
    TooManyDevModes,
    NoPages,
    ReadFailed,
    OutOfMemory,
    Cancelled,
    EmfHeaderTooShort,
    EmfHeaderInvalid,
    EmfHeaderSizes,
    EmfHeaderFrame,
    EmfHeaderHandles,
    EmfTooLarge,
    EmfRecordSize,
    EmfRecordOverrun,
    EmfRecordRefused,
    EmfEofEarly,
    EmfMissingEof,
    EmfRecordCount,
};

struct SpoolRefusal {
    SpoolProblem Problem = SpoolProblem::None;
    std::uint32_t Page = 0;    // 1-based; 0 for the spool file's own records
    std::uint64_t Offset = 0;  // file position of the record at fault
    RecordReason Record = RecordReason::None;  // why the RecordCheck refused the record (or page)
    bool Refused() const { return Problem != SpoolProblem::None; }
};

// Reads and checks the whole file (each page once, with progress reported to the watcher,
// which may stop it). On a refusal the job holds what was read before the fault.
SpoolRefusal ReadEmfSpool(ByteSource& source, EmfSpoolJob& job, OperationProgress* progress = nullptr);

// The spool records alone, without reading the pages' EMF: the pages' places and DEVMODEs,
// for counting them or reading them one by one. A page's Size is then its content record's
// data size (the EMF and any slack), and its Check stays empty: CheckEmfPage fills it.
// Refusals as ReadEmfSpool's for the spool records. A watcher is told the file's size and
// the bytes the walk has passed, and may stop it (Cancelled): a crafted file of millions of
// records takes a while even read in large blocks.
SpoolRefusal ListEmfSpoolPages(ByteSource& source, EmfSpoolJob& job, OperationProgress* progress = nullptr);

// Checks one page's EMF: content is the data of its content record (the EMF and any slack),
// page and fileOffset say where it is for the refusal. Reading calls it for each page; the
// player calls it again on the bytes it is about to play.
SpoolRefusal CheckEmfPage(std::span<const std::uint8_t> content, std::uint32_t page, std::uint64_t fileOffset,
                          EmfPageCheck& check);

// English text for the log, e.g. "page 2: EMF record at offset 1234 runs past the page".
std::string DescribeRefusal(const SpoolRefusal& refusal);

}  // namespace emf
