#include "EmfSpool/EmfPrint_win.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "ByteReader.h"
#include "FileByteSource_win.h"
#include "Progress.h"
#include "logging/logog.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

// The checks of every record that the system is about to play, over the page's own bytes
// (the metafile that GDI enumerates is a copy of them, record for record).
struct Playback {
    std::span<const std::uint8_t> Page;
    std::optional<emf::RecordCheck> Records;
    std::size_t Position = 0;
    std::uint32_t Skipped = 0;
    emf::RecordReason Refusal = emf::RecordReason::None;
};

// Damaged records stop the page; the ones the player would misread or that do harm are
// skipped, or a corrected copy is played. What is played is always the checked bytes, never
// the system's copy.
int CALLBACK PlayCheckedRecord(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM data) {
    auto& playback = *reinterpret_cast<Playback*>(data);
    if (playback.Position >= playback.Page.size()) {
        playback.Refusal = emf::RecordReason::BadFrame;
        return 0;
    }
    const std::span<const std::uint8_t> ours = playback.Page.subspan(playback.Position);
    ByteReader frame(ours);
    const std::uint32_t type = frame.U32(), size = frame.U32();
    const emf::RecordVerdict verdict = playback.Records->Check(ours);
    if (verdict.Action == emf::RecordAction::Refuse || type != record->iType || size != record->nSize) {
        playback.Refusal = verdict.Action == emf::RecordAction::Refuse ? verdict.Reason : emf::RecordReason::BadFrame;
        return 0;
    }
    playback.Position += size;
    if (verdict.Action == emf::RecordAction::Skip) {
        ++playback.Skipped;
        return 1;
    }
    const std::span<const std::uint8_t> played =
        verdict.Action == emf::RecordAction::Rewrite ? playback.Records->Replacement() : ours.first(size);
    PlayEnhMetaFileRecord(dc, table, reinterpret_cast<const ENHMETARECORD*>(played.data()), static_cast<UINT>(handles));
    return 1;
}

// The page's EMF from the file, checked again on the bytes that are played.
bool ReadPage(ByteSource& source, const emf::SpoolPage& page, std::uint32_t number, std::vector<std::uint8_t>& bytes,
              emf::EmfPageCheck& check, emf::SpoolRefusal& refusal) {
    try {
        bytes.resize(page.Size);
    } catch (const std::bad_alloc&) {
        refusal = {emf::SpoolProblem::OutOfMemory, number, page.Offset, emf::RecordReason::None};
        return false;
    }
    std::size_t got = 0;
    if (!source.ReadAt(page.Offset, bytes.data(), bytes.size(), &got) || got != bytes.size()) {
        refusal = {emf::SpoolProblem::ReadFailed, number, page.Offset, emf::RecordReason::None};
        return false;
    }
    refusal = emf::CheckEmfPage(bytes, number, page.Offset, check);
    return !refusal.Refused();
}

// Plays one page's EMF into the rectangle; the number of skipped records, or a refusal.
bool PlayPage(HDC dc, std::span<const std::uint8_t> emf, const emf::EmfPageCheck& check, const RECT& area,
              Playback& playback) {
    EnhMetaFile metafile(SetEnhMetaFileBits(check.Header.Bytes, emf.data()));
    if (!metafile) return false;
    playback = Playback{emf.first(check.Header.Bytes), std::nullopt, 0, 0, emf::RecordReason::None};
    playback.Records.emplace(check.Header.Handles, check.Header.PaletteEntries);
    EnumEnhMetaFile(dc, metafile.get(), PlayCheckedRecord, &playback, &area);
    return playback.Refusal == emf::RecordReason::None;
}

