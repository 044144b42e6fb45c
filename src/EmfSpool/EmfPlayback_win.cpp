#include "EmfSpool/EmfPlayback_win.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>

#include "ByteReader.h"
#include "EmfSpool/EmfRecordCheck.h"
#include "handles_win.h"
#include "logging/logog.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

PlaybackRecordHook g_RecordHook = nullptr;

// How often, in records, a long page asks whether to stop and says it is still at work.
constexpr std::uint32_t kRecordsBetweenLooks = 256;

// What the skipped and changed records of a job were, for one log line per kind at the end.
struct RecordTally {
    struct Kind {
        std::uint32_t Count = 0;
        std::uint32_t FirstPage = 0;
    };
    std::map<emf::RecordReason, Kind> Skipped, Changed;

    void Add(std::map<emf::RecordReason, Kind>& kinds, emf::RecordReason reason, std::uint32_t page) {
        Kind& kind = kinds[reason];
        if (kind.Count++ == 0) kind.FirstPage = page;
    }
};

// One page played record by record: each record is judged on the page's own bytes (of which
// the metafile that the system enumerates is a copy), and what is played is those checked
// bytes or the check's corrected copy, never the system's record.
struct Playback {
    std::span<const std::uint8_t> Page;
    emf::RecordCheck Check;
    std::uint32_t Number = 0;
    DrawingEvents& Events;
    RecordTally& Tally;
    std::size_t Position = 0;
    std::uint32_t Records = 0;
    emf::RecordReason Refusal = emf::RecordReason::None;
    bool Stopped = false;
};

int CALLBACK PlayCheckedRecord(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM data) {
    auto& playback = *reinterpret_cast<Playback*>(data);
    if (playback.Position >= playback.Page.size()) {
        playback.Refusal = emf::RecordReason::BadFrame;
        return 0;
    }
    const std::span<const std::uint8_t> ours = playback.Page.subspan(playback.Position);
    ByteReader frame(ours);
    const std::uint32_t type = frame.U32(), size = frame.U32();
    const emf::RecordVerdict verdict = playback.Check.Check(ours);
    if (verdict.Action == emf::RecordAction::Refuse || type != record->iType || size != record->nSize) {
        playback.Refusal = verdict.Action == emf::RecordAction::Refuse ? verdict.Reason : emf::RecordReason::BadFrame;
        return 0;
    }
    playback.Position += size;
    if (++playback.Records % kRecordsBetweenLooks == 0) {
        if (playback.Events.StopRequested()) {
            playback.Stopped = true;
            return 0;
        }
        playback.Events.StillDrawing();
    }
    if (verdict.Action == emf::RecordAction::Skip) {
        playback.Tally.Add(playback.Tally.Skipped, verdict.Reason, playback.Number);
        return 1;
    }
    std::span<const std::uint8_t> played = ours.first(size);
    if (verdict.Action == emf::RecordAction::Rewrite) {
        played = playback.Check.Replacement();
        playback.Tally.Add(playback.Tally.Changed, verdict.Reason, playback.Number);
    }
    if (g_RecordHook != nullptr) g_RecordHook(played);
    PlayEnhMetaFileRecord(dc, table, reinterpret_cast<const ENHMETARECORD*>(played.data()), static_cast<UINT>(handles));
    return 1;
}

enum class PageEnd { Drawn, Refused, Stopped, Failed };

// Plays the page's EMF into the rectangle. Drawn only when the player went through every
// record to the page's end: a walk that stopped early did not draw the page.
PageEnd PlayPage(HDC dc, std::span<const std::uint8_t> emf, const emf::EmfPageCheck& check, const RECT& area,
                 std::uint32_t number, DrawingEvents& events, RecordTally& tally, emf::RecordReason& refusal) {
    EnhMetaFile metafile(SetEnhMetaFileBits(check.Header.Bytes, emf.data()));
    if (!metafile) return PageEnd::Failed;
    Playback playback{emf.first(check.Header.Bytes), emf::RecordCheck(check.Header.Handles, check.Header.PaletteEntries),
                      number, events, tally};
    const BOOL played = EnumEnhMetaFile(dc, metafile.get(), PlayCheckedRecord, &playback, &area);
    refusal = playback.Refusal;
    if (playback.Stopped) return PageEnd::Stopped;
    if (refusal != emf::RecordReason::None) return PageEnd::Refused;
    if (!played || playback.Position != playback.Page.size()) {
        refusal = emf::RecordReason::BadFrame;
        return PageEnd::Refused;
    }
    return PageEnd::Drawn;
}

