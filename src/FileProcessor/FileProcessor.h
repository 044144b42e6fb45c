// Spooler-file intake: turns a chosen path (a spool file, its shadow file, or a ZIP archive
// holding both) into the current job, reads the job's metadata from the shadow file, and
// owns the files extracted from archives until they are no longer needed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "FileProcessor/JobRecords.h"
#include "FileProcessor/ShadowFileParser.h"

// A resolved input file; a plain value type. Only the current file (CurrentFile()) owns
// temporary files: its operations below delete them when they are no longer needed.
class SPLFileInfo {
public:
    SPLFileInfoResults Result = Unknown;
    std::wstring InputFileName;  // the path as chosen
    std::wstring SPLFileName;    // spool file to print; for an archive, the extracted copy
    ::JobInfo JobInfo;
    bool FromArchive = false;    // SPLFileName and its .SHD sibling were extracted by us
    JobOrigin Origin;            // what the job was taken from, for the repeat question

    // Resolves inputPath; on CorrectFile the result also becomes this (the current) file.
    SPLFileInfo ProcessFile(const std::wstring& inputPath);

    // Makes info's spool file current with substitute metadata; false when info names no
    // spool file. Files extracted for info by the last ProcessFile stay owned (FromArchive).
    bool SetCurrentFile(const SPLFileInfo& info, const std::wstring& printerName,
                        const std::wstring& driverName, const std::wstring& dataFormat);

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
    bool IsPending(const std::wstring& splFileName) const;
    void KeepPendingFiles(const SPLFileInfo& failed);
    JobOrigin AdoptPendingFiles();
    void BecomeCurrent(const SPLFileInfo& resolved);

    std::wstring m_PendingSPLFileName;
    JobOrigin m_PendingOrigin;
};

// The process-wide current file; it deletes its temporary files when the process ends.
SPLFileInfo& CurrentFile();

// The job's metadata from the shadow file at path; all four fields or none.
JobInfo ReadJobInfoFromSHD(const std::wstring& path);
// The string area of an open shadow file whose header was read; path serves the log lines.
JobInfo ReadJobInfoFromSHD_ALLWIN(HANDLE file, const SHADOW_FILE_HEADER_ALLWIN64& header,
                                  const std::wstring& path);

// Extracts the archive's job into a new folder of its own inside the temporary folder.
// splPath: the extracted spool file, or empty (then nothing is left behind); shdPath: its
// sibling with the extension ".SHD", or empty; splMember, when given: the spool member's name.
void ChooseFromArchive(const std::wstring& archivePath, std::wstring& splPath, std::wstring& shdPath,
                       std::wstring* splMember = nullptr);
// Name of the first member with the extension .SPL (any case); empty when none.
std::wstring FindSPLInArchive(const std::wstring& archivePath);
// Name, as the archive spells it, of the .SHD member beside splMember; empty when none.
std::wstring FindSHDInArchive(const std::wstring& archivePath, const std::wstring& splMember);
// Writes the member to targetPath; on failure no file is left at targetPath.
bool ExtractFileFromArchive(const std::wstring& archivePath, const std::wstring& memberName,
                            const std::wstring& targetPath);
// The user's temporary folder, ending in a backslash; empty on failure.
std::wstring GetTempDirectory();
