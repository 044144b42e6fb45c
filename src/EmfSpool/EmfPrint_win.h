// Drawing an EMF job's pages as the window and the Print command see it: the pages are
// checked here, and drawn (for a printer, or page 1 for the window) in the page-drawing
// process, so that a page which crashes or hangs the system's player costs one job, never
// the window.
#pragma once

#include <windows.h>

#include <string>

#include "DevMode.h"
#include "EmfSpool/EmfSpoolReader.h"
#include "PrintRawData_win.h"
#include "handles_win.h"

// Reads and checks every page of the spool file (progress and Cancel through the thread's
// watcher); logs and returns the refusal of a file that is no sound EMF spool file. The file
// is opened without write sharing: one that is still being written is not read as if whole.
emf::SpoolRefusal CheckEmfJob(const std::wstring& splPath, emf::EmfSpoolJob& job);

// Whether some page of the checked job, drawn on the printer with the job's settings, would
// be clipped by its printable area and so is scaled down to fit it.
bool PagesNeedFitting(const emf::EmfSpoolJob& job, const std::wstring& printerName, const DevModeDetails& jobDevMode);

// Draws the job's pages for the printer in the page-drawing process (see EmfPlayback_win.h
// for how), progress and Cancel through the thread's watcher. When that process dies or
// hangs, the spooler job it started is withdrawn: Crashed, or CrashedNotWithdrawn when the
// withdrawal failed. Every step is logged.
RawJobOutcome DrawEmfJob(const std::wstring& splPath, const std::wstring& jobName, const std::wstring& printerName,
                         const DevModeDetails& jobDevMode);

// Page 1 drawn in the page-drawing process to fit a bitmap of the given size in pixels, on
// white paper; empty when it cannot be drawn (the reason is logged).
Bitmap DrawFirstPage(const std::wstring& splPath, int width, int height);