// One page's EMF from the file: its header first, then exactly the bytes its header counts
// (not the content record's, which may hold slack), checked again as they are now.
bool ReadCheckedPage(ByteSource& source, const emf::SpoolPage& page, std::uint32_t number,
                     std::vector<std::uint8_t>& bytes, emf::EmfPageCheck& check, emf::SpoolRefusal& refusal) {
    constexpr std::size_t kHeaderLength = 88;
    const auto readable = [&](std::size_t count) {
        std::size_t got = 0;
        return source.ReadAt(page.Offset, bytes.data(), count, &got) && got == count;
    };
    try {
        bytes.resize(std::min<std::size_t>(page.Size, kHeaderLength));
        if (!readable(bytes.size())) {
            refusal = {emf::SpoolProblem::ReadFailed, number, page.Offset, emf::RecordReason::None};
            return false;
        }
        // The header's Bytes, when it is no larger than the record; the check judges the rest.
        const std::uint32_t counted = bytes.size() == kHeaderLength ? ByteReader(std::span(bytes).subspan(48)).U32() : 0;
        if (counted > bytes.size() && counted <= page.Size && counted <= emf::kMaxEmfBytes) {
            bytes.resize(counted);
            if (!readable(bytes.size())) {
                refusal = {emf::SpoolProblem::ReadFailed, number, page.Offset, emf::RecordReason::None};
                return false;
            }
        }
    } catch (const std::bad_alloc&) {
        refusal = {emf::SpoolProblem::OutOfMemory, number, page.Offset, emf::RecordReason::None};
        return false;
    } catch (const std::length_error&) {
        refusal = {emf::SpoolProblem::OutOfMemory, number, page.Offset, emf::RecordReason::None};
        return false;
    }
    refusal = emf::CheckEmfPage(bytes, number, page.Offset, check);
    return !refusal.Refused();
}

// The printer's paper codes or form names, as DeviceCapabilities lists them.
template <typename Item>
std::vector<Item> Capabilities(const wchar_t* device, WORD capability, std::size_t itemUnits = 1) {
    const int count = DeviceCapabilitiesW(device, nullptr, capability, nullptr, nullptr);
    if (count <= 0) return {};
    std::vector<Item> items(static_cast<std::size_t>(count) * itemUnits);
    if (DeviceCapabilitiesW(device, nullptr, capability, reinterpret_cast<wchar_t*>(items.data()), nullptr) < 0)
        return {};
    return items;
}

bool Supports(const wchar_t* device, WORD capability) {
    return DeviceCapabilitiesW(device, nullptr, capability, nullptr, nullptr) > 0;
}

bool HasForm(const wchar_t* device, const std::u16string& form) {
    const std::vector<wchar_t> names = Capabilities<wchar_t>(device, DC_PAPERNAMES, 64);
    for (std::size_t at = 0; at + 64 <= names.size(); at += 64) {
        const std::wstring name(names.data() + at, wcsnlen(names.data() + at, 64));
        if (name == std::wstring(form.begin(), form.end())) return true;
    }
    return false;
}

