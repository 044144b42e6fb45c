#include "CommandLine.h"

#include <cwchar>

namespace {

constexpr wchar_t kDrawingChildSwitch[] = L"--page-drawing-child";

// One decimal handle value at text and the blank or end after it; false for anything else.
bool TakeHandle(const wchar_t*& text, std::uintptr_t& value) {
    if (*text < L'0' || *text > L'9') return false;
    value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        const std::uintptr_t digit = static_cast<std::uintptr_t>(*text - L'0');
        if (value > (UINTPTR_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

}  // namespace

// A plain substring test: "-debug" or a path with " -d" in it switches debug on too.
bool HasDebugSwitch(const wchar_t* commandLine) {
    std::wstring text = L" ";
    if (commandLine != nullptr) text += commandLine;
    return text.find(L" -d") != std::wstring::npos || text.find(L" -D") != std::wstring::npos;
}

std::wstring DrawingChildArguments(const DrawingChildHandles& handles) {
    std::wstring arguments = kDrawingChildSwitch;
    for (std::uintptr_t value : {handles.Request, handles.Reports, handles.SpoolFile, handles.Cancel})
        arguments += L" " + std::to_wstring(value);
    return arguments;
}

std::optional<DrawingChildHandles> ParseDrawingChildSwitch(const wchar_t* arguments) {
    if (arguments == nullptr) return std::nullopt;
    const std::size_t switchLength = std::wcslen(kDrawingChildSwitch);
    if (std::wcsncmp(arguments, kDrawingChildSwitch, switchLength) != 0) return std::nullopt;
    const wchar_t* at = arguments + switchLength;
    DrawingChildHandles handles;
    for (std::uintptr_t* value : {&handles.Request, &handles.Reports, &handles.SpoolFile, &handles.Cancel}) {
        if (*at++ != L' ' || !TakeHandle(at, *value)) return std::nullopt;
    }
    if (*at != L'\0') return std::nullopt;
    return handles;
}
