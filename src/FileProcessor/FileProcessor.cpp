// Input resolution and the current file.
//
// Ownership of extracted files: every archive is extracted into a folder of its own (see
// ChooseFromArchive), and at any time at most two extracted jobs exist, both owned by the
// current file:
//  - the current job itself, when it came from an archive (FromArchive): deleted when
//    another job replaces it and when the process ends;
//  - the pending job: the files of the last archive whose resolution failed with a spool
//    file present (CannotDetectSHD, CannotReadSHD). The dialog may still accept that spool
//    file through SetCurrentFile, which then adopts the files (the job stays FromArchive and
//    is deleted like any other current job). Otherwise they are deleted by the next
//    ProcessFile, by a SetCurrentFile for another file, by DiscardPendingFiles (for a user
//    who declines) or when the process ends.
// Files of an archive that yields no spool file at all are removed by ChooseFromArchive at
// once. Only files the intake extracted itself are ever owned: SetCurrentFile does not take
// FromArchive from its argument, so no caller can make the program delete a user's file.
#include "FileProcessor/FileProcessor.h"

#include <optional>
#include <utility>

#include "logging/logog.h"
#include "textutil.h"

namespace {

// A record without a file system (a plain value, a result) reads no file and deletes none.
class NoFiles final : public IntakeFileSystem {
public:
    JobInfo ReadShadowFile(const std::wstring&) override { return {}; }
    ArchivedJob ExtractArchivedJob(const std::wstring&) override { return {}; }
    void DeleteExtractedJob(const std::wstring&) override {}
    bool SamePath(const std::wstring& a, const std::wstring& b) const override { return a == b; }
    std::unique_ptr<ByteSource> OpenFile(const std::wstring&) override { return nullptr; }
};

std::optional<JobDetails> ReadDetails(IntakeFileSystem& files, const std::wstring& splPath,
                                      const std::wstring& shdPath, OperationProgress* progress) {
    std::unique_ptr<ByteSource> shadow = shdPath.empty() ? nullptr : files.OpenFile(shdPath);
    std::unique_ptr<ByteSource> spool = files.OpenFile(splPath);
    return ReadJobDetails(shadow.get(), spool.get(), progress);
}

void LogDetails(const JobDetails& details) {
    const std::string text = DetailsLogText(details);
    if (!text.empty()) LOGOG_INFO("Job details: %s", text.c_str());
}

struct Resolution {
    SPLFileInfo info;
    std::wstring shdPath;
    bool cancelled = false;  // the user stopped it: info.Result stays Unknown
};

// Classifies the input by its upper-cased extension and reads the shadow file; leaves the
// current file alone.
Resolution Resolve(IntakeFileSystem& files, const std::wstring& inputPath, OperationProgress* progress) {
    Resolution resolution;
    SPLFileInfo& info = resolution.info;
    info.InputFileName = inputPath;
    if (inputPath.empty()) {
        info.Result = EmptyFileName;
        LOGOG_INFO("File name is empty!");
        return resolution;
    }
    std::wstring splPath;
    std::wstring& shdPath = resolution.shdPath;
    std::wstring extension = ToUpperAscii(GetFileExtension(inputPath));
    if (extension == ArchiveFileExtension) {
        ArchivedJob job = files.ExtractArchivedJob(inputPath);
        splPath = job.SPLPath;
        shdPath = job.SHDPath;
        info.FromArchive = true;
        info.Origin = JobOrigin{inputPath, job.SPLMember};
    } else if (extension == ShadowFileExtension) {
        splPath = RemoveFileExtension(inputPath) + SpoolFileExtension;
        shdPath = inputPath;
    } else if (extension == SpoolFileExtension) {
        splPath = inputPath;
        shdPath = RemoveFileExtension(inputPath) + ShadowFileExtension;
    }
    if (splPath.empty()) {
        info.Result = CannotDetectSPL;
        LOGOG_INFO("Can't detect path for SPL-file, input file: %s", LogText(inputPath).c_str());
        return resolution;
    }
    info.SPLFileName = splPath;
    if (!info.FromArchive) info.Origin = JobOrigin{splPath, {}};
    if (shdPath.empty()) {
        info.Result = CannotDetectSHD;
        LOGOG_INFO("Can't detect path for SHD-file, input file: %s", LogText(inputPath).c_str());
        return resolution;
    }
    JobInfo job = files.ReadShadowFile(shdPath);
    if (job.PrinterName.empty()) {
        info.Result = CannotReadSHD;
        LOGOG_INFO("Empty JobInfo.PrinterName after call ReadJobInfoFromSHD(), input file: %s",
                   LogText(inputPath).c_str());
        return resolution;
    }
    std::optional<JobDetails> details = ReadDetails(files, splPath, shdPath, progress);
    if (!details) {
        resolution.cancelled = true;
        return resolution;
    }
    info.Result = CorrectFile;
    info.JobInfo = job;
    info.Details = std::move(*details);
    return resolution;
}

}  // namespace

