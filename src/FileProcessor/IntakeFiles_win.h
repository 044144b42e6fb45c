// File-system helpers of the intake: the folders and files that the intake extracts from
// archives.
#pragma once

#include <string>

// The user's temporary folder, ending in a backslash; empty on failure.
std::wstring GetTempDirectory();

// Name prefix of the folders made for extracted jobs.
inline constexpr wchar_t ExtractionFolderPrefix[] = L"Tavrel-";

// Makes a new, empty folder of our own in the temporary folder (its name is unique: creation
// fails if it exists) and returns it with a trailing backslash; empty on failure (logged).
std::wstring CreateExtractionFolder();

// Deletes an extracted job: the spool file, its .SHD sibling and, when it is one of ours,
// the folder that holds them. Each step is logged; failures do not stop the others.
void DeleteExtractedJob(const std::wstring& splPath);

// Removes an (empty) extraction folder; folder may end in a backslash.
void RemoveExtractionFolder(const std::wstring& folder);
