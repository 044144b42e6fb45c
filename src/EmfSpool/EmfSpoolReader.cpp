#include "EmfSpool/EmfSpoolReader.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "ByteReader.h"
#include "Progress.h"
#include "ReadAhead.h"

namespace emf {
namespace {

constexpr std::uint32_t kSpoolVersion = 0x00010000;
constexpr std::size_t kSpoolHeaderSize = 16;
constexpr std::size_t kRecordHeaderSize = 8;
constexpr std::size_t kMaxHeaderRead = 64 * 1024;  // the names must end in the header's first 64 KiB
// dmSize and dmDriverExtra are 16-bit: no DEVMODE needs more of its record than this.
constexpr std::size_t kMaxDevModeBytes = 2 * 0xFFFF;
// A walk that is watched reports the file's bytes it has passed in steps of this size: the
// user can stop it within a few milliseconds, and a file of millions of records costs a few
// dozen reports.
constexpr std::uint64_t kWalkStep = 1 << 20;

constexpr std::uint32_t kEmfVersion = 0x00010000;
constexpr std::size_t kEmfHeaderMinimum = 88;
constexpr std::size_t kEmfHeaderWithPixelFormat = 100;
constexpr std::size_t kEmfHeaderWithMicrometers = 108;

// Record types of the spool file.
enum SpoolRecord : std::uint32_t {
    EMRI_METAFILE = 1,
    EMRI_ENGINE_FONT = 2,
    EMRI_DEVMODE = 3,
    EMRI_TYPE1_FONT = 4,
    EMRI_PRESTARTPAGE = 5,
    EMRI_DESIGNVECTOR = 6,
    EMRI_SUBSET_FONT = 7,
    EMRI_DELTA_FONT = 8,
    EMRI_FORM_METAFILE = 9,
    EMRI_BW_METAFILE = 10,
    EMRI_BW_FORM_METAFILE = 11,
    EMRI_METAFILE_DATA = 12,
    EMRI_METAFILE_EXT = 13,
    EMRI_BW_METAFILE_EXT = 14,
    EMRI_ENGINE_FONT_EXT = 15,
    EMRI_TYPE1_FONT_EXT = 16,
    EMRI_DESIGNVECTOR_EXT = 17,
    EMRI_SUBSET_FONT_EXT = 18,
    EMRI_DELTA_FONT_EXT = 19,
    EMRI_PS_JOB_DATA = 20,
    EMRI_EMBED_FONT_EXT = 21,
};

bool IsPageContent(std::uint32_t id) {
    return id == EMRI_METAFILE || id == EMRI_FORM_METAFILE || id == EMRI_BW_METAFILE ||
           id == EMRI_BW_FORM_METAFILE || id == EMRI_METAFILE_DATA;
}

bool IsFont(std::uint32_t id) {
    switch (id) {
    case EMRI_ENGINE_FONT: case EMRI_TYPE1_FONT: case EMRI_DESIGNVECTOR: case EMRI_SUBSET_FONT:
    case EMRI_DELTA_FONT: case EMRI_ENGINE_FONT_EXT: case EMRI_TYPE1_FONT_EXT: case EMRI_DESIGNVECTOR_EXT:
    case EMRI_SUBSET_FONT_EXT: case EMRI_DELTA_FONT_EXT: case EMRI_EMBED_FONT_EXT:
        return true;
    default:
        return false;
    }
}

SpoolRefusal Refuse(SpoolProblem problem, std::uint64_t offset = 0, std::uint32_t page = 0) {
    return {problem, page, offset, RecordReason::None};
}

// Exactly count bytes at offset, or false when the source fails or ends first.
bool ReadExact(ByteSource& source, std::uint64_t offset, std::size_t count, std::vector<std::uint8_t>& bytes) {
    bytes.resize(count);
    std::size_t done = 0;
    while (done < count) {
        std::size_t got = 0;
        if (!source.ReadAt(offset + done, bytes.data() + done, count - done, &got)) return false;
        if (got == 0) return false;
        done += got;
    }
    return true;
}

// A NUL-terminated UTF-16 name inside the header; none when absent or not ending in it.
std::optional<std::u16string> HeaderName(std::span<const std::uint8_t> header, std::uint32_t offset) {
    if (offset < kSpoolHeaderSize || offset >= header.size()) return std::nullopt;
    ByteReader reader(header);
    reader.Seek(offset);
    std::u16string name;
    while (reader.Remaining() >= 2) {
        char16_t unit = reader.U16();
        if (unit == 0) return name;
        name.push_back(unit);
    }
    return std::nullopt;
}

RectL ReadRect(ByteReader& reader) {
    RectL rect;
    rect.Left = static_cast<std::int32_t>(reader.U32());
    rect.Top = static_cast<std::int32_t>(reader.U32());
    rect.Right = static_cast<std::int32_t>(reader.U32());
    rect.Bottom = static_cast<std::int32_t>(reader.U32());
    return rect;
}

SizeL ReadSize(ByteReader& reader) {
    SizeL size;
    size.Cx = static_cast<std::int32_t>(reader.U32());
    size.Cy = static_cast<std::int32_t>(reader.U32());
    return size;
}

bool SpanInside(std::uint64_t offset, std::uint64_t length, std::uint64_t limit, std::uint64_t start) {
    return offset >= start && offset <= limit && length <= limit - offset;
}

// EMR_HEADER: what GDI and the scaling rely on. Device, millimetres and frame are divisors.
SpoolProblem CheckEmfHeader(std::span<const std::uint8_t> content, EmfHeaderInfo& header) {
    if (content.size() < kEmfHeaderMinimum) return SpoolProblem::EmfHeaderTooShort;
    ByteReader reader(content);
    const std::uint32_t type = reader.U32(), size = reader.U32();
    header.Bounds = ReadRect(reader);
    header.Frame = ReadRect(reader);
    const std::uint32_t signature = reader.U32(), version = reader.U32();
    header.Bytes = reader.U32();
    header.Records = reader.U32();
    header.Handles = reader.U16();
    reader.Skip(2);
    const std::uint32_t descriptionUnits = reader.U32(), descriptionAt = reader.U32();
    header.PaletteEntries = reader.U32();
    header.Device = ReadSize(reader);
    header.Millimeters = ReadSize(reader);
    if (type != kEmrHeader || signature != kEmfSignature || version != kEmfVersion) return SpoolProblem::EmfHeaderInvalid;
    if (size < kEmfHeaderMinimum || size % 4 != 0 || size > header.Bytes || header.Bytes % 4 != 0 ||
        header.Bytes > content.size())
        return SpoolProblem::EmfHeaderSizes;
    if (header.Bytes > kMaxEmfBytes) return SpoolProblem::EmfTooLarge;
    // The player puts the metafile in slot 0 of its object table, past the end of an empty one.
    if (header.Handles == 0) return SpoolProblem::EmfHeaderHandles;
    if (descriptionUnits != 0 && !SpanInside(descriptionAt, 2 * std::uint64_t{descriptionUnits}, size, kEmfHeaderMinimum))
        return SpoolProblem::EmfHeaderSizes;
    if (size >= kEmfHeaderWithPixelFormat) {
        const std::uint32_t pixelFormatSize = reader.U32(), pixelFormatAt = reader.U32();
        reader.Skip(4);  // bOpenGL
        if (pixelFormatSize != 0 && !SpanInside(pixelFormatAt, pixelFormatSize, size, kEmfHeaderMinimum))
            return SpoolProblem::EmfHeaderSizes;
    }
    if (size >= kEmfHeaderWithMicrometers) header.Micrometers = ReadSize(reader);
    if (header.Device.Cx <= 0 || header.Device.Cy <= 0 || header.Millimeters.Cx <= 0 || header.Millimeters.Cy <= 0 ||
        header.Frame.Right <= header.Frame.Left || header.Frame.Bottom <= header.Frame.Top)
        return SpoolProblem::EmfHeaderFrame;
    return SpoolProblem::None;
}

// What a skipped or rewritten record costs the printout.
std::uint32_t FlagOfChange(RecordReason reason) {
    switch (reason) {
    case RecordReason::DriverEscape: return kDriverEscapes;
    case RecordReason::PostScriptEscape: return kPostScript;
    // Nothing is lost: these draw nothing, nothing here, or the same as the record played.
    case RecordReason::QueryEscape:
    case RecordReason::Comment:
    case RecordReason::OpenGl:
    case RecordReason::ColourManagement:  // only colour matching, which the player stubs
    case RecordReason::StockObjectDeleted:
    case RecordReason::ClipWithoutRegion:
    case RecordReason::TextWithoutRectangle:
    case RecordReason::EmptyClipRegion:
    case RecordReason::SmallText:  // drawn now, where the player would have left it out
        return 0;
    default: return kSkippedRecords;
    }
}

// The page refusal for a record the check refused.
SpoolProblem RecordProblem(RecordReason reason, std::span<const std::uint8_t> rest) {
    switch (reason) {
    case RecordReason::BadFrame: {
        ByteReader reader(rest);
        reader.Skip(4);
        const std::uint32_t size = reader.U32();
        if (reader.Failed()) return SpoolProblem::EmfRecordOverrun;
        return size < kRecordHeaderSize || size % 4 != 0 ? SpoolProblem::EmfRecordSize : SpoolProblem::EmfRecordOverrun;
    }
    case RecordReason::NoObjectTable: return SpoolProblem::EmfHeaderHandles;
    case RecordReason::AfterEof: return SpoolProblem::EmfEofEarly;
    default: return SpoolProblem::EmfRecordRefused;
    }
}

// A content record seen on the way: where its page starts, and whether an offset record
// has named it yet.
struct ContentRecord {
    std::uint64_t Start = 0;
    std::uint32_t DataSize = 0;
    bool Monochrome = false;
    std::optional<std::size_t> DevMode;
    bool Listed = false;
};

class SpoolWalk {
public:
    SpoolWalk(ByteSource& source, EmfSpoolJob& job, OperationProgress* progress)
        : m_Source(source), m_Records(source), m_Size(source.Size()), m_Job(job), m_Progress(progress) {}