// Only what the printer says it can do is asked of it; the rest stays its own default. The
// copies are the ones the printer makes itself (the rest are drawn).
void ApplySupportedFields(DEVMODEW& mode, const wchar_t* device, const DevModeDetails& job, std::uint16_t copies) {
    if (job.Orientation &&
        (*job.Orientation == PaperOrientation::Portrait || Supports(device, DC_ORIENTATION))) {
        mode.dmOrientation = static_cast<short>(*job.Orientation);
        mode.dmFields |= DM_ORIENTATION;
    }
    const std::vector<WORD> papers = Capabilities<WORD>(device, DC_PAPERS);
    if (job.PaperSize && std::find(papers.begin(), papers.end(), *job.PaperSize) != papers.end()) {
        mode.dmPaperSize = static_cast<short>(*job.PaperSize);
        mode.dmFields = (mode.dmFields | DM_PAPERSIZE) & ~(DM_FORMNAME | DM_PAPERLENGTH | DM_PAPERWIDTH);
    } else if (job.FormName && HasForm(device, *job.FormName)) {
        std::fill(std::begin(mode.dmFormName), std::end(mode.dmFormName), L'\0');
        std::copy_n(job.FormName->begin(), std::min<std::size_t>(job.FormName->size(), CCHFORMNAME - 1),
                    mode.dmFormName);
        mode.dmFields = (mode.dmFields | DM_FORMNAME) & ~DM_PAPERSIZE;
    }
    mode.dmCopies = static_cast<short>(copies);
    mode.dmFields |= DM_COPIES;
    if (job.Collate && Supports(device, DC_COLLATE)) {
        mode.dmCollate = *job.Collate ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
        mode.dmFields |= DM_COLLATE;
    }
    if (job.Duplex && Supports(device, DC_DUPLEX)) {
        mode.dmDuplex = static_cast<short>(*job.Duplex);
        mode.dmFields |= DM_DUPLEX;
    }
    if (job.Colour && (*job.Colour == ColourMode::Monochrome || Supports(device, DC_COLORDEVICE))) {
        mode.dmColor = static_cast<short>(*job.Colour);
        mode.dmFields |= DM_COLOR;
    }
}

// The printer's own default DEVMODE with the job's fields it supports, as its driver merged
// them; never the job's private part. Empty when the printer gives no DEVMODE. The driver
// says how large its DEVMODE is: one whose public part ends before the fields written here
// is taken as it is.
std::vector<std::uint8_t> DevModeForPrinter(const std::wstring& printerName, const DevModeDetails& job,
                                            std::uint16_t copies) {
    std::vector<wchar_t> name(printerName.begin(), printerName.end());
    name.push_back(L'\0');
    PrinterHandle printer = OpenPrinterByName(printerName);
    if (!printer) return {};
    const LONG size = DocumentPropertiesW(nullptr, printer.get(), name.data(), nullptr, nullptr, 0);
    std::vector<std::uint8_t> own(std::max<std::size_t>(size > 0 ? static_cast<std::size_t>(size) : 0, sizeof(DEVMODEW)));
    if (size <= 0 || DocumentPropertiesW(nullptr, printer.get(), name.data(), reinterpret_cast<DEVMODEW*>(own.data()),
                                         nullptr, DM_OUT_BUFFER) != IDOK) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Error in DocumentProperties for printer \"%s\": %s", LogText(printerName).c_str(),
                    GetLastErrorText(error).c_str());
        return {};
    }
    auto& mode = *reinterpret_cast<DEVMODEW*>(own.data());
    if (mode.dmSize < offsetof(DEVMODEW, dmLogPixels) ||
        std::size_t{mode.dmSize} + mode.dmDriverExtra > static_cast<std::size_t>(size)) {
        LOGOG_DEBUG("The DEVMODE of printer \"%s\" is too small for the job's settings (dmSize %u)",
                    LogText(printerName).c_str(), static_cast<unsigned>(mode.dmSize));
        return own;
    }
    ApplySupportedFields(mode, name.data(), job, copies);
    std::vector<std::uint8_t> merged(own.size());
    if (DocumentPropertiesW(nullptr, printer.get(), name.data(), reinterpret_cast<DEVMODEW*>(merged.data()),
                            reinterpret_cast<DEVMODEW*>(own.data()), DM_IN_BUFFER | DM_OUT_BUFFER) == IDOK)
        return merged;
    return own;
}

// The DEVMODE in force for a page: the spool file's last one before it, else the shadow file's.
DevModeDetails PageDevMode(const emf::EmfSpoolJob& job, const emf::SpoolPage& page, const DevModeDetails& shadow) {
    return page.DevMode ? ValidFields(job.DevModes[*page.DevMode].Fields) : shadow;
}

bool SameFields(const DevModeDetails& a, const DevModeDetails& b) {
    return a.Orientation == b.Orientation && a.PaperSize == b.PaperSize && a.FormName == b.FormName &&
           a.Copies == b.Copies && a.Colour == b.Colour && a.Duplex == b.Duplex && a.Collate == b.Collate;
}

