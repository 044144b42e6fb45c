// Playing an EMF job's pages on a device context: every page again checked as it is read,
// every record judged as the system's player reads it before it is played. Only the
// page-drawing process runs this (PageDrawingChild_win): a page that makes the player crash
// or hang costs that process and this one job, not the user's window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ByteSource.h"
#include "DevMode.h"
#include "EmfSpool/EmfSpoolReader.h"
#include "EmfSpool/RedrawLayout.h"
#include "PrintRawData_win.h"

// What the drawing tells whoever watches it, and asks of them.
class DrawingEvents {
public:
    virtual ~DrawingEvents() = default;
    virtual void SheetsToDraw(std::uint64_t sheets) = 0;
    virtual void PageStarted(std::uint32_t page) = 0;  // a sheet of that page of the job
    virtual void JobStarted(std::uint32_t jobId) = 0;
    virtual void DocumentEnding() = 0;
    // Asked between pages and every few hundred records: true ends the drawing.
    virtual bool StopRequested() = 0;
    virtual void StillDrawing() = 0;
};

// The job's pages on the printer as a new job named jobName: the printer's own DEVMODE with
// the public fields of the job's that it supports (the page's DEVMODE where the spool file
// has one, else the shadow file's), each page placed and, where the printer would clip it,
// fitted to the printable area; copies it cannot make are drawn. Every step is logged.
RawJobOutcome DrawJobOnPrinter(ByteSource& spoolFile, const std::wstring& displayPath, const std::wstring& jobName,
                               const std::wstring& printerName, const DevModeDetails& jobDevMode,
                               DrawingEvents& events);

// Page 1 drawn on white paper to fit a width x height bitmap: its 32-bit pixels, top row
// first; empty when the page cannot be drawn.
std::vector<std::uint8_t> DrawFirstPagePixels(ByteSource& spoolFile, const std::wstring& displayPath,
                                              std::uint32_t width, std::uint32_t height, DrawingEvents& events);

// The printer's page as the job's settings would make it (its paper, orientation); none when
// the printer gives no information about it.
std::optional<emf::PrinterPage> PrinterPageFor(const std::wstring& printerName, const DevModeDetails& fields);

// Called with every record just before the player gets it. Test builds install one that
// makes the player fail on a marked record, to prove that such a failure costs one job.
using PlaybackRecordHook = void (*)(std::span<const std::uint8_t> record);
void SetPlaybackRecordHook(PlaybackRecordHook hook);
