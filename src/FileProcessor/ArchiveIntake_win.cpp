// Choosing the job inside a ZIP archive and extracting it into a folder of its own.
#include <string>

#include "FileProcessor/FileProcessor_win.h"
#include "FileProcessor/IntakeFiles_win.h"
#include "handles_win.h"
#include "Progress.h"
#include "logging/logog.h"
#include "pathutil_win.h"
#include "textutil.h"
#include "textutil_win.h"
#include "zip/unzip_win.h"

namespace {

struct ZipHandleTraits {
    using pointer = ZipHandle;
    static pointer Invalid() { return nullptr; }
    static void Close(pointer value) { CloseZipHandle(value); }
};
using ZipArchiveHandle = UniqueHandle<ZipHandleTraits>;

ZipArchiveHandle OpenArchive(const std::wstring& archivePath) {
    ZipArchiveHandle zip(OpenZip(archivePath.c_str(), nullptr));  // the reader handles long paths
    if (!zip) LOGOG_ERROR("Error in OpenZip() for file: %s", LogText(archivePath).c_str());
    return zip;
}

// Names are matched and logged whole: ZipMemberInfo holds at most MAX_PATH - 1 units of them.
ZipMemberDetails Details(ZipHandle zip, int index) {
    ZipMemberDetails details;
    GetZipItemDetails(zip, index, &details);
    return details;
}

// An archive that holds the job's spool or shadow member twice is refused: other tools take
// the last of them, so a user who checks the archive with one of those would see another job.
bool HoldsOneJob(ZipHandle zip, const std::wstring& archivePath, const std::wstring& splMember) {
    for (const std::wstring& name : {splMember, RemoveFileExtension(splMember) + ShadowFileExtension}) {
        int index = -1;
        ZipMemberInfo member{};
        if (FindZipItem(zip, name.c_str(), true, &index, &member) == ZR_DUPLICATE) {
            LOGOG_ERROR("Refused the archive %s: more than one member is named \"%s\"", LogText(archivePath).c_str(),
                        LogText(name).c_str());
            return false;
        }
    }
    return true;
}

// Why the reader would not extract a member, for the log line; empty for other failures.
std::string RefusalReason(ZipStatus status, const ZipMemberDetails& member) {
    if (status == ZR_METHOD) return "compression method " + std::to_string(member.Method) + " is not supported";
    if (status == ZR_ENCRYPTED) return "the member is encrypted";
    return {};
}

// The extracted copy belongs to the program, which must be able to delete it later: a
// member stored read-only would otherwise stay in the temporary folder for good.
void MakeWritable(const std::wstring& path) {
    std::wstring systemPath = ExtendedLengthPath(path);
    DWORD attributes = GetFileAttributesW(systemPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(systemPath.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
}

// Removes what a failed extraction left behind (a missing file is fine).
void RemovePartialFile(const std::wstring& path) {
    MakeWritable(path);
    DeleteFileW(ExtendedLengthPath(path).c_str());
}

// The user stopped the operation that runs this extraction.
bool ExtractionCancelled() { return ProgressStopRequested(); }

}  // namespace

std::wstring FindSPLInArchive(const std::wstring& archivePath) {
    ZipArchiveHandle zip = OpenArchive(archivePath);
    if (!zip) return {};
    ZipMemberInfo summary{};
    if (GetZipItem(zip.get(), -1, &summary) != ZR_OK) {
        LOGOG_ERROR("Error in GetZipItem(,-1,) for file: %s", LogText(archivePath).c_str());
        return {};
    }
    int count = summary.Index;
    LOGOG_DEBUG("Detect %d files in archive: \"%s\"", count, LogText(archivePath).c_str());
    for (int index = 0; index < count; ++index) {
        ZipMemberDetails member;
        if (GetZipItemDetails(zip.get(), index, &member) != ZR_OK) continue;
        const std::wstring& name = member.FullName;
        if (ToUpperAscii(GetFileExtension(name)) == SpoolFileExtension) {
            LOGOG_DEBUG("Found spl-file in archive by index %d: \"%s\"", index, LogText(name).c_str());
            return HoldsOneJob(zip.get(), archivePath, name) ? name : std::wstring();
        }
    }
    return {};
}

std::wstring FindSHDInArchive(const std::wstring& archivePath, const std::wstring& splMember) {
    std::wstring wanted = RemoveFileExtension(splMember) + ShadowFileExtension;
    ZipArchiveHandle zip = OpenArchive(archivePath);
    if (!zip) return {};
    int index = -1;
    ZipMemberInfo member{};
    if (FindZipItem(zip.get(), wanted.c_str(), true, &index, &member) != ZR_OK) {
        LOGOG_ERROR("Error in FindZipItem(%s) for file: %s", LogText(wanted).c_str(), LogText(archivePath).c_str());
        return {};
    }
    return Details(zip.get(), index).FullName;
}

// The member is written next to the target under a temporary name and renamed into place
// only once it is complete, so a failure never leaves a file at the target (and never
// damages a file that was there before). Members that are folders, and targets whose name
// Windows would not store as an ordinary file (a device such as LPT1, a stream "a:b"), are
// refused: the names come from the archive.
bool ExtractFileFromArchive(const std::wstring& archivePath, const std::wstring& memberName,
                            const std::wstring& targetPath) {
    ZipArchiveHandle zip = OpenArchive(archivePath);
    if (!zip) return false;
    int index = -1;
    ZipMemberInfo member{};
    if (FindZipItem(zip.get(), memberName.c_str(), true, &index, &member) != ZR_OK) {
        LOGOG_ERROR("Error in FindZipItem(%s) for file: %s", LogText(memberName).c_str(), LogText(archivePath).c_str());
        return false;
    }
    const ZipMemberDetails details = Details(zip.get(), index);
    if ((member.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsPlainFileName(GetFileNameFromPath(targetPath))) {
        LOGOG_ERROR("Refused to extract \"%s\" to \"%s\": not a plain file", LogText(details.FullName).c_str(),
                    LogText(targetPath).c_str());
        return false;
    }
    std::wstring partialPath = targetPath + L".part";
    ZipStatus status = UnzipItem(zip.get(), index, partialPath.c_str());
    if (status != ZR_OK) {
        if (status == ZR_CANCELLED) {
            LOGOG_INFO("Cancelled by the user: extracting \"%s\" from \"%s\"", LogText(details.FullName).c_str(),
                       LogText(archivePath).c_str());
        } else {
            if (std::string reason = RefusalReason(status, details); !reason.empty()) {
                LOGOG_ERROR("Refused to extract \"%s\" from %s: %s", LogText(details.FullName).c_str(),
                            LogText(archivePath).c_str(), reason.c_str());
            }
            LOGOG_ERROR("Error in UnzipItem(%s) for file: %s", LogText(targetPath).c_str(),
                        LogText(archivePath).c_str());
        }
        RemovePartialFile(partialPath);
        return false;
    }
    zip.reset();
    if (!MoveFileExW(ExtendedLengthPath(partialPath).c_str(), ExtendedLengthPath(targetPath).c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Error in MoveFileExW(%s): %s", LogText(targetPath).c_str(), GetLastErrorText(error).c_str());
        RemovePartialFile(partialPath);
        return false;
    }
    MakeWritable(targetPath);
    return true;
}

void ChooseFromArchive(const std::wstring& archivePath, std::wstring& splPath, std::wstring& shdPath,
                       std::wstring* splMemberName) {
    LOGOG_DEBUG("ChooseFromArchive started: \"%s\"", LogText(archivePath).c_str());
    std::wstring splMember = FindSPLInArchive(archivePath);
    if (splMemberName != nullptr) *splMemberName = splMember;
    std::wstring shdMember = FindSHDInArchive(archivePath, splMember);
    // Extracts a member to its path, or empties the path; a cancel is no error.
    auto extract = [&archivePath](const std::wstring& member, std::wstring& path) {
        if (ExtractFileFromArchive(archivePath, member, path)) return;
        if (!ExtractionCancelled()) {
            LOGOG_ERROR("Error in ExtractFileFromArchive(\"%s\",\"%s\",\"%s\")", LogText(archivePath).c_str(),
                        LogText(member).c_str(), LogText(path).c_str());
        }
        path.clear();
    };
    // Each extraction gets a folder of its own, so that archives whose members share a name
    // never overwrite the files of the job that is current.
    std::wstring folder = CreateExtractionFolder();
    if (!folder.empty()) {
        splPath = folder + GetFileNameFromPath(splMember);
        extract(splMember, splPath);
        if (!splPath.empty() && !shdMember.empty()) {
            shdPath = RemoveFileExtension(splPath) + ShadowFileExtension;
            extract(shdMember, shdPath);
        }
        // A job the user cancelled leaves nothing behind, as one without a spool file does.
        if (!splPath.empty() && ExtractionCancelled()) {
            DeleteExtractedJob(splPath);
            splPath.clear();
            shdPath.clear();
        } else if (splPath.empty()) {
            RemoveExtractionFolder(folder);
        }
    }
    LOGOG_DEBUG("ChooseFromArchive finished: SPL[%s] SHD[%s]", LogText(splPath).c_str(), LogText(shdPath).c_str());
}
