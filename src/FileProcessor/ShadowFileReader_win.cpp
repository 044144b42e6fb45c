// File I/O and log lines of the shadow-file reader; the decoding is in ShadowFileParser.
#include <vector>

#include "FileProcessor/FileProcessor_win.h"
#include "handles_win.h"
#include "logging/logog.h"
#include "pathutil_win.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

std::wstring ToWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

JobInfo ReadJobInfoFromSHD(const std::wstring& path) {
    JobInfo result;
    FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Can't open file \"%s\": %s", LogText(path).c_str(), GetLastErrorText(error).c_str());
        return result;
    }
    SHADOW_FILE_HEADER_ALLWIN64 header{};
    DWORD bytesRead = 0;
    // A short file is no system error: report the success code rather than a stale one.
    SetLastError(ERROR_SUCCESS);
    BOOL ok = ReadFile(file.get(), header.data(), static_cast<DWORD>(header.size()), &bytesRead, nullptr);
    DWORD error = GetLastError();
    if (!ok || bytesRead < header.size()) {
        LOGOG_ERROR("Can't read SHADOW_FILE_HEADER_ALLWIN64 from file \"%s\"! Expect %lu bytes, read %lu bytes, error: %s",
                    LogText(path).c_str(), static_cast<unsigned long>(header.size()), bytesRead,
                    GetLastErrorText(error).c_str());
        return result;
    }
    return ReadJobInfoFromSHD_ALLWIN(file.get(), header, path);
}

JobInfo ReadJobInfoFromSHD_ALLWIN(HANDLE file, const SHADOW_FILE_HEADER_ALLWIN64& header,
                                  const std::wstring& path) {
    JobInfo result;
    ShadowHeaderLayout layout = ParseShadowHeader(header);

    // The offset is an unsigned 32-bit position: pass a zero high part so that offsets from
    // 2 GiB on are not taken as negative. With a high part, INVALID_SET_FILE_POINTER is also
    // a valid low part, so only the error code tells a failure.
    LONG high = 0;
    SetLastError(ERROR_SUCCESS);
    DWORD low = SetFilePointer(file, static_cast<LONG>(layout.StringAreaOffset), &high, FILE_BEGIN);
    DWORD error = GetLastError();
    if (low == INVALID_SET_FILE_POINTER && error != NO_ERROR) {
        LOGOG_ERROR("Error in SetFilePointer(%lu,0, FILE_BEGIN) for file \"%s\": %s",
                    static_cast<unsigned long>(layout.StringAreaOffset), LogText(path).c_str(),
                    GetLastErrorText(error).c_str());
        return result;
    }

    std::vector<std::uint8_t> area(ShadowStringAreaSize, 0);
    DWORD bytesRead = 0;
    SetLastError(ERROR_SUCCESS);
    BOOL ok = ReadFile(file, area.data(), static_cast<DWORD>(area.size()), &bytesRead, nullptr);
    error = GetLastError();
    if (!ok || bytesRead <= 2) {
        LOGOG_ERROR("Can't read strings data from SHD-file \"%s\"! Buffer %lu bytes, read %lu bytes, error: %s",
                    LogText(path).c_str(), static_cast<unsigned long>(area.size()), bytesRead,
                    GetLastErrorText(error).c_str());
        return result;
    }

    std::vector<std::u16string> strings = SplitShadowStrings(std::span(area).first(bytesRead));
    LOGOG_DEBUG("ReadJobInfoFromSHD_ALLWIN() buffer[%u], read bytes [%u], read %u strings from file: %s",
                static_cast<unsigned>(area.size()), static_cast<unsigned>(bytesRead),
                static_cast<unsigned>(strings.size()), LogText(path).c_str());

    std::optional<ShadowJobStrings> job = SelectJobStrings(strings, layout);
    if (!job) {
        LOGOG_INFO("Not enough data(expect %lu strings, read %lu) in SHD-file \"%s\"",
                   static_cast<unsigned long>(RequiredShadowStringCount(layout)),
                   static_cast<unsigned long>(strings.size()), LogText(path).c_str());
        return result;
    }
    result.JobName = ToWide(job->JobName);
    result.PrinterName = ToWide(job->PrinterName);
    result.PrinterDriverName = ToWide(job->PrinterDriverName);
    result.DataFormat = ToWide(job->DataFormat);
    LOGOG_DEBUG("ReadJobInfoFromSHD_ALLWIN(%s): PrinterName[%s] PrinterDriverName[%s] JobName[%s] DataFormat[%s]",
                LogText(path).c_str(), LogText(result.PrinterName).c_str(), LogText(result.PrinterDriverName).c_str(),
                LogText(result.JobName).c_str(), LogText(result.DataFormat).c_str());
    return result;
}
