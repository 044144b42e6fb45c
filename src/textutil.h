// Bridges between the program's UTF-16 strings and the UTF-8 text of its log lines.
// Platform-neutral; the code pages and the system's error texts are in textutil_win.h.
#pragma once

#include <string>
#include <string_view>

// UTF-16 to UTF-8; the input is read up to its first zero character.
std::string WideToUtf8(const std::wstring& text);
std::string WideToUtf8(const wchar_t* text);

// The value with every control character (U+0000-U+001F, U+007F-U+009F, U+2028, U+2029)
// written as \xNN or \uNNNN, so that names from files cannot start new log lines.
std::wstring EscapeForLog(const std::wstring& text);

// A log value for anything that came from a file or names one (paths, job, printer and
// member names): escaped as above, then UTF-8.
std::string LogText(const std::wstring& text);

// A UTF-8 text from outside the process (a line that the page-drawing process sends) made
// safe for a log line the same way: control characters escaped, invalid bytes as U+FFFD.
std::string EscapeLogLine(std::string_view utf8);
