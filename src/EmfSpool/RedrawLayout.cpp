#include "EmfSpool/RedrawLayout.h"

#include <algorithm>
#include <cmath>

namespace emf {
namespace {

// A box in device units, as doubles: the file's values can be anything a 32-bit field holds,
// and their differences and products must neither overflow nor lose their sign.
struct Box {
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
    double Width() const { return Right - Left; }
    double Height() const { return Bottom - Top; }
};

constexpr double kHundredthsPerInch = 2540.0;

Box FrameOnPaper(const RectL& frame, const PrinterPage& printer) {
    const double x = printer.DpiX / kHundredthsPerInch, y = printer.DpiY / kHundredthsPerInch;
    return {frame.Left * x, frame.Top * y, frame.Right * x, frame.Bottom * y};
}

// The bounds (reference device pixels, inclusive) on the paper; none when the page draws nothing.
std::optional<Box> DrawingOnPaper(const EmfHeaderInfo& header, const PrinterPage& printer) {
    const RectL& bounds = header.Bounds;
    if (bounds.Right < bounds.Left || bounds.Bottom < bounds.Top) return std::nullopt;
    const double x = 100.0 * header.Millimeters.Cx / header.Device.Cx * printer.DpiX / kHundredthsPerInch;
    const double y = 100.0 * header.Millimeters.Cy / header.Device.Cy * printer.DpiY / kHundredthsPerInch;
    return Box{bounds.Left * x, bounds.Top * y, (bounds.Right + 1.0) * x, (bounds.Bottom + 1.0) * y};
}

std::int32_t Clamped(double value) {
    return static_cast<std::int32_t>(std::clamp(std::round(value), -2147483648.0, 2147483647.0));
}

RectL Rounded(const Box& box) { return {Clamped(box.Left), Clamped(box.Top), Clamped(box.Right), Clamped(box.Bottom)}; }

// A width x height box, scaled to fit the area (never enlarged), centred on it.
Box CentredIn(double width, double height, const Box& area) {
    const double scale = std::min({1.0, area.Width() / width, area.Height() / height});
    const double left = area.Left + (area.Width() - width * scale) / 2, top = area.Top + (area.Height() - height * scale) / 2;
    return {left, top, left + width * scale, top + height * scale};
}

}  // namespace

PagePlacement PlacePage(const EmfHeaderInfo& header, const PrinterPage& printer) {
    if (printer.DpiX <= 0 || printer.DpiY <= 0 || printer.PrintableWidth <= 0 || printer.PrintableHeight <= 0 ||
        header.Device.Cx <= 0 || header.Device.Cy <= 0)
        return {header.Frame, false};
    const Box frame = FrameOnPaper(header.Frame, printer);
    const Box printable{static_cast<double>(printer.OffsetX), static_cast<double>(printer.OffsetY),
                        static_cast<double>(printer.OffsetX) + printer.PrintableWidth,
                        static_cast<double>(printer.OffsetY) + printer.PrintableHeight};
    // Only what lies inside the frame: the player maps the frame onto the target, and what is
    // drawn outside it is off the page wherever the frame goes.
    std::optional<Box> drawing = DrawingOnPaper(header, printer);
    if (drawing) {
        drawing = Box{std::max(drawing->Left, frame.Left), std::max(drawing->Top, frame.Top),
                      std::min(drawing->Right, frame.Right), std::min(drawing->Bottom, frame.Bottom)};
        if (drawing->Width() <= 0 || drawing->Height() <= 0) drawing.reset();
    }
    constexpr double kSlack = 1.0;  // a device unit of rounding
    const bool inside = !drawing || (drawing->Left >= printable.Left - kSlack && drawing->Top >= printable.Top - kSlack &&
                                     drawing->Right <= printable.Right + kSlack &&
                                     drawing->Bottom <= printable.Bottom + kSlack);
    if (inside) {
        return {Rounded({frame.Left - printable.Left, frame.Top - printable.Top, frame.Right - printable.Left,
                         frame.Bottom - printable.Top}),
                false};
    }
    const Box area{0, 0, static_cast<double>(printer.PrintableWidth), static_cast<double>(printer.PrintableHeight)};
    return {Rounded(CentredIn(frame.Width(), frame.Height(), area)), true};
}

RectL FitFrame(const RectL& frame, std::int32_t width, std::int32_t height) {
    const double frameWidth = static_cast<double>(frame.Right) - frame.Left;
    const double frameHeight = static_cast<double>(frame.Bottom) - frame.Top;
    const Box area{1, 1, width - 1.0, height - 1.0};
    if (frameWidth <= 0 || frameHeight <= 0 || area.Width() <= 0 || area.Height() <= 0) return {};
    // Enlarged too: the thumbnail shows the page as large as the control allows.
    const double scale = std::min(area.Width() / frameWidth, area.Height() / frameHeight);
    return Rounded(CentredIn(frameWidth * scale, frameHeight * scale, area));
}

std::uint32_t CopiesPlan::PageOfSheet(std::uint64_t sheet, std::uint32_t pages) const {
    if (pages == 0) return 0;
    return static_cast<std::uint32_t>(Collated ? sheet % pages : sheet / DrawnCopies);
}

CopiesPlan PlanCopies(std::optional<std::uint16_t> copies, std::optional<bool> collate, int deviceMost,
                      bool deviceCollates) {
    const std::uint16_t wanted = std::max<std::uint16_t>(copies.value_or(1), 1);
    const bool collated = collate.value_or(false);
    if (wanted == 1) return {};
    if (wanted <= std::max(deviceMost, 1) && (!collated || deviceCollates)) return {wanted, 1, collated};
    return {1, wanted, collated};
}

}  // namespace emf
