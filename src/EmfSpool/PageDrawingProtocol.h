// What the program and the process that draws an EMF job's pages say to each other: the
// parent's request, then the child's reports, each over a pipe of its own. Both ends are this
// program, but the child plays pages from strangers, and a page that took the child over may
// make it write anything: the parent reads the reports as untrusted bytes, and a stream that
// breaks the framing is not read further. Platform-neutral: the callers do the I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "DevMode.h"

namespace drawing {

using Bytes = std::vector<std::uint8_t>;

enum class Task : std::uint32_t {
    FirstPage = 1,  // page 1 into a bitmap of Width x Height pixels
    Printer = 2,    // every page on the printer, as a new job
};

struct Request {
    Task What = Task::FirstPage;
    std::u16string Path = {};             // the spool file as the program names it, for log lines
    std::uint32_t Width = 0, Height = 0;  // FirstPage
    std::u16string Printer = {};          // Printer: where to, under which name,
    std::u16string JobName = {};
    DevModeDetails JobDevMode = {};       //   and the shadow file's settings
};

// The largest thumbnail the parent asks for, so that a report of its pixels stays bounded.
inline constexpr std::uint32_t kMaxThumbnailSide = 2048;

Bytes EncodeRequest(const Request& request);
// None when the bytes are no whole request, or a value is out of its range.
std::optional<Request> DecodeRequest(std::span<const std::uint8_t> bytes);

// How the child's work ended, as it says itself.
enum class Outcome : std::uint32_t {
    Done = 1,             // the bitmap drawn, or the job submitted whole
    Failed = 2,           // refused or failed; the job (if any) withdrawn
    Cancelled = 3,        // stopped by the user, the job withdrawn
    CancelledNotAborted = 4,  // stopped, but the job could not be withdrawn
};

enum class ReportKind : std::uint32_t {
    Log = 1,          // a log line: level, source file, line number, text
    Pages = 2,        // Value: the pages it will draw
    PageStarted = 3,  // Value: the page it starts (1-based)
    JobStarted = 4,   // Value: the spooler's id of the job it started
    Ending = 5,       // the document is being ended: from here the job may be submitted
    Pixels = 6,       // the thumbnail, Width x Height 32-bit pixels, top row first
    Finished = 7,     // Value: an Outcome
    Alive = 8,        // still at work inside a long page
};

struct Report {
    ReportKind Kind = ReportKind::Alive;
    std::uint32_t Value = 0;
    std::uint32_t Level = 0, Line = 0;  // Log
    std::string File = {}, Text = {};   // Log
    std::uint32_t Width = 0, Height = 0;  // Pixels
    Bytes Pixels = {};
};

Bytes EncodeReport(const Report& report);

// Collects the child's bytes as they come and hands out whole reports. A frame of an unknown
// kind, or longer than its kind allows (a thumbnail of exactly the size asked for, a log line
// of at most 64 KiB), damages the stream: nothing after it is believed.
class ReportStream {
public:
    ReportStream(std::uint32_t width, std::uint32_t height) : m_Width(width), m_Height(height) {}
    void Append(std::span<const std::uint8_t> bytes);
    std::optional<Report> Next();
    bool Damaged() const { return m_Damaged; }
    // Bytes received that do not make a whole report yet.
    std::size_t Pending() const { return m_Buffer.size() - m_Read; }

private:
    bool FrameAllowed(ReportKind kind, std::uint32_t length) const;

    std::uint32_t m_Width, m_Height;
    Bytes m_Buffer;
    std::size_t m_Read = 0;
    bool m_Damaged = false;
};

}  // namespace drawing