    // The spool records, then (checkPages) each page's EMF. Reading the pages reports them to
    // the watcher; without them, the walk over the records does.
    SpoolRefusal Run(bool checkPages) {
        OperationProgress* walkWatcher = checkPages ? nullptr : m_Progress;
        ReportTotal(walkWatcher, m_Size);
        std::uint64_t position = 0, reported = 0;
        if (SpoolRefusal refusal = ReadHeader(position); refusal.Refused()) return refusal;
        for (std::uint64_t count = 0; position < m_Size; ++count) {
            if (count == kMaxSpoolRecords) return Refuse(SpoolProblem::TooManyRecords, position);
            if (SpoolRefusal refusal = ReadRecord(position); refusal.Refused()) return refusal;
            if (position - reported < kWalkStep && position < m_Size) continue;
            // A stop asked for at the last step stops the walk too: the watcher has said so.
            if (!ReportStep(walkWatcher, position - reported)) return Refuse(SpoolProblem::Cancelled, position);
            reported = position;
        }
        if (SpoolRefusal refusal = ListUnnamedPages(); refusal.Refused()) return refusal;
        if (m_Job.Pages.empty()) return Refuse(SpoolProblem::NoPages);
        if (checkPages) return CheckPages();
        for (std::size_t i = 0; i < m_Job.Pages.size(); ++i) m_Job.Pages[i].Size = m_PageContents[i];
        return {};
    }

private:
    SpoolRefusal ReadHeader(std::uint64_t& position) {
        if (m_Size < kSpoolHeaderSize) return Refuse(SpoolProblem::HeaderTruncated);
        std::span<const std::uint8_t> bytes;
        if (!m_Records.Read(0, kSpoolHeaderSize, bytes)) return Refuse(SpoolProblem::ReadFailed);
        ByteReader reader(bytes);
        const std::uint32_t version = reader.U32(), size = reader.U32();
        const std::uint32_t documentAt = reader.U32(), outputAt = reader.U32();
        if (version != kSpoolVersion) return Refuse(SpoolProblem::HeaderVersion);
        if (size < kSpoolHeaderSize || size % 4 != 0 || size > m_Size) return Refuse(SpoolProblem::HeaderSize);
        if (!m_Records.Read(0, std::min<std::size_t>(size, kMaxHeaderRead), bytes))
            return Refuse(SpoolProblem::ReadFailed);
        m_Job.DocumentName = HeaderName(bytes, documentAt);
        m_Job.OutputName = HeaderName(bytes, outputAt);
        position = size;
        return {};
    }