emf::PrinterPage PrinterPageOf(HDC dc) {
    return {GetDeviceCaps(dc, LOGPIXELSX),      GetDeviceCaps(dc, LOGPIXELSY), GetDeviceCaps(dc, PHYSICALOFFSETX),
            GetDeviceCaps(dc, PHYSICALOFFSETY), GetDeviceCaps(dc, HORZRES),    GetDeviceCaps(dc, VERTRES)};
}

RECT AsRect(const emf::RectL& rect) { return RECT{rect.Left, rect.Top, rect.Right, rect.Bottom}; }

void LogTally(const RecordTally& tally, const std::string& pathText) {
    for (const auto& [reason, kind] : tally.Skipped)
        LOGOG_INFO("Skipped %u records of \"%s\" (%s), the first on page %u", kind.Count, pathText.c_str(),
                   emf::RecordReasonText(reason), kind.FirstPage);
    for (const auto& [reason, kind] : tally.Changed)
        LOGOG_INFO("Changed %u records of \"%s\" (%s), the first on page %u", kind.Count, pathText.c_str(),
                   emf::RecordReasonText(reason), kind.FirstPage);
}

// One document on the printer's device context, page by page.
class PrinterDocument {
public:
    PrinterDocument(const std::wstring& printer, const std::string& path, const std::string& job, DrawingEvents& events)
        : m_Printer(printer), m_PathText(path), m_JobText(job), m_Events(events) {}

    bool Open(const DevModeDetails& fields, std::uint16_t copies, const std::wstring& jobName) {
        m_Fields = fields;
        m_Copies = copies;
        std::vector<std::uint8_t> mode = DevModeForPrinter(m_Printer, fields, copies);
        m_Dc.reset(CreateDCW(L"WINSPOOL", m_Printer.c_str(), nullptr,
                             mode.empty() ? nullptr : reinterpret_cast<const DEVMODEW*>(mode.data())));
        if (!m_Dc) return Failed("CreateDC");
        DOCINFOW info{};
        info.cbSize = sizeof info;
        info.lpszDocName = jobName.c_str();
        const int job = StartDocW(m_Dc.get(), &info);
        if (job <= 0) return Failed("StartDoc");
        m_Started = true;
        m_Events.JobStarted(static_cast<std::uint32_t>(job));
        return true;
    }

    // A page whose DEVMODE differs from the last page's gets it before it starts.
    PageEnd DrawPage(const DevModeDetails& fields, std::span<const std::uint8_t> emf, const emf::EmfPageCheck& check,
                     std::uint32_t number, std::uint32_t count, RecordTally& tally) {
        if (!SameFields(fields, m_Fields)) {
            std::vector<std::uint8_t> mode = DevModeForPrinter(m_Printer, fields, m_Copies);
            if (!mode.empty() && ResetDCW(m_Dc.get(), reinterpret_cast<const DEVMODEW*>(mode.data())) == nullptr) {
                Failed("ResetDC");
                return PageEnd::Failed;
            }
            m_Fields = fields;
        }
        if (StartPage(m_Dc.get()) <= 0) {
            Failed("StartPage");
            return PageEnd::Failed;
        }
        const emf::PagePlacement placement = emf::PlacePage(check.Header, PrinterPageOf(m_Dc.get()));
        emf::RecordReason refusal = emf::RecordReason::None;
        const PageEnd end = PlayPage(m_Dc.get(), emf, check, AsRect(placement.Target), number, m_Events, tally, refusal);
        if (end == PageEnd::Failed) Failed("SetEnhMetaFileBits");
        if (end == PageEnd::Refused)
            LOGOG_ERROR("Refused to draw page %u of \"%s\": %s", number, m_PathText.c_str(), emf::RecordReasonText(refusal));
        if (end != PageEnd::Drawn) return end;
        if (EndPage(m_Dc.get()) <= 0) {
            Failed("EndPage");
            return PageEnd::Failed;
        }
        LOGOG_DEBUG("Drew page %u of %u of \"%s\"%s", number, count, m_PathText.c_str(),
                    placement.Fitted ? ", scaled to the printable area" : "");
        return PageEnd::Drawn;
    }

    bool End() {
        m_Started = false;
        m_Events.DocumentEnding();
        return EndDoc(m_Dc.get()) > 0 || Failed("EndDoc");
    }

