// Drawing an EMF job's pages in a process of their own: this program started again with the
// page-drawing switch, in a job object that ends it with the program and bounds its memory
// (where the system enforces that), given the spool file as an inherited handle. Its reports
// come over a pipe: log lines (written here), progress, the spooler's job id, the thumbnail's
// pixels and how it ended. A child that crashes, hangs or breaks the reports' framing is
// ended, and the caller learns what it got to.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "EmfSpool/PageDrawingProtocol.h"

struct ChildDrawing {
    std::optional<drawing::Outcome> Finished;  // what the child said at its end; none when it died first
    std::optional<std::uint32_t> JobId;        // the spooler job it started
    std::uint32_t Page = 0;                    // the last page it started
    bool Ending = false;                       // it was ending the document: the job may be submitted
    bool StopAsked = false;                    // the user cancelled
    drawing::Bytes Pixels;                     // the thumbnail
    std::string Failure;                       // why it did not finish, for the log: "crashed with ...", ...
};

// How long a child may be silent before it counts as hung, and how long it has to stop after
// a Cancel. Tests shorten them.
struct ChildLimits {
    DWORD SilenceMilliseconds = 30000;
    DWORD StopMilliseconds = 3000;
};
ChildLimits& CurrentChildLimits();

// Runs the request in a child and waits for its end, relaying its log lines; progress and
// Cancel through the thread's watcher. spoolFile stays the caller's.
ChildDrawing DrawInChildProcess(const drawing::Request& request, HANDLE spoolFile);
