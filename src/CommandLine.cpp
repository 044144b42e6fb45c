#include "CommandLine.h"

#include <string>

// A plain substring test: "-debug" or a path with " -d" in it switches debug on too.
bool HasDebugSwitch(const wchar_t* commandLine) {
    std::wstring text = L" ";
    if (commandLine != nullptr) text += commandLine;
    return text.find(L" -d") != std::wstring::npos || text.find(L" -D") != std::wstring::npos;
}
