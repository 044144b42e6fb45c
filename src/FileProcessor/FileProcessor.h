// Spooler-file intake: turns a chosen path (a spool file, its shadow file, or a ZIP archive
// holding both) into the current job, reads the job's metadata from the shadow file, and
// owns the files extracted from archives until they are no longer needed.
// Platform-neutral: the files themselves are reached through an IntakeFileSystem (on
// Windows FileProcessor_win.h's; in tests a fake).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ByteSource.h"
#include "FileProcessor/JobDetails.h"
#include "FileProcessor/JobRecords.h"
#include "Progress.h"

// A job extracted from an archive into a folder of its own: the spool file (empty when
// nothing was extracted), its ".SHD" sibling (empty when there was no shadow member) and the
// spool member's name.
struct ArchivedJob {
    std::wstring SPLPath;
    std::wstring SHDPath;
    std::wstring SPLMember;
};

// What the intake needs of the file system.
class IntakeFileSystem {
public:
    virtual ~IntakeFileSystem() = default;
    // The job's metadata from the shadow file; all four fields or none (logged).
    virtual JobInfo ReadShadowFile(const std::wstring& path) = 0;
    // Extracts the archive's job (logged); without a spool file nothing is left behind.
    virtual ArchivedJob ExtractArchivedJob(const std::wstring& archivePath) = 0;
    // Deletes an extracted job: the spool file, its ".SHD" sibling and their folder.
    virtual void DeleteExtractedJob(const std::wstring& splPath) = 0;
    // Whether the two paths name the same file, as the file system compares names.
    virtual bool SamePath(const std::wstring& a, const std::wstring& b) const = 0;
    // The file for reading what it holds, shared with others; null when it cannot be opened.
    virtual std::unique_ptr<ByteSource> OpenFile(const std::wstring& path) = 0;
};

// A resolved input file; copied as a value. Only the current file (CurrentFile()) owns
// temporary files: its operations below delete them when they are no longer needed. A record
// made without a file system resolves nothing and deletes nothing.
class SPLFileInfo {
public:
    explicit SPLFileInfo(IntakeFileSystem* files = nullptr) : m_Files(files) {}

    SPLFileInfoResults Result = Unknown;
    std::wstring InputFileName;  // the path as chosen
    std::wstring SPLFileName;    // spool file to print; for an archive, the extracted copy
    ::JobInfo JobInfo;
    bool FromArchive = false;    // SPLFileName and its .SHD sibling were extracted by us
    JobOrigin Origin;            // what the job was taken from, for the repeat question
    JobDetails Details;          // what the window shows of the job; read when it became current

    // Resolves inputPath; on CorrectFile the result also becomes this (the current) file.
    // The watcher follows the walk that counts an EMF job's pages and may stop it: then the
    // result is Unknown, the current file stays as it was and what the archive gave is deleted.
    SPLFileInfo ProcessFile(const std::wstring& inputPath, OperationProgress* progress = nullptr);

    // Makes info's spool file current with substitute metadata; false when info names no
    // spool file, or when the watcher stopped the page count (then nothing has changed).
    // Files extracted for info by the last ProcessFile stay owned (FromArchive).
    bool SetCurrentFile(const SPLFileInfo& info, const std::wstring& printerName, const std::wstring& driverName,
                        const std::wstring& dataFormat, OperationProgress* progress = nullptr);

    // Deletes the extracted spool and shadow files and their folder when FromArchive is set;
    // the record itself stays as it is.
    void DeleteTempFiles() const;

    // Deletes the files of the last archive whose resolution failed, which are kept only so
    // that SetCurrentFile can still accept its spool file. The dialog may call this when the
    // user declines; the next ProcessFile, another SetCurrentFile and exit do it anyway.
    void DiscardPendingFiles();

    // The current job's extracted files and the pending ones, when the process ends.
    void DeleteAllTempFiles();

    // Spool path of those pending files; empty when there are none.
    const std::wstring& PendingSPLFileName() const { return m_PendingSPLFileName; }

private:
    IntakeFileSystem& Files() const;
    bool IsPending(const std::wstring& splFileName) const;
    void KeepPendingFiles(const SPLFileInfo& failed);
    JobOrigin AdoptPendingFiles();
    void BecomeCurrent(const SPLFileInfo& resolved);

    IntakeFileSystem* m_Files;
    std::wstring m_PendingSPLFileName;
    JobOrigin m_PendingOrigin;
};

// The process-wide current file over the real files (FileProcessor_win.cpp); it deletes its
// temporary files when the process ends.
SPLFileInfo& CurrentFile();
