#include "EmfSpool/PageDrawingChild_win.h"

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "EmfSpool/EmfPlayback_win.h"
#include "EmfSpool/PageDrawingProtocol.h"
#include "FileByteSource_win.h"
#include "handles_win.h"
#include "logging/logog.h"

namespace {

// A handle the program gave this process, as the switch names it.
HANDLE Inherited(std::uintptr_t value) { return reinterpret_cast<HANDLE>(value); }

class ReportPipe {
public:
    explicit ReportPipe(HANDLE pipe) : m_Pipe(pipe) {}

    // A program that is gone reads nothing: the drawing stops at its next look (StopRequested).
    void Send(const drawing::Report& report) {
        const drawing::Bytes frame = drawing::EncodeReport(report);
        std::size_t done = 0;
        while (m_Open && done < frame.size()) {
            DWORD written = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(frame.size() - done, 1u << 20));
            m_Open = WriteFile(m_Pipe.get(), frame.data() + done, chunk, &written, nullptr) && written > 0;
            done += written;
        }
    }
    void Send(drawing::ReportKind kind, std::uint32_t value = 0) { Send({.Kind = kind, .Value = value}); }
    bool Open() const { return m_Open; }

private:
    FileHandle m_Pipe;
    bool m_Open = true;
};

// Every log line of this process goes to the program as a report.
class PipeLogTarget : public logog::Target {
public:
    explicit PipeLogTarget(ReportPipe& pipe) : m_Pipe(pipe) {}
    int Receive(logog::Topic& topic) override {
        logog::ScopedLock lock(m_OutputMutex);
        const char* file = topic.FileName().c_str();
        for (const char* at = file; *at != '\0'; ++at)
            if (*at == '\\' || *at == '/') file = at + 1;
        m_Pipe.Send({.Kind = drawing::ReportKind::Log,
                     .Level = static_cast<std::uint32_t>(topic.Level()),
                     .Line = static_cast<std::uint32_t>(topic.LineNumber()),
                     .File = file,
                     .Text = topic.Text().c_str()});
        return 0;
    }
    int Output(const logog::String&) override { return 0; }

private:
    ReportPipe& m_Pipe;
};

class ChildEvents final : public DrawingEvents {
public:
    ChildEvents(ReportPipe& pipe, HANDLE cancel) : m_Pipe(pipe), m_Cancel(cancel) {}
    void SheetsToDraw(std::uint64_t sheets) override {
        m_Pipe.Send(drawing::ReportKind::Pages, static_cast<std::uint32_t>(std::min<std::uint64_t>(sheets, UINT32_MAX)));
    }
    void PageStarted(std::uint32_t page) override { m_Pipe.Send(drawing::ReportKind::PageStarted, page); }
    void JobStarted(std::uint32_t jobId) override { m_Pipe.Send(drawing::ReportKind::JobStarted, jobId); }
    void DocumentEnding() override { m_Pipe.Send(drawing::ReportKind::Ending); }
    // Asked to stop, or nobody reads the reports any more: the program is gone.
    bool StopRequested() override { return !m_Pipe.Open() || WaitForSingleObject(m_Cancel.get(), 0) == WAIT_OBJECT_0; }
    void StillDrawing() override { m_Pipe.Send(drawing::ReportKind::Alive); }

private:
    ReportPipe& m_Pipe;
    FileHandle m_Cancel;
};

// The whole request, up to the end of the pipe, which the program closes once it has written it.
std::optional<drawing::Request> ReadRequest(HANDLE pipe) {
    constexpr std::size_t kMostRequestBytes = 1 << 20;
    drawing::Bytes bytes;
    std::uint8_t buffer[4096];
    DWORD got = 0;
    while (bytes.size() <= kMostRequestBytes && ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    return drawing::DecodeRequest(bytes);
}

drawing::Outcome AsOutcome(RawJobOutcome outcome) {
    switch (outcome) {
    case RawJobOutcome::Submitted: return drawing::Outcome::Done;
    case RawJobOutcome::Cancelled: return drawing::Outcome::Cancelled;
    case RawJobOutcome::CancelledNotAborted: return drawing::Outcome::CancelledNotAborted;
    default: return drawing::Outcome::Failed;
    }
}

// A crash ends the process at once with the exception's code, which the program logs: no
// crash dialog, no debugger, nothing written by a process whose state is no longer sound.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

drawing::Outcome Run(const drawing::Request& request, FileByteSource& spoolFile, ReportPipe& pipe, ChildEvents& events) {
    const std::wstring path(request.Path.begin(), request.Path.end());
    const std::wstring jobName(request.JobName.begin(), request.JobName.end());
    const std::wstring printer(request.Printer.begin(), request.Printer.end());
    if (request.What == drawing::Task::Printer)
        return AsOutcome(DrawJobOnPrinter(spoolFile, path, jobName, printer, request.JobDevMode, events));
    drawing::Bytes pixels = DrawFirstPagePixels(spoolFile, path, request.Width, request.Height, events);
    if (pixels.empty()) return drawing::Outcome::Failed;
    pipe.Send({.Kind = drawing::ReportKind::Pixels, .Width = request.Width, .Height = request.Height, .Pixels = std::move(pixels)});
    return drawing::Outcome::Done;
}

}  // namespace

int RunPageDrawingChild(const DrawingChildHandles& handles) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    FileHandle requestPipe(Inherited(handles.Request));
    ReportPipe pipe(Inherited(handles.Reports));
    ChildEvents events(pipe, Inherited(handles.Cancel));
    FileByteSource spoolFile{FileHandle(Inherited(handles.SpoolFile))};

    logog::InitializeFramework();
    logog::SetDefaultLevel(logog::LOGOG_LEVEL_ALL);  // the program's own filter decides what is written
    new PipeLogTarget(pipe);  // owned and deleted by the framework
    int exitCode = 1;
    if (std::optional<drawing::Request> request = ReadRequest(requestPipe.get())) {
        pipe.Send(drawing::ReportKind::Finished, static_cast<std::uint32_t>(Run(*request, spoolFile, pipe, events)));
        exitCode = 0;
    } else {
        LOGOG_ERROR("The page-drawing process got no request it could read");
    }
    logog::ShutdownFramework();
    return exitCode;
}