    // One record at position: its frame against the file, then what its type asks for.
    SpoolRefusal ReadRecord(std::uint64_t& position) {
        if (m_Size - position < kRecordHeaderSize) return Refuse(SpoolProblem::RecordTruncated, position);
        std::span<const std::uint8_t> bytes;
        if (!m_Records.Read(position, kRecordHeaderSize, bytes)) return Refuse(SpoolProblem::ReadFailed, position);
        ByteReader reader(bytes);
        const std::uint32_t id = reader.U32(), dataSize = reader.U32();
        if (dataSize % 4 != 0) return Refuse(SpoolProblem::RecordMisaligned, position);
        if (dataSize > m_Size - position - kRecordHeaderSize) return Refuse(SpoolProblem::RecordOverrun, position);
        SpoolRefusal refusal;
        if (IsPageContent(id)) {
            refusal = AddContent(position, id, dataSize);
        } else if (id == EMRI_METAFILE_EXT || id == EMRI_BW_METAFILE_EXT) {
            refusal = AddPage(position, id, dataSize);
        } else if (id == EMRI_DEVMODE) {
            refusal = AddDevMode(position, dataSize);
        } else if (IsFont(id)) {
            m_Job.Flags |= kEmbeddedFonts;
        } else if (id == EMRI_PS_JOB_DATA) {
            m_Job.Flags |= kPostScript;
        } else if (id == EMRI_PRESTARTPAGE) {
            refusal = ReadPreStartPage(position, dataSize);
        } else {
            refusal = Refuse(SpoolProblem::RecordUnknown, position);
        }
        position += kRecordHeaderSize + dataSize;
        return refusal;
    }