    // A document that did not end is withdrawn; false when even that failed.
    bool Abort() {
        if (!m_Started) return true;
        m_Started = false;
        return AbortDoc(m_Dc.get()) > 0 || Failed("AbortDoc");
    }

    ~PrinterDocument() { Abort(); }
    PrinterDocument(const PrinterDocument&) = delete;
    PrinterDocument& operator=(const PrinterDocument&) = delete;

private:
    bool Failed(const char* call) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Error in %s, printer \"%s\", JobName[%s]: %s", call, LogText(m_Printer).c_str(), m_JobText.c_str(),
                    GetLastErrorText(error).c_str());
        return false;
    }

    std::wstring m_Printer;
    std::string m_PathText;
    std::string m_JobText;
    DrawingEvents& m_Events;
    DevModeDetails m_Fields;
    std::uint16_t m_Copies = 1;
    DeviceContext m_Dc;
    bool m_Started = false;
};

emf::CopiesPlan PlanCopiesFor(const std::wstring& printerName, const DevModeDetails& fields) {
    const int most = DeviceCapabilitiesW(printerName.c_str(), nullptr, DC_COPIES, nullptr, nullptr);
    return emf::PlanCopies(fields.Copies, fields.Collate, most, Supports(printerName.c_str(), DC_COLLATE));
}

// The sheets in order: each a page of the job, the copies that the printer cannot make drawn
// as pages of their own. A page repeated next to itself is read once.
RawJobOutcome DrawSheets(ByteSource& source, const emf::EmfSpoolJob& job, const emf::CopiesPlan& copies,
                         PrinterDocument& document, const DevModeDetails& shadow, const std::string& pathText,
                         const std::string& jobText, DrawingEvents& events, RecordTally& tally) {
    const auto count = static_cast<std::uint32_t>(job.Pages.size());
    const std::uint64_t sheets = copies.Sheets(count);
    events.SheetsToDraw(sheets);
    std::vector<std::uint8_t> bytes;
    emf::EmfPageCheck check;
    std::optional<std::uint32_t> loaded;
    for (std::uint64_t sheet = 0; sheet < sheets; ++sheet) {
        if (events.StopRequested()) {
            LOGOG_INFO("Cancelled by the user: drawing job \"%s\" after %llu pages", jobText.c_str(),
                       static_cast<unsigned long long>(sheet));
            return document.Abort() ? RawJobOutcome::Cancelled : RawJobOutcome::CancelledNotAborted;
        }
        const std::uint32_t index = copies.PageOfSheet(sheet, count), number = index + 1;
        const emf::SpoolPage& page = job.Pages[index];
        events.PageStarted(number);
        emf::SpoolRefusal refusal;
        if (loaded != index && !ReadCheckedPage(source, page, number, bytes, check, refusal)) {
            LOGOG_ERROR("Refused to draw \"%s\": %s", pathText.c_str(), emf::DescribeRefusal(refusal).c_str());
            document.Abort();
            return RawJobOutcome::Failed;
        }
        loaded = index;
        switch (document.DrawPage(PageDevMode(job, page, shadow), bytes, check, number, count, tally)) {
        case PageEnd::Drawn: break;
        case PageEnd::Stopped:
            LOGOG_INFO("Cancelled by the user: drawing job \"%s\" on page %u", jobText.c_str(), number);
            return document.Abort() ? RawJobOutcome::Cancelled : RawJobOutcome::CancelledNotAborted;
        default: document.Abort(); return RawJobOutcome::Failed;
        }
    }
    return document.End() ? RawJobOutcome::Submitted : RawJobOutcome::Failed;
}

}  // namespace

void SetPlaybackRecordHook(PlaybackRecordHook hook) { g_RecordHook = hook; }

std::optional<emf::PrinterPage> PrinterPageFor(const std::wstring& printerName, const DevModeDetails& fields) {
    const std::vector<std::uint8_t> mode = DevModeForPrinter(printerName, fields, 1);
    DeviceContext context(CreateICW(L"WINSPOOL", printerName.c_str(), nullptr,
                                    mode.empty() ? nullptr : reinterpret_cast<const DEVMODEW*>(mode.data())));
    if (!context) return std::nullopt;
    return PrinterPageOf(context.get());
}

