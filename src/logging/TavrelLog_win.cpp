// Where the log lives (beside the executable) and its set-up, once per process.
#include <windows.h>

#include <vector>

#include "logging/LogFile.h"
#include "logging/TavrelLog.h"

// Wide and unbounded: a folder name outside the ANSI code page, or a path beyond MAX_PATH,
// must still give the right log path.
std::wstring GetLogFilePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return L"Tavrel.log";
        if (length < buffer.size()) return LogFilePathForModule(std::wstring(buffer.data(), length));
        if (buffer.size() >= 32768) return L"Tavrel.log";
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

// The log target and its formatter, created once and torn down at exit in reverse order.
struct LogFileSetup {
    zendal::TavrelUtil::CFormatterCustom* formatter;
    logog::LogFile* target;

    LogFileSetup() {
        logog::InitializeFramework();
        formatter = new zendal::TavrelUtil::CFormatterCustom;
        target = new logog::LogFile(GetLogFilePath().c_str(), false);
        formatter->SetTimeOfDayShown(true);
        target->SetFormatter(*formatter);
        logog::SetDefaultLevel(logog::LOGOG_LEVEL_INFO);
    }

    ~LogFileSetup() {
        delete target;
        delete formatter;
        logog::ShutdownFramework();
    }

    LogFileSetup(const LogFileSetup&) = delete;
    LogFileSetup& operator=(const LogFileSetup&) = delete;
};

}  // namespace

bool InitializeLogging() {
    static LogFileSetup setup;
    logog::String empty;
    return setup.target->OutputUnderLock(empty) == 0;
}
