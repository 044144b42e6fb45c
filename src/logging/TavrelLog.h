// The program's log: a file beside the executable and the layout of its lines.
#pragma once

#include <string>

#include "logging/logog.h"

namespace zendal::TavrelUtil {

// "dd/mm/yy HH:MM:SS: file(line): level: text\r\n", file cut to its last path component.
class CFormatterCustom : public logog::FormatterMSVC {
public:
    logog::String& FormatTopic(logog::Topic& topic, const logog::Target& target) override;
};

}  // namespace zendal::TavrelUtil

// The log path for an executable path: the last "." of the whole path starts the replaced extension.
std::wstring LogFilePathForModule(const std::wstring& modulePath);

// The executable's path with ".log" for its extension; "Tavrel.log" when the path is unavailable.
std::wstring GetLogFilePath();

// Sets up the log once and opens the file; false when it cannot be opened (another instance).
bool InitializeLogging();
