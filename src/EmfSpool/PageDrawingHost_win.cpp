#include "EmfSpool/PageDrawingHost_win.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "CommandLine.h"
#include "Progress.h"
#include "handles_win.h"
#include "logging/logog.h"
#include "pathutil_win.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

// One page is at most 256 MiB and a decompressed image as much again; a child that needs far
// more is not drawing a page any more.
constexpr SIZE_T kChildMemoryLimit = SIZE_T{1} << 30;
constexpr DWORD kReadChunk = 64 * 1024;
constexpr DWORD kPollMilliseconds = 10;

void LogFailedCall(const char* call) {
    DWORD error = GetLastError();
    LOGOG_ERROR("Error in %s while starting the page-drawing process: %s", call, GetLastErrorText(error).c_str());
}

// A copy of one of this process's handles that the child inherits. Ours stay uninheritable,
// so that the child gets these and nothing else (the log file, other files) even where the
// handle list below is not honoured.
FileHandle InheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        LogFailedCall("DuplicateHandle");
        return {};
    }
    return FileHandle(copy);
}

// The process-creation attribute that limits inheritance to the given handles.
class InheritedHandles {
public:
    explicit InheritedHandles(std::vector<HANDLE> handles) : m_Handles(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_Storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_Storage.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        m_List = list;
        if (!UpdateProcThreadAttribute(m_List, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_Handles.data(),
                                       m_Handles.size() * sizeof(HANDLE), nullptr, nullptr))
            LogFailedCall("UpdateProcThreadAttribute");
    }
    ~InheritedHandles() {
        if (m_List != nullptr) DeleteProcThreadAttributeList(m_List);
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST List() const { return m_List; }

private:
    std::vector<HANDLE> m_Handles;
    std::vector<std::uint8_t> m_Storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_List = nullptr;
};

// The job object that holds the child: closing it (also when this process dies) ends the
// child; an unhandled exception ends it without the system's crash dialog.
FileHandle MakeChildJob() {
    FileHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        LogFailedCall("CreateJobObject");
        return {};
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION | JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limits.ProcessMemoryLimit = kChildMemoryLimit;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        LogFailedCall("SetInformationJobObject");
        return {};  // a job that would not end the child with us is no use
    }
    return job;
}

struct Child {
    FileHandle Job;
    FileHandle Process;
    FileHandle ReportsRead;
};

