// Drawing the pages of an EMF spool file on any printer's device context, and page 1 into a
// bitmap for the window: what lets an EMF job made for one printer model print on another.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "DevMode.h"
#include "EmfSpool/EmfSpoolReader.h"
#include "PrintRawData_win.h"
#include "handles_win.h"

// Reads and checks every page of the spool file (progress and Cancel through the thread's
// watcher); logs and returns the refusal of a file that is no sound EMF spool file.
emf::SpoolRefusal CheckEmfJob(const std::wstring& splPath, emf::EmfSpoolJob& job);

// Draws the job's pages for the printer: its own default DEVMODE with only the public
// fields of the job's DEVMODE (the page's, where the spool file has one, else the shadow
// file's) that the printer supports; each page scaled as its frame says, every record
// checked before it is played. Cancel (through the thread's watcher) between pages aborts
// the document. Every step is logged.
RawJobOutcome DrawEmfJob(const std::wstring& splPath, const std::wstring& jobName, const std::wstring& printerName,
                         const DevModeDetails& jobDevMode);

// Page 1 drawn to fit a bitmap of the given size in pixels, on white paper; empty when the
// file is no sound EMF spool file.
Bitmap DrawFirstPage(const std::wstring& splPath, int width, int height);