SPLFileInfo SPLFileInfo::ProcessFile(const std::wstring& inputPath, OperationProgress* progress) {
    LOGOG_DEBUG("ProcessFile started: \"%s\"", LogText(inputPath).c_str());
    Resolution resolution = Resolve(Files(), inputPath, progress);
    const SPLFileInfo& resolved = resolution.info;
    // The pending files stay only while the new input is one of them (the user chose the
    // extracted copy itself): otherwise the user has moved on from the last failed archive.
    const bool namesPendingFiles = IsPending(resolved.SPLFileName);
    if (!namesPendingFiles) DiscardPendingFiles();
    if (resolution.cancelled) {
        // Nothing of a job the user stopped reading stays; a file the user chose is not ours.
        if (resolved.FromArchive) Files().DeleteExtractedJob(resolved.SPLFileName);
        LOGOG_INFO("ProcessFile cancelled by the user: \"%s\"", LogText(inputPath).c_str());
    } else if (resolved.Result == CorrectFile) {
        SPLFileInfo job = resolved;
        if (namesPendingFiles) {
            job.FromArchive = true;
            job.Origin = AdoptPendingFiles();
        }
        BecomeCurrent(job);
        LOGOG_INFO("ProcessFile success: InputFileName[%s] SPLFileName[%s] SHDFileName[%s] PrinterName[%s] "
                   "PrinterDriverName[%s] JobName[%s] DataFormat[%s]",
                   LogText(InputFileName).c_str(), LogText(SPLFileName).c_str(), LogText(resolution.shdPath).c_str(),
                   LogText(JobInfo.PrinterName).c_str(), LogText(JobInfo.PrinterDriverName).c_str(),
                   LogText(JobInfo.JobName).c_str(), LogText(JobInfo.DataFormat).c_str());
        LogDetails(Details);
    } else if (resolved.FromArchive && !resolved.SPLFileName.empty()) {
        KeepPendingFiles(resolved);
    }
    LOGOG_DEBUG("ProcessFile finished: \"%s\"", LogText(inputPath).c_str());
    return resolved;
}

// Paths are compared as Windows compares them: a job extracted as ...\00012.spl and chosen
// again through its 00012.SHD (which derives ...\00012.SPL) is the same file, and must not be
// deleted as a replaced one.
void SPLFileInfo::BecomeCurrent(const SPLFileInfo& resolved) {
    bool sameSpoolFile = Files().SamePath(SPLFileName, resolved.SPLFileName);
    if (!sameSpoolFile) DeleteTempFiles();
    // Choosing our own extracted copy again must not drop the ownership of it, nor forget
    // which archive it came from.
    bool keepsOwnCopy = sameSpoolFile && FromArchive && !resolved.FromArchive;
    Result = resolved.Result;
    InputFileName = resolved.InputFileName;
    SPLFileName = resolved.SPLFileName;
    JobInfo = resolved.JobInfo;
    Details = resolved.Details;
    FromArchive = resolved.FromArchive || keepsOwnCopy;
    if (!keepsOwnCopy) Origin = resolved.Origin;
}