RawJobOutcome DrawJobOnPrinter(ByteSource& spoolFile, const std::wstring& displayPath, const std::wstring& jobName,
                               const std::wstring& printerName, const DevModeDetails& jobDevMode,
                               DrawingEvents& events) {
    const std::string pathText = LogText(displayPath), printerText = LogText(printerName), jobText = LogText(jobName);
    RawJobOutcome outcome = RawJobOutcome::Failed;
    emf::EmfSpoolJob job;
    RecordTally tally;
    if (emf::SpoolRefusal refusal = emf::ListEmfSpoolPages(spoolFile, job); refusal.Refused()) {
        LOGOG_ERROR("Refused to draw \"%s\": %s", pathText.c_str(), emf::DescribeRefusal(refusal).c_str());
    } else {
        const DevModeDetails first = PageDevMode(job, job.Pages.front(), jobDevMode);
        const emf::CopiesPlan copies = PlanCopiesFor(printerName, first);
        LOGOG_INFO("Start drawing file \"%s\" for printer \"%s\". JobName is \"%s\", %u pages.", pathText.c_str(),
                   printerText.c_str(), jobText.c_str(), static_cast<unsigned>(job.Pages.size()));
        if (copies.DrawnCopies > 1)
            LOGOG_INFO("The printer \"%s\" cannot make the %u %s copies the job asks for: they are drawn",
                       printerText.c_str(), copies.DrawnCopies, copies.Collated ? "collated" : "uncollated");
        PrinterDocument document(printerName, pathText, jobText, events);
        if (document.Open(first, copies.PrinterCopies, jobName))
            outcome = DrawSheets(spoolFile, job, copies, document, jobDevMode, pathText, jobText, events, tally);
    }
    LogTally(tally, pathText);
    LOGOG_INFO("Finished [%s] drawing file \"%s\" for printer \"%s\". JobName is \"%s\".",
               outcome == RawJobOutcome::Submitted ? "success" : "failure", pathText.c_str(), printerText.c_str(),
               jobText.c_str());
    return outcome;
}

std::vector<std::uint8_t> DrawFirstPagePixels(ByteSource& spoolFile, const std::wstring& displayPath,
                                              std::uint32_t width, std::uint32_t height, DrawingEvents& events) {
    const std::string pathText = LogText(displayPath);
    emf::EmfSpoolJob job;
    std::vector<std::uint8_t> bytes;
    emf::EmfPageCheck check;
    emf::SpoolRefusal refusal = emf::ListEmfSpoolPages(spoolFile, job);
    if (!refusal.Refused()) {
        events.PageStarted(1);
        ReadCheckedPage(spoolFile, job.Pages.front(), 1, bytes, check, refusal);
    }
    if (refusal.Refused()) {
        LOGOG_ERROR("Refused to draw the first page of \"%s\": %s", pathText.c_str(), emf::DescribeRefusal(refusal).c_str());
        return {};
    }
    const auto w = static_cast<LONG>(width), h = static_cast<LONG>(height);
    DeviceContext dc(CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pixels = nullptr;
    Bitmap bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!dc || !bitmap || pixels == nullptr) return {};
    HGDIOBJ previous = SelectObject(dc.get(), bitmap.get());
    // The page fits the bitmap as its frame's proportions say, white on the window's grey.
    const RECT all{0, 0, w, h};
    const RECT paper = AsRect(emf::FitFrame(check.Header.Frame, w, h));
    FillRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
    FillRect(dc.get(), &paper, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FrameRect(dc.get(), &paper, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    RecordTally tally;
    emf::RecordReason reason = emf::RecordReason::None;
    const PageEnd end = PlayPage(dc.get(), bytes, check, paper, 1, events, tally, reason);
    SelectObject(dc.get(), previous);
    if (end == PageEnd::Refused)
        LOGOG_ERROR("Refused to draw the first page of \"%s\": %s", pathText.c_str(), emf::RecordReasonText(reason));
    if (end != PageEnd::Drawn) return {};
    GdiFlush();
    const auto* first = static_cast<const std::uint8_t*>(pixels);
    return std::vector<std::uint8_t>(first, first + std::size_t{width} * height * 4);
}