// Where the page's picture goes in the printer's device units: its frame (0.01 mm from the
// paper's corner) at the printer's resolution, less the margin that the printer cannot print.
RECT FrameOnPrinter(HDC dc, const emf::RectL& frame) {
    const int dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    const int marginX = GetDeviceCaps(dc, PHYSICALOFFSETX), marginY = GetDeviceCaps(dc, PHYSICALOFFSETY);
    auto x = [&](std::int32_t hundredths) { return MulDiv(hundredths, dpiX, 2540) - marginX; };
    auto y = [&](std::int32_t hundredths) { return MulDiv(hundredths, dpiY, 2540) - marginY; };
    return RECT{x(frame.Left), y(frame.Top), x(frame.Right), y(frame.Bottom)};
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

// Only what the printer says it can do is asked of it; the rest stays its own default.
void ApplySupportedFields(DEVMODEW& mode, const wchar_t* device, const DevModeDetails& job) {
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
    if (job.Copies) {
        const int most = DeviceCapabilitiesW(device, nullptr, DC_COPIES, nullptr, nullptr);
        if (most >= 1) {
            mode.dmCopies = static_cast<short>(std::min<int>(*job.Copies, most));
            mode.dmFields |= DM_COPIES;
        }
    }
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
// them; never the job's private part. Empty when the printer gives no DEVMODE.
std::vector<std::uint8_t> DevModeForPrinter(const std::wstring& printerName, const DevModeDetails& job) {
    std::vector<wchar_t> name(printerName.begin(), printerName.end());
    name.push_back(L'\0');
    PrinterHandle printer;
    if (!CurrentRawPrintCalls().openPrinter(name.data(), printer.put(), nullptr)) {
        DWORD error = GetLastError();
        printer.release();
        LOGOG_ERROR("Can't open printer \"%s\": %s", LogText(printerName).c_str(), GetLastErrorText(error).c_str());
        return {};
    }
    const LONG size = DocumentPropertiesW(nullptr, printer.get(), name.data(), nullptr, nullptr, 0);
    std::vector<std::uint8_t> own(size > 0 ? static_cast<std::size_t>(size) : 0);
    if (own.empty() || DocumentPropertiesW(nullptr, printer.get(), name.data(), reinterpret_cast<DEVMODEW*>(own.data()),
                                           nullptr, DM_OUT_BUFFER) != IDOK) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Error in DocumentProperties for printer \"%s\": %s", LogText(printerName).c_str(),
                    GetLastErrorText(error).c_str());
        return {};
    }
    ApplySupportedFields(*reinterpret_cast<DEVMODEW*>(own.data()), name.data(), job);
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

// One document on the printer's device context, page by page.
class PrinterDocument {
public:
    PrinterDocument(const std::wstring& printer, const std::string& path, const std::string& job)
        : m_Printer(printer), m_PathText(path), m_JobText(job) {}

    bool Open(const DevModeDetails& fields, const std::wstring& jobName) {
        m_Fields = fields;
        std::vector<std::uint8_t> mode = DevModeForPrinter(m_Printer, fields);
        m_Dc.reset(CreateDCW(L"WINSPOOL", m_Printer.c_str(), nullptr,
                             mode.empty() ? nullptr : reinterpret_cast<const DEVMODEW*>(mode.data())));
        if (!m_Dc) return Failed("CreateDC");
        DOCINFOW info{};
        info.cbSize = sizeof info;
        info.lpszDocName = jobName.c_str();
        if (StartDocW(m_Dc.get(), &info) <= 0) return Failed("StartDoc");
        m_Started = true;
        return true;
    }

    // A page whose DEVMODE differs from the last page's gets it before it starts.
    bool DrawPage(const DevModeDetails& fields, std::span<const std::uint8_t> emf, const emf::EmfPageCheck& check,
                  std::uint32_t number, std::uint32_t count) {
        if (!SameFields(fields, m_Fields)) {
            std::vector<std::uint8_t> mode = DevModeForPrinter(m_Printer, fields);
            if (!mode.empty() && ResetDCW(m_Dc.get(), reinterpret_cast<const DEVMODEW*>(mode.data())) == nullptr)
                return Failed("ResetDC");
            m_Fields = fields;
        }
        if (StartPage(m_Dc.get()) <= 0) return Failed("StartPage");
        Playback playback;
        if (!PlayPage(m_Dc.get(), emf, check, FrameOnPrinter(m_Dc.get(), check.Header.Frame), playback)) {
            if (playback.Refusal == emf::RecordReason::None) return Failed("SetEnhMetaFileBits");
            LOGOG_ERROR("Refused to draw page %u of \"%s\": %s", number, m_PathText.c_str(),
                        emf::RecordReasonText(playback.Refusal));
            return false;
        }
        if (EndPage(m_Dc.get()) <= 0) return Failed("EndPage");
        LOGOG_DEBUG("Drew page %u of %u of \"%s\" (%u records skipped)", number, count, m_PathText.c_str(),
                    playback.Skipped);
        return true;
    }

    bool End() {
        m_Started = false;
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
    DevModeDetails m_Fields;
    DeviceContext m_Dc;
    bool m_Started = false;
};

RawJobOutcome DrawPages(ByteSource& source, const emf::EmfSpoolJob& job, PrinterDocument& document,
                        const DevModeDetails& shadow, const std::string& pathText, const std::string& jobText) {
    const auto count = static_cast<std::uint32_t>(job.Pages.size());
    ProgressAddTotal(count);
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t number = 1; number <= count; ++number) {
        if (ProgressStopRequested()) {
            LOGOG_INFO("Cancelled by the user: drawing job \"%s\" after %u pages", jobText.c_str(), number - 1);
            return document.Abort() ? RawJobOutcome::Cancelled : RawJobOutcome::CancelledNotAborted;
        }
        const emf::SpoolPage& page = job.Pages[number - 1];
        emf::EmfPageCheck check;
        emf::SpoolRefusal refusal;
        if (!ReadPage(source, page, number, bytes, check, refusal)) {
            LOGOG_ERROR("Refused to draw \"%s\": %s", pathText.c_str(), emf::DescribeRefusal(refusal).c_str());
            document.Abort();
            return RawJobOutcome::Failed;
        }
        if (!document.DrawPage(PageDevMode(job, page, shadow), bytes, check, number, count)) {
            document.Abort();
            return RawJobOutcome::Failed;
        }
        ProgressAdvance(1);
    }
    return document.End() ? RawJobOutcome::Submitted : RawJobOutcome::Failed;
}

}  // namespace

