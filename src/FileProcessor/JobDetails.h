// What the window and the log show of a job before it is printed again: the rest of the
// shadow file's header, what the spool file holds, its size and, for an EMF spool file, its
// pages. Platform-neutral: the files come as ByteSources.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ByteSource.h"
#include "FileProcessor/ShadowFileDetails.h"
#include "FileProcessor/SpoolContents.h"
#include "Progress.h"
#include "texts/TextTable.h"

struct JobDetails {
    ShadowFileDetails Shadow;
    SpoolContents Contents;
    std::optional<std::uint64_t> SpoolFileSize;
    std::optional<std::uint32_t> EmfPages;  // counted from the spool records
};

// Either file may be missing (no shadow file, a file that cannot be read): its part of the
// details stays unknown. Counting an EMF spool file's pages walks all its records, which the
// watcher follows and may stop: then there are no details (none).
std::optional<JobDetails> ReadJobDetails(ByteSource* shadowFile, ByteSource* spoolFile,
                                         OperationProgress* progress = nullptr);

// How the user's locale writes what the details show; on Windows from the locale.
struct DetailsFormat {
    std::function<std::wstring(const ShadowTime& utc)> SubmittedTime;  // the time in local time
    std::wstring DecimalSeparator = L".";
};

// The details as short lines in the table's language, parts joined by " · ": who sent which
// document from where and when, then pages, size, paper and what the data are. Unknown parts
// are left out; text from the files is escaped (a line break shows as \x0A). Empty when
// nothing is known.
std::vector<std::wstring> DetailsLines(const JobDetails& details, const TextTable& texts, const DetailsFormat& format);

// The same details for the log line, in English ("document[...] owner[...] ..."), escaped
// as every value from a file is; empty when nothing is known.
std::string DetailsLogText(const JobDetails& details);