    SpoolRefusal AddContent(std::uint64_t position, std::uint32_t id, std::uint32_t dataSize) {
        if (m_Contents.size() == kMaxPages) return Refuse(SpoolProblem::TooManyPages, position);
        ContentRecord content;
        content.Start = position;
        content.DataSize = dataSize;
        content.Monochrome = id == EMRI_BW_METAFILE || id == EMRI_BW_FORM_METAFILE;
        if (!m_Job.DevModes.empty()) content.DevMode = m_Job.DevModes.size() - 1;
        m_Contents.push_back(content);
        return {};
    }

    // A page offset record names a content record that starts the given distance before it.
    // Records never overlap, so a content record that starts before it also ends before it.
    SpoolRefusal AddPage(std::uint64_t position, std::uint32_t id, std::uint32_t dataSize) {
        if (dataSize < 8) return Refuse(SpoolProblem::RecordTooShort, position);
        std::span<const std::uint8_t> bytes;
        if (!m_Records.Read(position + kRecordHeaderSize, 8, bytes)) return Refuse(SpoolProblem::ReadFailed, position);
        const std::uint64_t distance = ByteReader(bytes).U64();
        if (distance > position) return Refuse(SpoolProblem::PageOffsetInvalid, position);
        const std::uint64_t target = position - distance;
        auto found = std::lower_bound(m_Contents.begin(), m_Contents.end(), target,
                                      [](const ContentRecord& c, std::uint64_t start) { return c.Start < start; });
        if (found == m_Contents.end() || found->Start != target) return Refuse(SpoolProblem::PageOffsetInvalid, position);
        if (found->Listed) return Refuse(SpoolProblem::PageOffsetDuplicate, position);
        found->Listed = true;
        m_LastPageOffsetRecord = position;
        ListPage(*found, id == EMRI_BW_METAFILE_EXT);
        return {};
    }