emf::SpoolRefusal CheckEmfJob(const std::wstring& splPath, emf::EmfSpoolJob& job) {
    std::unique_ptr<ByteSource> source = OpenFileForReading(splPath);
    if (!source) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Can't open file \"%s\": %s", LogText(splPath).c_str(), GetLastErrorText(error).c_str());
        return {emf::SpoolProblem::ReadFailed, 0, 0, emf::RecordReason::None};
    }
    const emf::SpoolRefusal refusal = emf::ReadEmfSpool(*source, job, CurrentOperationProgress());
    if (refusal.Problem == emf::SpoolProblem::Cancelled) {
        LOGOG_INFO("Cancelled by the user: checking the pages of \"%s\"", LogText(splPath).c_str());
    } else if (refusal.Refused()) {
        LOGOG_ERROR("Refused to draw \"%s\": %s", LogText(splPath).c_str(), emf::DescribeRefusal(refusal).c_str());
    }
    return refusal;
}

RawJobOutcome DrawEmfJob(const std::wstring& splPath, const std::wstring& jobName, const std::wstring& printerName,
                         const DevModeDetails& jobDevMode) {
    const std::string pathText = LogText(splPath), printerText = LogText(printerName), jobText = LogText(jobName);
    RawJobOutcome outcome = RawJobOutcome::Failed;
    emf::EmfSpoolJob job;
    std::unique_ptr<ByteSource> source = OpenFileForReading(splPath);
    if (!source) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Can't open file \"%s\": %s", pathText.c_str(), GetLastErrorText(error).c_str());
    } else if (emf::SpoolRefusal refusal = emf::ListEmfSpoolPages(*source, job); refusal.Refused()) {
        LOGOG_ERROR("Refused to draw \"%s\": %s", pathText.c_str(), emf::DescribeRefusal(refusal).c_str());
    } else {
        LOGOG_INFO("Start drawing file \"%s\" for printer \"%s\". JobName is \"%s\", %u pages.", pathText.c_str(),
                   printerText.c_str(), jobText.c_str(), static_cast<unsigned>(job.Pages.size()));
        PrinterDocument document(printerName, pathText, jobText);
        const emf::SpoolPage& first = job.Pages.front();
        if (document.Open(PageDevMode(job, first, jobDevMode), jobName))
            outcome = DrawPages(*source, job, document, jobDevMode, pathText, jobText);
    }
    LOGOG_INFO("Finished [%s] drawing file \"%s\" for printer \"%s\". JobName is \"%s\".",
               outcome == RawJobOutcome::Submitted ? "success" : "failure", pathText.c_str(), printerText.c_str(),
               jobText.c_str());
    return outcome;
}

Bitmap DrawFirstPage(const std::wstring& splPath, int width, int height) {
    std::unique_ptr<ByteSource> source = OpenFileForReading(splPath);
    emf::EmfSpoolJob job;
    if (!source || emf::ListEmfSpoolPages(*source, job).Refused()) return {};
    std::vector<std::uint8_t> bytes;
    emf::EmfPageCheck check;
    emf::SpoolRefusal refusal;
    if (!ReadPage(*source, job.Pages.front(), 1, bytes, check, refusal)) return {};
    DeviceContext dc(CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pixels = nullptr;
    Bitmap bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!dc || !bitmap) return {};
    HGDIOBJ previous = SelectObject(dc.get(), bitmap.get());
    // The page fits the bitmap as its frame's proportions say, white on the window's grey.
    const emf::RectL& frame = check.Header.Frame;
    const double frameWidth = frame.Right - frame.Left, frameHeight = frame.Bottom - frame.Top;
    const double scale = std::min((width - 2) / frameWidth, (height - 2) / frameHeight);
    const int pageWidth = static_cast<int>(frameWidth * scale), pageHeight = static_cast<int>(frameHeight * scale);
    const RECT all{0, 0, width, height};
    const RECT paper{(width - pageWidth) / 2, (height - pageHeight) / 2, (width + pageWidth) / 2, (height + pageHeight) / 2};
    FillRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
    FillRect(dc.get(), &paper, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FrameRect(dc.get(), &paper, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    Playback playback;
    const bool drawn = PlayPage(dc.get(), bytes, check, paper, playback);
    SelectObject(dc.get(), previous);
    if (!drawn) return {};
    return bitmap;
}
