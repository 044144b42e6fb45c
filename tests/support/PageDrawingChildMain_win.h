// Test programs that draw EMF pages start themselves as the page-drawing process, as
// Tavrel.exe does: their main hands such a start over to the child's code first, whose
// player then acts on marked records.
#pragma once

#include <optional>
#include <string>

#include "CommandLine.h"
#include "EmfSpool/EmfPlayback_win.h"
#include "EmfSpool/PageDrawingChild_win.h"
#include "MarkedRecords_win.h"

inline std::optional<int> RunAsPageDrawingChild(int argc, char** argv) {
    std::wstring arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        arguments += (i > 1 ? L" " : L"") + std::wstring(argument.begin(), argument.end());
    }
    const std::optional<DrawingChildHandles> handles = ParseDrawingChildSwitch(arguments.c_str());
    if (!handles) return std::nullopt;
    SetPlaybackRecordHook(marked::ActOn);
    return RunPageDrawingChild(*handles);
}