IntakeFileSystem& SPLFileInfo::Files() const {
    static NoFiles none;
    return m_Files != nullptr ? *m_Files : none;
}

bool SPLFileInfo::IsPending(const std::wstring& splFileName) const {
    return !m_PendingSPLFileName.empty() && Files().SamePath(m_PendingSPLFileName, splFileName);
}

void SPLFileInfo::KeepPendingFiles(const SPLFileInfo& failed) {
    m_PendingSPLFileName = failed.SPLFileName;
    m_PendingOrigin = failed.Origin;
}

// The pending files become the current job's own (deleted with it); returns the archive
// they came from.
JobOrigin SPLFileInfo::AdoptPendingFiles() {
    m_PendingSPLFileName.clear();
    return std::exchange(m_PendingOrigin, {});
}

void SPLFileInfo::DiscardPendingFiles() {
    if (m_PendingSPLFileName.empty()) return;
    Files().DeleteExtractedJob(m_PendingSPLFileName);
    m_PendingSPLFileName.clear();
    m_PendingOrigin = {};
}

bool SPLFileInfo::SetCurrentFile(const SPLFileInfo& info, const std::wstring& printerName,
                                 const std::wstring& driverName, const std::wstring& dataFormat,
                                 OperationProgress* progress) {
    if (info.SPLFileName.empty()) return false;
    // Read before anything changes, so that a stop leaves everything as it was.
    std::optional<JobDetails> details = ReadDetails(Files(), info.SPLFileName, {}, progress);
    if (!details) {
        LOGOG_INFO("SetCurrentFile cancelled by the user: \"%s\"", LogText(info.SPLFileName).c_str());
        return false;
    }
    const std::wstring inputFileName = info.InputFileName;  // info may be this very record
    const std::wstring splFileName = info.SPLFileName;
    JobOrigin origin = info.Origin.Path.empty() ? JobOrigin{splFileName, {}} : info.Origin;
    bool sameSpoolFile = Files().SamePath(SPLFileName, splFileName);
    bool adoptsPendingFiles = IsPending(splFileName);
    bool keepsOwnFiles = FromArchive && sameSpoolFile;
    if (!sameSpoolFile) DeleteTempFiles();
    if (keepsOwnFiles) origin = Origin;
    if (adoptsPendingFiles) {
        origin = AdoptPendingFiles();
    } else {
        DiscardPendingFiles();
    }
    InputFileName = inputFileName;
    SPLFileName = splFileName;
    Origin = origin;
    Result = CorrectFile;
    JobInfo.PrinterName = printerName;
    JobInfo.PrinterDriverName = driverName;
    JobInfo.JobName = L"Tavrel[" + dataFormat + L"] " + SPLFileName;
    JobInfo.DataFormat = dataFormat;
    FromArchive = adoptsPendingFiles || keepsOwnFiles;
    Details = std::move(*details);
    LOGOG_DEBUG("SetCurrentFile: InputFileName[%s] SPLFileName[%s] PrinterName[%s] PrinterDriverName[%s] JobName[%s] "
                "DataFormat[%s]",
                LogText(InputFileName).c_str(), LogText(SPLFileName).c_str(), LogText(JobInfo.PrinterName).c_str(),
                LogText(JobInfo.PrinterDriverName).c_str(), LogText(JobInfo.JobName).c_str(),
                LogText(JobInfo.DataFormat).c_str());
    LogDetails(Details);
    return true;
}

void SPLFileInfo::DeleteTempFiles() const {
    if (!FromArchive) return;
    Files().DeleteExtractedJob(SPLFileName);
}

void SPLFileInfo::DeleteAllTempFiles() {
    DeleteTempFiles();
    DiscardPendingFiles();
}
