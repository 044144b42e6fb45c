#include "logging/LogFile.h"

#include <cerrno>
#include <share.h>

namespace logog {

LogFile::LogFile(const wchar_t* fileName, bool enableOutputBuffering)
    : m_FileName(fileName ? fileName : L""), m_bOutputBuffering(enableOutputBuffering) {
    m_bNullTerminates = false;  // no zero byte may enter a text file
}

// Out of the graph first: a delivery from another thread that is under way ends before the
// unlink returns, and none starts after it. The close then waits for a direct output still
// holding the output lock. Unlinking under that lock would invert the delivery path's lock
// order (filter, then target) and could deadlock.
LogFile::~LogFile() {
    Detach();
    ScopedLock lock(m_OutputMutex);
    if (m_pFile != nullptr) std::fclose(m_pFile);
    m_pFile = nullptr;
    m_bFirstTime = false;  // a late output writes nothing rather than reopening the file
}

int LogFile::Output(const String& data) {
    if (m_bOpenFailed) return -1;
    if (m_bFirstTime) {
        int result = OpenFile();
        if (result != 0) return result;  // stays in first-use state: the next output tries again
        m_bFirstTime = false;
    }
    return WriteData(data.size(), data.data());
}

// Deny-write share mode: a second instance cannot open the log, while readers can.
int LogFile::OpenFile() {
    errno = 0;
    m_pFile = _wfsopen(m_FileName.c_str(), L"ab", _SH_DENYWR);
    if (m_pFile == nullptr) {
        if (errno != 0) return errno;
        m_bOpenFailed = true;
        return -1;
    }
    // Unbuffered: every line is on disk before the logging call returns, even if the process dies.
    if (!m_bOutputBuffering) std::setvbuf(m_pFile, nullptr, _IONBF, 0);
    return 0;
}

int LogFile::WriteData(size_t count, const void* data) {
    if (m_pFile == nullptr) return -1;
    return std::fwrite(data, 1, count, m_pFile) == count ? 0 : -1;
}

}  // namespace logog