    void ListPage(const ContentRecord& content, bool monochrome) {
        SpoolPage page;
        page.Offset = content.Start + kRecordHeaderSize;
        page.Monochrome = content.Monochrome || monochrome;
        page.DevMode = content.DevMode;
        m_Job.Pages.push_back(page);
        m_PageContents.push_back(content.DataSize);
    }

    SpoolRefusal AddDevMode(std::uint64_t position, std::uint32_t dataSize) {
        if (m_Job.DevModes.size() == kMaxDevModes) return Refuse(SpoolProblem::TooManyDevModes, position);
        const std::size_t readSize = std::min<std::size_t>(dataSize, kMaxDevModeBytes);
        std::span<const std::uint8_t> bytes;
        if (!m_Records.Read(position + kRecordHeaderSize, readSize, bytes))
            return Refuse(SpoolProblem::ReadFailed, position);
        std::optional<PublicDevMode> fields = ParsePublicDevMode(bytes);
        if (!fields) return Refuse(SpoolProblem::DevModeInvalid, position);
        m_Job.DevModes.push_back({position + kRecordHeaderSize, dataSize, std::move(*fields)});
        return {};
    }

    // An EPS pass-through page: PostScript for the original driver.
    SpoolRefusal ReadPreStartPage(std::uint64_t position, std::uint32_t dataSize) {
        if (dataSize < 8) return Refuse(SpoolProblem::RecordTooShort, position);
        std::span<const std::uint8_t> bytes;
        if (!m_Records.Read(position + kRecordHeaderSize, 8, bytes)) return Refuse(SpoolProblem::ReadFailed, position);
        ByteReader reader(bytes);
        reader.Skip(4);
        if (reader.U32() != 0) m_Job.Flags |= kPostScript;
        return {};
    }

    // Content records that no offset record named: the pages of a job still spooling when
    // they follow the last offset record, a damaged file when they lie before it.
    SpoolRefusal ListUnnamedPages() {
        for (const ContentRecord& content : m_Contents) {
            if (content.Listed) continue;
            if (m_LastPageOffsetRecord && content.Start < *m_LastPageOffsetRecord)
                return Refuse(SpoolProblem::PageWithoutOffset, content.Start);
            ListPage(content, false);
            m_Job.CutShort = true;
        }
        return {};
    }

    SpoolRefusal CheckPages() {
        std::uint64_t total = 0;
        for (std::uint32_t size : m_PageContents) total += size;
        ReportTotal(m_Progress, total);
        for (std::size_t i = 0; i < m_Job.Pages.size(); ++i) {
            SpoolPage& page = m_Job.Pages[i];
            const auto number = static_cast<std::uint32_t>(i + 1);
            const std::uint64_t recordStart = page.Offset - kRecordHeaderSize;
            try {
                if (!ReadExact(m_Source, page.Offset, m_PageContents[i], m_Bytes))
                    return Refuse(SpoolProblem::ReadFailed, recordStart, number);
            } catch (const std::bad_alloc&) {
                return Refuse(SpoolProblem::OutOfMemory, recordStart, number);
            } catch (const std::length_error&) {
                return Refuse(SpoolProblem::OutOfMemory, recordStart, number);
            }
            if (SpoolRefusal refusal = CheckEmfPage(m_Bytes, number, page.Offset, page.Check); refusal.Refused())
                return refusal;
            page.Size = page.Check.Header.Bytes;
            m_Job.Flags |= page.Check.Flags;
            if (!ReportStep(m_Progress, m_PageContents[i])) return Refuse(SpoolProblem::Cancelled, recordStart, number);
        }
        return {};
    }

