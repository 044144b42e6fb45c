// What the program reads from its command line: the debug switch, and the switch with which
// it starts itself to draw an EMF job's pages in a process of their own (never a user's).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// True when " -d" or " -D" occurs anywhere in the command line with one blank put before it,
// so the switch alone, or after a file name and a blank, counts; "x-d" does not.
bool HasDebugSwitch(const wchar_t* commandLine);

// The inherited handles a page-drawing process is given, as their values: the pipe it reads
// its request from, the pipe it writes its reports to, the spool file, and the event that
// asks it to stop.
struct DrawingChildHandles {
    std::uintptr_t Request = 0, Reports = 0, SpoolFile = 0, Cancel = 0;
};

// The arguments (without the program's path) that start a page-drawing process.
std::wstring DrawingChildArguments(const DrawingChildHandles& handles);

// The handles when the arguments are exactly DrawingChildArguments' (the switch and four
// decimal numbers); none for any other command line, which starts the window.
std::optional<DrawingChildHandles> ParseDrawingChildSwitch(const wchar_t* arguments);
