#include "EmfSpool/PageDrawingProtocol.h"

#include <algorithm>

#include "ByteReader.h"

namespace drawing {
namespace {

constexpr std::uint32_t kRequestMagic = 0x54445250;  // "PRDT": a request of this program
constexpr std::size_t kFrameHeader = 8;               // kind, length
constexpr std::uint32_t kMaxLogFrame = 3 * 4 + 2 * 65536;
constexpr std::size_t kMaxName = 32768;               // UTF-16 units of a printer or job name

void PutU32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> 8 * i));
}

void PutName(Bytes& out, const std::u16string& text) {
    PutU32(out, static_cast<std::uint32_t>(text.size()));
    for (char16_t unit : text) out.push_back(static_cast<std::uint8_t>(unit)), out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

void PutText(Bytes& out, const std::string& text) {
    PutU32(out, static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

std::optional<std::u16string> TakeName(ByteReader& reader) {
    const std::uint32_t units = reader.U32();
    if (units > kMaxName || units > reader.Remaining() / 2) return std::nullopt;
    std::u16string text(units, u'\0');
    for (char16_t& unit : text) unit = reader.U16();
    return text;
}

std::string TakeText(ByteReader& reader) {
    const std::uint32_t length = reader.U32();
    const std::span<const std::uint8_t> bytes = reader.Bytes(length);
    return std::string(bytes.begin(), bytes.end());
}

// An optional member: a presence byte, then the value.
template <typename Value>
void PutOptional(Bytes& out, const std::optional<Value>& value) {
    out.push_back(value ? 1 : 0);
    PutU32(out, value ? static_cast<std::uint32_t>(*value) : 0);
}

template <typename Value>
std::optional<Value> TakeOptional(ByteReader& reader, std::uint32_t least, std::uint32_t most) {
    const std::uint8_t present = reader.U8();
    const std::uint32_t value = reader.U32();
    if (present == 0 || value < least || value > most) return std::nullopt;
    return static_cast<Value>(value);
}

void PutDevMode(Bytes& out, const DevModeDetails& mode) {
    PutOptional(out, mode.Orientation);
    PutOptional(out, mode.PaperSize);
    out.push_back(mode.FormName ? 1 : 0);
    PutName(out, mode.FormName.value_or(u""));
    PutOptional(out, mode.Copies);
    PutOptional(out, mode.Colour);
    PutOptional(out, mode.Duplex);
    PutOptional(out, mode.Collate);
}

DevModeDetails TakeDevMode(ByteReader& reader) {
    DevModeDetails mode;
    mode.Orientation = TakeOptional<PaperOrientation>(reader, 1, 2);
    mode.PaperSize = TakeOptional<std::uint16_t>(reader, 1, 0xFFFF);
    const bool hasForm = reader.U8() != 0;
    std::optional<std::u16string> form = TakeName(reader);
    if (hasForm && form) mode.FormName = std::move(form);
    mode.Copies = TakeOptional<std::uint16_t>(reader, 1, 0xFFFF);
    mode.Colour = TakeOptional<ColourMode>(reader, 1, 2);
    mode.Duplex = TakeOptional<DuplexMode>(reader, 1, 3);
    mode.Collate = TakeOptional<bool>(reader, 0, 1);
    return mode;
}

std::uint64_t PixelBytes(std::uint32_t width, std::uint32_t height) { return std::uint64_t{width} * height * 4; }

}  // namespace

Bytes EncodeRequest(const Request& request) {
    Bytes out;
    PutU32(out, kRequestMagic);
    PutU32(out, static_cast<std::uint32_t>(request.What));
    PutU32(out, request.Width);
    PutU32(out, request.Height);
    PutName(out, request.Path);
    PutName(out, request.Printer);
    PutName(out, request.JobName);
    PutDevMode(out, request.JobDevMode);
    return out;
}

std::optional<Request> DecodeRequest(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    Request request;
    if (reader.U32() != kRequestMagic) return std::nullopt;
    const std::uint32_t task = reader.U32();
    request.Width = reader.U32();
    request.Height = reader.U32();
    std::optional<std::u16string> path = TakeName(reader), printer = TakeName(reader), jobName = TakeName(reader);
    request.JobDevMode = TakeDevMode(reader);
    if (reader.Failed() || reader.Remaining() != 0 || !path || !printer || !jobName) return std::nullopt;
    if (task != static_cast<std::uint32_t>(Task::FirstPage) && task != static_cast<std::uint32_t>(Task::Printer))
        return std::nullopt;
    request.What = static_cast<Task>(task);
    if (request.What == Task::FirstPage && (request.Width == 0 || request.Height == 0 ||
                                            request.Width > kMaxThumbnailSide || request.Height > kMaxThumbnailSide))
        return std::nullopt;
    request.Path = std::move(*path);
    request.Printer = std::move(*printer);
    request.JobName = std::move(*jobName);
    return request;
}

Bytes EncodeReport(const Report& report) {
    Bytes payload;
    switch (report.Kind) {
    case ReportKind::Log:
        PutU32(payload, report.Level);
        PutU32(payload, report.Line);
        PutText(payload, report.File.substr(0, 256));
        PutText(payload, report.Text.substr(0, 65536));
        break;
    case ReportKind::Pixels:
        PutU32(payload, report.Width);
        PutU32(payload, report.Height);
        payload.insert(payload.end(), report.Pixels.begin(), report.Pixels.end());
        break;
    case ReportKind::Ending:
    case ReportKind::Alive:
        break;
    default:
        PutU32(payload, report.Value);
        break;
    }
    Bytes frame;
    PutU32(frame, static_cast<std::uint32_t>(report.Kind));
    PutU32(frame, static_cast<std::uint32_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

bool ReportStream::FrameAllowed(ReportKind kind, std::uint32_t length) const {
    switch (kind) {
    case ReportKind::Log: return length >= 16 && length <= kMaxLogFrame;
    case ReportKind::Pixels: return length == 8 + PixelBytes(m_Width, m_Height);
    case ReportKind::Ending:
    case ReportKind::Alive: return length == 0;
    case ReportKind::Pages:
    case ReportKind::PageStarted:
    case ReportKind::JobStarted:
    case ReportKind::Finished: return length == 4;
    }
    return false;
}

void ReportStream::Append(std::span<const std::uint8_t> bytes) {
    if (m_Damaged) return;
    // What was read is dropped before the buffer grows, so it holds at most one frame and a bit.
    if (m_Read > 0) {
        m_Buffer.erase(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(m_Read));
        m_Read = 0;
    }
    m_Buffer.insert(m_Buffer.end(), bytes.begin(), bytes.end());
}

std::optional<Report> ReportStream::Next() {
    if (m_Damaged || Pending() < kFrameHeader) return std::nullopt;
    ByteReader header(std::span<const std::uint8_t>(m_Buffer).subspan(m_Read, kFrameHeader));
    const auto kind = static_cast<ReportKind>(header.U32());
    const std::uint32_t length = header.U32();
    if (!FrameAllowed(kind, length)) {
        m_Damaged = true;
        return std::nullopt;
    }
    if (Pending() - kFrameHeader < length) return std::nullopt;
    ByteReader payload(std::span<const std::uint8_t>(m_Buffer).subspan(m_Read + kFrameHeader, length));
    m_Read += kFrameHeader + length;
    Report report;
    report.Kind = kind;
    switch (kind) {
    case ReportKind::Log:
        report.Level = payload.U32();
        report.Line = payload.U32();
        report.File = TakeText(payload);
        report.Text = TakeText(payload);
        break;
    case ReportKind::Pixels: {
        report.Width = payload.U32();
        report.Height = payload.U32();
        const std::span<const std::uint8_t> pixels = payload.Bytes(payload.Remaining());
        report.Pixels.assign(pixels.begin(), pixels.end());
        if (report.Width != m_Width || report.Height != m_Height) m_Damaged = true;
        break;
    }
    case ReportKind::Ending:
    case ReportKind::Alive: break;
    default: report.Value = payload.U32(); break;
    }
    if (payload.Failed() || payload.Remaining() != 0) m_Damaged = true;
    if (m_Damaged) return std::nullopt;
    return report;
}

}  // namespace drawing
