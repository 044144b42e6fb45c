// The first log line of a run: which build of the program is running, and from where.
#pragma once

#include <string>

// Logs the banner of the running executable; on a failed step, that step's error line instead.
void LogStartupBanner();

// The banner for the version resource of the given file, which the banner names as the executable.
void LogVersionBanner(const std::wstring& path);
