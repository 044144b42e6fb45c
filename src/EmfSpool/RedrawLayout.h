// How an EMF job's pages go onto another printer's paper: where each page's picture lands
// (scaled to the printable area when the printer would clip it), where page 1 lands in the
// window's thumbnail, and how the copies the job asks for are made (by the printer, or drawn
// again when it cannot make them). Platform-neutral: the Win32 side asks the device.
#pragma once

#include <cstdint>
#include <optional>

#include "EmfSpool/EmfSpoolReader.h"

namespace emf {

// A printer's page as the device reports it, in device units.
struct PrinterPage {
    std::int32_t DpiX = 0, DpiY = 0;                        // LOGPIXELSX, LOGPIXELSY
    std::int32_t OffsetX = 0, OffsetY = 0;                  // PHYSICALOFFSETX, -Y: the printable corner on the paper
    std::int32_t PrintableWidth = 0, PrintableHeight = 0;  // HORZRES, VERTRES
};

struct PagePlacement {
    RectL Target;         // where the frame goes, device units from the printable area's corner
    bool Fitted = false;  // scaled down and centred, so that nothing drawn is clipped
};

// The frame at its own place on the paper when what the page draws (the header's bounds)
// lies inside the printable area; otherwise the frame scaled down to it, keeping its aspect,
// and centred there. A printer page without resolution or area gives the frame as it is.
PagePlacement PlacePage(const EmfHeaderInfo& header, const PrinterPage& printer);

// The frame scaled to fit a width x height bitmap less a one-pixel border, keeping its
// aspect, centred: the paper of the thumbnail.
RectL FitFrame(const RectL& frame, std::int32_t width, std::int32_t height);

// Which copies the printer makes and which are drawn as pages of their own.
struct CopiesPlan {
    std::uint16_t PrinterCopies = 1;  // asked of the printer in its DEVMODE
    std::uint32_t DrawnCopies = 1;
    bool Collated = false;  // drawn copies as whole documents one after another, else each page repeated

    std::uint64_t Sheets(std::uint32_t pages) const { return std::uint64_t{pages} * DrawnCopies; }
    // The page (0-based) that is drawn as sheet number sheet (0-based) of Sheets(pages).
    std::uint32_t PageOfSheet(std::uint64_t sheet, std::uint32_t pages) const;
};

// copies and collate as the job asks; deviceMost is what the printer says it makes (0 or less:
// it does not say, taken as 1), deviceCollates whether it collates. Copies the printer cannot
// make, or cannot collate as asked, are drawn.
CopiesPlan PlanCopies(std::optional<std::uint16_t> copies, std::optional<bool> collate, int deviceMost,
                      bool deviceCollates);

}  // namespace emf
