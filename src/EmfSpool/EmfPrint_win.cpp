#include "EmfSpool/EmfPrint_win.h"

#include <winspool.h>

#include <cstring>
#include <optional>

#include "EmfSpool/EmfPlayback_win.h"
#include "EmfSpool/PageDrawingHost_win.h"
#include "EmfSpool/RedrawLayout.h"
#include "FileByteSource_win.h"
#include "Progress.h"
#include "logging/logog.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

FileHandle OpenForDrawing(const std::wstring& splPath) {
    FileHandle file = OpenFileDenyingWriters(splPath);
    if (!file) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Can't open file \"%s\": %s", LogText(splPath).c_str(), GetLastErrorText(error).c_str());
    }
    return file;
}

drawing::Request RequestFor(drawing::Task task, const std::wstring& splPath) {
    drawing::Request request;
    request.What = task;
    request.Path.assign(splPath.begin(), splPath.end());
    return request;
}

// What became of the spooler job of a page-drawing process that died or hung.
enum class Withdrawal { NothingQueued, Withdrawn, Failed };

// The job it started is deleted. One that the spooler does not know was never queued (or its
// process's end took it with it), unless the document was being ended: then it may be printing.
Withdrawal WithdrawJob(const ChildDrawing& drawn, const std::wstring& printerName) {
    if (!drawn.JobId) return drawn.Ending ? Withdrawal::Failed : Withdrawal::NothingQueued;
    const std::string printerText = LogText(printerName);
    PrinterHandle printer = OpenPrinterByName(printerName);
    if (!printer) return Withdrawal::Failed;
    if (SetJobW(printer.get(), *drawn.JobId, 0, nullptr, JOB_CONTROL_DELETE)) {
        LOGOG_INFO("Withdrew job %u from printer \"%s\"", *drawn.JobId, printerText.c_str());
        return Withdrawal::Withdrawn;
    }
    DWORD error = GetLastError();
    // A job the spooler does not know is not queued; Wine's spooler loses the job of a process
    // that died, and says nothing useful in the error code of either call.
    DWORD needed = 0;
    if (!GetJobW(printer.get(), *drawn.JobId, 1, nullptr, 0, &needed) && needed == 0 && !drawn.Ending) {
        LOGOG_INFO("Job %u is not in the queue of printer \"%s\": nothing of it was queued", *drawn.JobId,
                   printerText.c_str());
        return Withdrawal::NothingQueued;
    }
    LOGOG_ERROR("Can't withdraw job %u from printer \"%s\": %s", *drawn.JobId, printerText.c_str(),
                GetLastErrorText(error).c_str());
    return Withdrawal::Failed;
}

RawJobOutcome AsJobOutcome(drawing::Outcome outcome) {
    switch (outcome) {
    case drawing::Outcome::Done: return RawJobOutcome::Submitted;
    case drawing::Outcome::Cancelled: return RawJobOutcome::Cancelled;
    case drawing::Outcome::CancelledNotAborted: return RawJobOutcome::CancelledNotAborted;
    case drawing::Outcome::Failed: break;
    }
    return RawJobOutcome::Failed;
}

// A child that did not finish: its job withdrawn, and the outcome says whether that worked.
// After a Cancel it counts as cancelled.
RawJobOutcome AfterDeadChild(const ChildDrawing& drawn, const std::wstring& splPath, const std::wstring& printerName) {
    LOGOG_ERROR("The page-drawing process for \"%s\" on printer \"%s\" %s, on page %u", LogText(splPath).c_str(),
                LogText(printerName).c_str(), drawn.Failure.c_str(), drawn.Page);
    const bool withdrawn = WithdrawJob(drawn, printerName) != Withdrawal::Failed;
    if (drawn.StopAsked) return withdrawn ? RawJobOutcome::Cancelled : RawJobOutcome::CancelledNotAborted;
    return withdrawn ? RawJobOutcome::Crashed : RawJobOutcome::CrashedNotWithdrawn;
}

Bitmap BitmapOf(const drawing::Bytes& pixels, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) return {};
    std::memcpy(bits, pixels.data(), pixels.size());
    return bitmap;
}

}  // namespace

emf::SpoolRefusal CheckEmfJob(const std::wstring& splPath, emf::EmfSpoolJob& job) {
    FileHandle file = OpenForDrawing(splPath);
    if (!file) return {emf::SpoolProblem::ReadFailed, 0, 0, emf::RecordReason::None};
    FileByteSource source(std::move(file));
    const emf::SpoolRefusal refusal = emf::ReadEmfSpool(source, job, CurrentOperationProgress());
    if (refusal.Problem == emf::SpoolProblem::Cancelled) {
        LOGOG_INFO("Cancelled by the user: checking the pages of \"%s\"", LogText(splPath).c_str());
    } else if (refusal.Refused()) {
        LOGOG_ERROR("Refused to draw \"%s\": %s", LogText(splPath).c_str(), emf::DescribeRefusal(refusal).c_str());
    }
    return refusal;
}

bool PagesNeedFitting(const emf::EmfSpoolJob& job, const std::wstring& printerName, const DevModeDetails& jobDevMode) {
    if (job.Pages.empty()) return false;
    const emf::SpoolPage& first = job.Pages.front();
    const std::optional<emf::PrinterPage> page =
        PrinterPageFor(printerName, first.DevMode ? ValidFields(job.DevModes[*first.DevMode].Fields) : jobDevMode);
    if (!page) return false;
    for (const emf::SpoolPage& each : job.Pages)
        if (emf::PlacePage(each.Check.Header, *page).Fitted) return true;
    return false;
}

RawJobOutcome DrawEmfJob(const std::wstring& splPath, const std::wstring& jobName, const std::wstring& printerName,
                         const DevModeDetails& jobDevMode) {
    FileHandle file = OpenForDrawing(splPath);
    if (!file) return RawJobOutcome::Failed;
    drawing::Request request = RequestFor(drawing::Task::Printer, splPath);
    request.Printer.assign(printerName.begin(), printerName.end());
    request.JobName.assign(jobName.begin(), jobName.end());
    request.JobDevMode = jobDevMode;
    const ChildDrawing drawn = DrawInChildProcess(request, file.get());
    if (drawn.Finished) return AsJobOutcome(*drawn.Finished);
    return AfterDeadChild(drawn, splPath, printerName);
}

Bitmap DrawFirstPage(const std::wstring& splPath, int width, int height) {
    if (width <= 0 || height <= 0 || width > static_cast<int>(drawing::kMaxThumbnailSide) ||
        height > static_cast<int>(drawing::kMaxThumbnailSide))
        return {};
    FileHandle file = OpenForDrawing(splPath);
    if (!file) return {};
    drawing::Request request = RequestFor(drawing::Task::FirstPage, splPath);
    request.Width = static_cast<std::uint32_t>(width);
    request.Height = static_cast<std::uint32_t>(height);
    const ChildDrawing drawn = DrawInChildProcess(request, file.get());
    if (!drawn.Finished) {
        LOGOG_ERROR("The first page of \"%s\" could not be drawn: the page-drawing process %s",
                    LogText(splPath).c_str(), drawn.Failure.c_str());
        return {};
    }
    if (*drawn.Finished != drawing::Outcome::Done || drawn.Pixels.empty()) return {};
    return BitmapOf(drawn.Pixels, width, height);
}
