// The page drawing's portable half: where a page lands on another printer's paper, how the
// copies are made, and what the program and its page-drawing process say to each other.
#include <gtest/gtest.h>

#include <climits>

#include "EmfSpool/PageDrawingProtocol.h"
#include "EmfSpool/RedrawLayout.h"

using namespace emf;

namespace {

// A4 at 300 dpi as the spooler records it, drawing inside the given box (device pixels).
EmfHeaderInfo A4Page(RectL bounds, RectL frame = {0, 0, 20999, 29699}) {
    EmfHeaderInfo header;
    header.Bounds = bounds;
    header.Frame = frame;
    header.Device = {2480, 3508};
    header.Millimeters = {210, 297};
    return header;
}

}  // namespace

// An A4 printer at 300 dpi that cannot print the outer 4 mm (47 dots).
TEST(RedrawLayout, PagesStayWherePrintableAndAreFittedWhereClipped) {
    const PrinterPage printer{300, 300, 47, 47, 2386, 3414};
    struct Row {
        const char* Name;
        EmfHeaderInfo Page;
        bool Fitted;
        RectL Target;
    } rows[] = {
        {"a drawing inside the printable area keeps its place and size", A4Page({200, 200, 2000, 3000}), false,
         {-47, -47, 2433, 3461}},
        {"a page that draws nothing keeps its place", A4Page({0, 0, -1, -1}), false, {-47, -47, 2433, 3461}},
        {"a drawing to the paper's edge is scaled to the printable area", A4Page({0, 0, 2479, 3507}), true,
         {0, 20, 2386, 3394}},
        {"an A3 page on A4 paper is scaled down", A4Page({0, 0, 3507, 4960}, {0, 0, 29699, 41999}), true,
         {0, 20, 2386, 3394}},
        {"frame values at the ends of 32 bits neither overflow nor flip", A4Page({0, 0, 10, 10}, {INT_MIN, 0, INT_MAX, 100}),
         true, {0, 1707, 2386, 1707}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const PagePlacement placed = PlacePage(row.Page, printer);
        EXPECT_EQ(placed.Fitted, row.Fitted);
        EXPECT_EQ(std::make_tuple(placed.Target.Left, placed.Target.Top, placed.Target.Right, placed.Target.Bottom),
                  std::make_tuple(row.Target.Left, row.Target.Top, row.Target.Right, row.Target.Bottom));
    }
    const RectL thumbnail = FitFrame({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 60, 80);
    EXPECT_EQ(std::make_tuple(thumbnail.Left, thumbnail.Top, thumbnail.Right, thumbnail.Bottom), std::make_tuple(1, 11, 59, 69));
}

// Copies the printer cannot make, or cannot collate, are drawn: whole documents one after
// another when collated, each page repeated otherwise.
TEST(RedrawLayout, CopiesThePrinterCannotMakeAreDrawnInTheirOrder) {
    struct Row {
        const char* Name;
        std::optional<std::uint16_t> Copies;
        std::optional<bool> Collate;
        int DeviceMost;
        bool DeviceCollates;
        std::uint16_t PrinterCopies;
        const char* Sheets;  // pages of a two-page job, in drawing order
    } rows[] = {
        {"one copy", std::nullopt, std::nullopt, 0, false, 1, "01"},
        {"copies the printer makes", 3, false, 99, false, 3, "01"},
        {"copies it does not make, uncollated", 3, false, 1, false, 1, "000111"},
        {"copies it makes but cannot collate", 3, true, 99, false, 1, "010101"},
        {"a printer that does not say", 2, true, -1, true, 1, "0101"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const CopiesPlan plan = PlanCopies(row.Copies, row.Collate, row.DeviceMost, row.DeviceCollates);
        EXPECT_EQ(plan.PrinterCopies, row.PrinterCopies);
        std::string sheets;
        for (std::uint64_t sheet = 0; sheet < plan.Sheets(2); ++sheet) sheets += char('0' + plan.PageOfSheet(sheet, 2));
        EXPECT_EQ(sheets, row.Sheets);
    }
}

// The request goes whole or not at all; the child's reports come whole however the pipe cuts
// them, and a stream that breaks the framing is believed no further.
TEST(PageDrawingProtocol, RequestsRoundTripAndReportStreamsStopAtTheFirstDamage) {
    drawing::Request request;
    request.What = drawing::Task::Printer;
    request.Path = u"C:\\spool\\00012.SPL";
    request.Printer = u"Принтер в бухгалтерии";
    request.JobName = u"Счёт";
    request.JobDevMode.Orientation = PaperOrientation::Landscape;
    request.JobDevMode.FormName = u"A4";
    request.JobDevMode.Collate = true;
    const drawing::Bytes bytes = drawing::EncodeRequest(request);
    const std::optional<drawing::Request> decoded = drawing::DecodeRequest(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Printer, request.Printer);
    EXPECT_EQ(decoded->JobDevMode.Orientation, PaperOrientation::Landscape);
    EXPECT_EQ(decoded->JobDevMode.FormName, u"A4");
    EXPECT_FALSE(decoded->JobDevMode.Copies);
    EXPECT_FALSE(drawing::DecodeRequest(std::span(bytes).first(bytes.size() - 1)));
    drawing::Request huge{.What = drawing::Task::FirstPage, .Width = 4096, .Height = 10};
    EXPECT_FALSE(drawing::DecodeRequest(drawing::EncodeRequest(huge))) << "a thumbnail too large to report";

    drawing::Bytes stream;
    for (const drawing::Report& report :
         {drawing::Report{.Kind = drawing::ReportKind::Log, .Level = 72, .Line = 9, .File = "a.cpp", .Text = "line"},
          drawing::Report{.Kind = drawing::ReportKind::Pixels, .Width = 2, .Height = 1, .Pixels = drawing::Bytes(8, 7)},
          drawing::Report{.Kind = drawing::ReportKind::JobStarted, .Value = 41}}) {
        const drawing::Bytes frame = drawing::EncodeReport(report);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    drawing::ReportStream whole(2, 1);
    std::vector<drawing::Report> got;
    for (std::uint8_t byte : stream) {  // a byte at a time: the pipe may cut anywhere
        whole.Append(std::span(&byte, 1));
        while (std::optional<drawing::Report> report = whole.Next()) got.push_back(*report);
    }
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].Text, "line");
    EXPECT_EQ(got[1].Pixels, drawing::Bytes(8, 7));
    EXPECT_EQ(got[2].Value, 41u);

    struct Damage {
        const char* Name;
        drawing::Bytes Frame;
    } damages[] = {
        {"an unknown kind", {99, 0, 0, 0, 0, 0, 0, 0}},
        {"pixels of another size than asked", drawing::EncodeReport({.Kind = drawing::ReportKind::Pixels, .Width = 1,
                                                                     .Height = 1, .Pixels = drawing::Bytes(4)})},
        {"a log line longer than a log line", {1, 0, 0, 0, 0, 0, 0, 1}},
        {"a value with a tail", {4, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 0}},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.Name);
        drawing::ReportStream damaged(2, 1);
        damaged.Append(damage.Frame);
        damaged.Append(drawing::EncodeReport({.Kind = drawing::ReportKind::Alive}));
        EXPECT_FALSE(damaged.Next());
        EXPECT_TRUE(damaged.Damaged());
        EXPECT_FALSE(damaged.Next());
    }
}