// Starts the child suspended, puts it in its job, hands it the request, and lets it run. Where
// the child cannot join the job (an older system whose program itself runs in a job), it runs
// without: it is then ended alone, and it stops by itself when its reports find no reader.
bool StartChild(const drawing::Request& request, HANDLE spoolFile, HANDLE cancel, Child& child) {
    FileHandle requestRead, requestWrite, reportsWrite;
    if (!CreatePipe(requestRead.put(), requestWrite.put(), nullptr, 0) ||
        !CreatePipe(child.ReportsRead.put(), reportsWrite.put(), nullptr, 0)) {
        LogFailedCall("CreatePipe");
        return false;
    }
    FileHandle given[] = {InheritableCopy(requestRead.get()), InheritableCopy(reportsWrite.get()),
                          InheritableCopy(spoolFile), InheritableCopy(cancel)};
    if (std::any_of(std::begin(given), std::end(given), [](const FileHandle& h) { return !h; })) return false;
    child.Job = MakeChildJob();
    const std::wstring program = ExecutablePath();
    if (program.empty()) {
        LogFailedCall("GetModuleFileName");
        return false;
    }
    const auto value = [](const FileHandle& h) { return reinterpret_cast<std::uintptr_t>(h.get()); };
    std::wstring commandLine = L"\"" + program + L"\" " +
                               DrawingChildArguments({value(given[0]), value(given[1]), value(given[2]), value(given[3])});
    InheritedHandles inherited({given[0].get(), given[1].get(), given[2].get(), given[3].get()});
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;
    startup.lpAttributeList = inherited.List();
    PROCESS_INFORMATION started{};
    const DWORD flags = CREATE_SUSPENDED | (inherited.List() != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);
    // A start can fail for a moment (seen under Wine with the machine busy): it is tried again.
    constexpr int kAttempts = 3;
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                           &startup.StartupInfo, &started))
            break;
        LogFailedCall("CreateProcess");
        if (attempt == kAttempts) return false;
        Sleep(200);
    }
    child.Process.reset(started.hProcess);
    FileHandle thread(started.hThread);
    if (child.Job && !AssignProcessToJobObject(child.Job.get(), child.Process.get())) {
        LogFailedCall("AssignProcessToJobObject");
        child.Job.reset();
    }
    ResumeThread(thread.get());
    // Only the child holds its ends now: when it ends, reading our end reports the pipe broken.
    for (FileHandle& handle : given) handle.reset();
    requestRead.reset();
    reportsWrite.reset();
    const drawing::Bytes bytes = drawing::EncodeRequest(request);
    DWORD written = 0;
    if (!WriteFile(requestWrite.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        LogFailedCall("WriteFile");
    return true;
}

logog::LOGOG_LEVEL_TYPE RelayedLevel(std::uint32_t level) {
    if (level <= static_cast<std::uint32_t>(logog::LOGOG_LEVEL_ERROR)) return logog::LOGOG_LEVEL_ERROR;
    if (level <= static_cast<std::uint32_t>(logog::LOGOG_LEVEL_INFO)) return logog::LOGOG_LEVEL_INFO;
    return logog::LOGOG_LEVEL_DEBUG;
}

std::string Formatted(const char* format, unsigned long value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Reads the child's reports as they come, until it ends or is ended.
class ChildWatch {
public:
    ChildWatch(Child& child, HANDLE cancel, const drawing::Request& request, ChildDrawing& result)
        : m_Child(child), m_Cancel(cancel), m_Stream(request.Width, request.Height), m_Result(result) {}

    void Run() {
        const ChildLimits limits = CurrentChildLimits();
        ULONGLONG lastHeard = GetTickCount64();
        for (;;) {
            const bool readSome = ReadAvailable();
            if (m_Stream.Damaged()) return End("sent reports that cannot be read");
            if (readSome) {
                lastHeard = GetTickCount64();
                continue;
            }
            if (WaitForSingleObject(m_Child.Process.get(), kPollMilliseconds) == WAIT_OBJECT_0) {
                while (ReadAvailable()) {
                }
                return;
            }
            if (ProgressStopRequested()) AskToStop();
            const ULONGLONG now = GetTickCount64();
            if (m_Result.StopAsked && now - m_StopAskedAt > limits.StopMilliseconds)
                return End(Formatted("did not stop within %lu ms of the Cancel", limits.StopMilliseconds));
            if (now - lastHeard > limits.SilenceMilliseconds)
                return End(Formatted("did not answer for %lu ms", limits.SilenceMilliseconds));
        }
    }

private:
    // Whatever the pipe holds now, handled report by report; false when it held nothing.
    bool ReadAvailable() {
        DWORD available = 0;
        if (!PeekNamedPipe(m_Child.ReportsRead.get(), nullptr, 0, nullptr, &available, nullptr) || available == 0)
            return false;
        std::vector<std::uint8_t> bytes(std::min(available, kReadChunk));
        DWORD got = 0;
        if (!ReadFile(m_Child.ReportsRead.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got == 0)
            return false;
        m_Stream.Append(std::span(bytes).first(got));
        while (std::optional<drawing::Report> report = m_Stream.Next()) Handle(*report);
        return true;
    }

    void Handle(drawing::Report& report) {
        switch (report.Kind) {
        case drawing::ReportKind::Log:
            logog::LogRelayedLine(RelayedLevel(report.Level), EscapeLogLine(report.File).c_str(),
                                  static_cast<int>(report.Line), EscapeLogLine(report.Text).c_str());
            break;
        case drawing::ReportKind::Pages: ProgressAddTotal(report.Value); break;
        case drawing::ReportKind::PageStarted:
            if (m_Result.Page != 0) Advance();
            m_Result.Page = report.Value;
            break;
        case drawing::ReportKind::JobStarted: m_Result.JobId = report.Value; break;
        case drawing::ReportKind::Ending:
            m_Result.Ending = true;
            Advance();
            break;
        case drawing::ReportKind::Pixels: m_Result.Pixels = std::move(report.Pixels); break;
        case drawing::ReportKind::Finished:
            if (report.Value >= 1 && report.Value <= 4) m_Result.Finished = static_cast<drawing::Outcome>(report.Value);
            break;
        case drawing::ReportKind::Alive: break;
        }
    }

    void Advance() {
        if (!ProgressAdvance(1)) AskToStop();
    }

    // The child ends its document and itself when it next looks; it has a while to do so.
    void AskToStop() {
        if (m_Result.StopAsked) return;
        m_Result.StopAsked = true;
        m_StopAskedAt = GetTickCount64();
        SetEvent(m_Cancel);
    }

    // Ends the child and what it may have started: the whole job object.
    void End(const std::string& why) {
        m_Result.Failure = why;
        if (!m_Child.Job || !TerminateJobObject(m_Child.Job.get(), 1)) TerminateProcess(m_Child.Process.get(), 1);
        WaitForSingleObject(m_Child.Process.get(), 5000);
    }

    Child& m_Child;
    HANDLE m_Cancel;
    drawing::ReportStream m_Stream;
    ChildDrawing& m_Result;
    ULONGLONG m_StopAskedAt = 0;
};

std::string ExitText(DWORD code) {
    if (code >= 0xC0000000) return Formatted("crashed with exception code 0x%08lX", code);
    return Formatted("ended with exit code %lu", code);
}

}  // namespace

ChildLimits& CurrentChildLimits() {
    static ChildLimits limits;
    return limits;
}

ChildDrawing DrawInChildProcess(const drawing::Request& request, HANDLE spoolFile) {
    ChildDrawing result;
    FileHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Child child;
    if (!cancel || !StartChild(request, spoolFile, cancel.get(), child)) {
        result.Failure = "could not be started";
        return result;
    }
    ChildWatch(child, cancel.get(), request, result).Run();
    DWORD code = 0;
    GetExitCodeProcess(child.Process.get(), &code);
    if (!result.Finished && result.Failure.empty()) result.Failure = ExitText(code);
    return result;
}