    ByteSource& m_Source;
    ReadAhead m_Records;  // the spool records: many and small
    const std::uint64_t m_Size;
    EmfSpoolJob& m_Job;
    OperationProgress* m_Progress;
    std::vector<std::uint8_t> m_Bytes;  // the page being read
    std::vector<ContentRecord> m_Contents;
    std::vector<std::uint32_t> m_PageContents;  // data size of each page's content record
    std::optional<std::uint64_t> m_LastPageOffsetRecord;
};

}  // namespace

SpoolRefusal ReadEmfSpool(ByteSource& source, EmfSpoolJob& job, OperationProgress* progress) {
    job = {};
    return SpoolWalk(source, job, progress).Run(true);
}

SpoolRefusal ListEmfSpoolPages(ByteSource& source, EmfSpoolJob& job, OperationProgress* progress) {
    job = {};
    return SpoolWalk(source, job, progress).Run(false);
}

SpoolRefusal CheckEmfPage(std::span<const std::uint8_t> content, std::uint32_t page, std::uint64_t fileOffset,
                          EmfPageCheck& check) {
    check = {};
    EmfHeaderInfo& header = check.Header;
    if (SpoolProblem problem = CheckEmfHeader(content, header); problem != SpoolProblem::None)
        return {problem, page, fileOffset,
                problem == SpoolProblem::EmfHeaderHandles ? RecordReason::NoObjectTable : RecordReason::None};

    const std::span<const std::uint8_t> emf = content.first(header.Bytes);
    RecordCheck records(header.Handles, header.PaletteEntries);
    std::uint64_t position = 0, count = 0, lastPosition = 0;
    std::uint32_t lastType = 0;
    for (; position < emf.size(); ++count) {
        const std::span<const std::uint8_t> rest = emf.subspan(static_cast<std::size_t>(position));
        const RecordVerdict verdict = records.Check(rest);
        if (verdict.Action == RecordAction::Refuse) {
            const SpoolProblem problem = RecordProblem(verdict.Reason, rest);
            // After EMR_EOF the fault is the EOF that ends the page too early.
            const std::uint64_t at = problem == SpoolProblem::EmfEofEarly ? lastPosition : position;
            return {problem, page, fileOffset + at, verdict.Reason};
        }
        if (verdict.Action != RecordAction::Play) {
            ++(verdict.Action == RecordAction::Skip ? check.SkippedRecords : check.ChangedRecords);
            check.SkipReasons |= std::uint64_t{1} << static_cast<unsigned>(verdict.Reason);
            check.Flags |= FlagOfChange(verdict.Reason);
        }
        ByteReader reader(rest);
        const std::uint32_t type = reader.U32(), size = reader.U32();
        if (type == kEmrGdiComment) {
            const CommentKind kind = ClassifyComment(rest.first(size));
            // Only an EMF+ header right after EMR_HEADER makes the page an EMF+ metafile.
            if (kind == CommentKind::EmfPlusOnly && count == 1) check.Flags |= kEmfPlusOnly;
            if (kind == CommentKind::SpoolFonts) check.Flags |= kEmbeddedFonts;
        }
        lastType = type;
        lastPosition = position;
        position += size;
    }
    if (lastType != kEmrEof) return Refuse(SpoolProblem::EmfMissingEof, fileOffset, page);
    if (count != header.Records) return Refuse(SpoolProblem::EmfRecordCount, fileOffset, page);
    return {};
}

std::string DescribeRefusal(const SpoolRefusal& refusal) {
    const std::string at = std::to_string(refusal.Offset);
    std::string text;
    switch (refusal.Problem) {
    case SpoolProblem::None: return "no fault";
    case SpoolProblem::HeaderTruncated: text = "the file is too short for an EMF spool header"; break;
    case SpoolProblem::HeaderVersion: text = "the header's version is not 0x00010000: not an EMF spool file"; break;
    case SpoolProblem::HeaderSize: text = "the header's size runs past the file or is not a multiple of 4"; break;
    case SpoolProblem::RecordTruncated: text = "record at offset " + at + ": fewer than 8 bytes left for it"; break;
    case SpoolProblem::RecordMisaligned: text = "record at offset " + at + ": size is not a multiple of 4"; break;
    case SpoolProblem::RecordOverrun: text = "record at offset " + at + " runs past the end of the file"; break;
    case SpoolProblem::RecordUnknown: text = "record at offset " + at + " has an unknown type"; break;
    case SpoolProblem::RecordTooShort: text = "record at offset " + at + " is too short for its type"; break;
    case SpoolProblem::PageOffsetInvalid:
        text = "page offset record at offset " + at + " points at no page content before it";
        break;
    case SpoolProblem::PageOffsetDuplicate:
        text = "page offset record at offset " + at + " names a page already listed";
        break;
    case SpoolProblem::PageWithoutOffset:
        text = "page content record at offset " + at + " has no page offset record";
        break;
    case SpoolProblem::DevModeInvalid: text = "DEVMODE record at offset " + at + ": its sizes do not fit it"; break;
    case SpoolProblem::TooManyRecords:
        text = "more than " + std::to_string(kMaxSpoolRecords) + " records (at offset " + at + ")";
        break;
    case SpoolProblem::TooManyPages: text = "more than " + std::to_string(kMaxPages) + " pages"; break;
    case SpoolProblem::TooManyDevModes: text = "more than " + std::to_string(kMaxDevModes) + " DEVMODE records"; break;
    case SpoolProblem::NoPages: text = "the file holds no page"; break;
    case SpoolProblem::ReadFailed: text = "cannot read the file at offset " + at; break;
    case SpoolProblem::OutOfMemory: text = "not enough memory for the page record at offset " + at; break;
    case SpoolProblem::Cancelled: text = "reading stopped by the user"; break;
    case SpoolProblem::EmfHeaderTooShort: text = "EMF header at offset " + at + " is too short"; break;
    case SpoolProblem::EmfHeaderInvalid:
        text = "EMF header at offset " + at + " has a wrong type, signature or version";
        break;
    case SpoolProblem::EmfHeaderSizes:
        text = "EMF header at offset " + at + ": its sizes or offsets do not fit the page";
        break;
    case SpoolProblem::EmfHeaderFrame:
        text = "EMF header at offset " + at + ": empty frame or zero device size";
        break;
    case SpoolProblem::EmfHeaderHandles:
        text = "EMF header at offset " + at + ": no object table (nHandles 0)";
        break;
    case SpoolProblem::EmfTooLarge:
        text = "EMF at offset " + at + " is larger than " + std::to_string(kMaxEmfBytes >> 20) + " MiB";
        break;
    case SpoolProblem::EmfRecordSize:
        text = "EMF record at offset " + at + ": size below 8 or not a multiple of 4";
        break;
    case SpoolProblem::EmfRecordOverrun: text = "EMF record at offset " + at + " runs past the page"; break;
    case SpoolProblem::EmfRecordRefused:
        text = "EMF record at offset " + at + ": " + RecordReasonText(refusal.Record);
        break;
    case SpoolProblem::EmfEofEarly: text = "EMR_EOF at offset " + at + " is not the last record"; break;
    case SpoolProblem::EmfMissingEof: text = "EMF at offset " + at + " does not end with EMR_EOF"; break;
    case SpoolProblem::EmfRecordCount:
        text = "EMF at offset " + at + " holds another number of records than its header says";
        break;
    }
    if (text.empty()) text = "unknown fault at offset " + at;
    return refusal.Page == 0 ? text : "page " + std::to_string(refusal.Page) + ": " + text;
}

}  // namespace emf
