// The intake's Win32 side: the shadow-file reader, the archive steps and the file system
// that the current file works on.
#pragma once

#include <windows.h>

#include <string>

#include "FileProcessor/FileProcessor.h"
#include "FileProcessor/IntakeFiles_win.h"
#include "FileProcessor/ShadowFileParser.h"

// The real files, archives and temporary folders; one for the process.
IntakeFileSystem& WindowsIntakeFiles();

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
