#include "FileProcessor/JobDetails.h"

#include <algorithm>
#include <cstdio>

#include "EmfSpool/EmfSpoolReader.h"
#include "textutil.h"

namespace {

// The file's first bytes, as many as the reader takes; none when the read fails.
std::vector<std::uint8_t> ReadStart(ByteSource& source, std::size_t limit) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(limit, source.Size())));
    std::size_t got = 0;
    if (!source.ReadAt(0, bytes.data(), bytes.size(), &got)) got = 0;
    bytes.resize(got);
    return bytes;
}

// A name from a file, as the window may show it: control characters as visible escapes.
std::wstring FromFile(const std::u16string& text) { return EscapeForLog(std::wstring(text.begin(), text.end())); }

std::wstring Ascii(const char* text) {
    std::string narrow = text;
    return std::wstring(narrow.begin(), narrow.end());
}

const std::optional<std::u16string>& Owner(const ShadowFileDetails& shadow) {
    return shadow.UserName ? shadow.UserName : shadow.NotifyName;
}

// The spool file's own count first: it is what prints.
std::optional<std::uint32_t> PageCount(const JobDetails& details) {
    if (details.EmfPages) return details.EmfPages;
    if (details.Shadow.Pages) return details.Shadow.Pages;
    return details.Contents.Pages;
}

std::optional<std::wstring> PaperName(const DevModeDetails& devMode) {
    if (devMode.PaperSize)
        if (const char* name = PaperSizeName(*devMode.PaperSize)) return Ascii(name);
    if (devMode.FormName) return FromFile(*devMode.FormName);
    return std::nullopt;
}

std::wstring Number(double value, const DetailsFormat& format) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.1f", value);
    std::wstring out = text;
    const std::size_t point = out.find(L'.');
    if (point != std::wstring::npos) out.replace(point, 1, format.DecimalSeparator);
    return out;
}

std::wstring SizeText(std::uint64_t bytes, const TextTable& texts, const DetailsFormat& format) {
    constexpr double KiB = 1024.0, MiB = KiB * 1024, GiB = MiB * 1024;
    const auto value = static_cast<double>(bytes);
    if (value < MiB) return texts.FormatText(TXT_DETAILS_KB, {Number(value / KiB, format)});
    if (value < GiB) return texts.FormatText(TXT_DETAILS_MB, {Number(value / MiB, format)});
    return texts.FormatText(TXT_DETAILS_GB, {Number(value / GiB, format)});
}

std::wstring Join(const std::vector<std::wstring>& parts) {
    std::wstring line;
    for (const std::wstring& part : parts) {
        if (!line.empty()) line += L" \u00B7 ";
        line += part;
    }
    return line;
}

std::vector<std::wstring> WhoWhatWhen(const JobDetails& details, const TextTable& texts, const DetailsFormat& format) {
    const ShadowFileDetails& shadow = details.Shadow;
    std::vector<std::wstring> parts;
    if (shadow.DocumentName) parts.push_back(FromFile(*shadow.DocumentName));
    const auto& owner = Owner(shadow);
    if (owner && shadow.ComputerName) {
        parts.push_back(texts.FormatText(TXT_DETAILS_OWNER_ON_COMPUTER, {FromFile(*owner), FromFile(*shadow.ComputerName)}));
    } else if (owner || shadow.ComputerName) {
        parts.push_back(FromFile(owner ? *owner : *shadow.ComputerName));
    }
    if (shadow.Submitted && format.SubmittedTime) parts.push_back(format.SubmittedTime(*shadow.Submitted));
    return parts;
}

std::vector<std::wstring> PagesAndPaper(const JobDetails& details, const TextTable& texts, const DetailsFormat& format) {
    std::vector<std::wstring> parts;
    if (auto pages = PageCount(details); pages && *pages > 0)
        parts.push_back(*pages == 1 ? texts.GetText(TXT_DETAILS_ONE_PAGE)
                                    : texts.FormatText(TXT_DETAILS_PAGES, {std::to_wstring(*pages)}));
    if (details.SpoolFileSize) parts.push_back(SizeText(*details.SpoolFileSize, texts, format));
    if (const auto& devMode = details.Shadow.DevMode) {
        std::wstring paper = PaperName(*devMode).value_or(L"");
        if (devMode->Orientation) {
            paper += (paper.empty() ? L"" : L" ") +
                     texts.GetText(*devMode->Orientation == PaperOrientation::Portrait ? TXT_DETAILS_PORTRAIT
                                                                                       : TXT_DETAILS_LANDSCAPE);
        }
        if (!paper.empty()) parts.push_back(paper);
        if (devMode->Copies && *devMode->Copies > 1)
            parts.push_back(texts.FormatText(TXT_DETAILS_COPIES, {std::to_wstring(*devMode->Copies)}));
        if (devMode->Duplex && *devMode->Duplex != DuplexMode::Simplex) parts.push_back(texts.GetText(TXT_DETAILS_DUPLEX));
        if (devMode->Colour)
            parts.push_back(texts.GetText(*devMode->Colour == ColourMode::Colour ? TXT_DETAILS_COLOUR
                                                                                  : TXT_DETAILS_MONOCHROME));
    }
    if (details.Contents.Kind == SpoolContentKind::PlainText) {
        parts.push_back(texts.GetText(TXT_DETAILS_PLAIN_TEXT));
    } else if (std::string name = SpoolContentsName(details.Contents); !name.empty()) {
        parts.push_back(Ascii(name.c_str()));
    }
    return parts;
}

void AddLogPart(std::string& text, const char* key, const std::string& value) {
    if (!text.empty()) text += ' ';
    text.append(key).append("[").append(value).append("]");
}

void AddLogName(std::string& text, const char* key, const std::optional<std::u16string>& name) {
    if (name) AddLogPart(text, key, LogText(std::wstring(name->begin(), name->end())));
}

}  // namespace

std::optional<JobDetails> ReadJobDetails(ByteSource* shadowFile, ByteSource* spoolFile, OperationProgress* progress) {
    JobDetails details;
    if (shadowFile != nullptr) details.Shadow = ReadShadowFileDetails(ReadStart(*shadowFile, ShadowDetailsReadLimit));
    if (spoolFile == nullptr) return details;
    details.SpoolFileSize = spoolFile->Size();
    details.Contents = SniffSpoolContents(ReadStart(*spoolFile, SpoolSniffLimit));
    if (details.Contents.Kind == SpoolContentKind::EmfSpool) {
        emf::EmfSpoolJob job;
        const emf::SpoolRefusal refusal = emf::ListEmfSpoolPages(*spoolFile, job, progress);
        if (refusal.Problem == emf::SpoolProblem::Cancelled) return std::nullopt;
        if (!refusal.Refused()) details.EmfPages = static_cast<std::uint32_t>(job.Pages.size());
    }
    return details;
}

std::vector<std::wstring> DetailsLines(const JobDetails& details, const TextTable& texts, const DetailsFormat& format) {
    std::vector<std::wstring> lines;
    for (const auto& parts : {WhoWhatWhen(details, texts, format), PagesAndPaper(details, texts, format)})
        if (!parts.empty()) lines.push_back(Join(parts));
    return lines;
}

std::string DetailsLogText(const JobDetails& details) {
    const ShadowFileDetails& shadow = details.Shadow;
    std::string text;
    AddLogName(text, "document", shadow.DocumentName);
    AddLogName(text, "owner", shadow.UserName);
    AddLogName(text, "notify", shadow.NotifyName);
    AddLogName(text, "computer", shadow.ComputerName);
    if (const auto& time = shadow.Submitted) {
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u UTC", time->Year, time->Month, time->Day,
                      time->Hour, time->Minute, time->Second);
        AddLogPart(text, "submitted", stamp);
    }
    if (auto pages = PageCount(details)) AddLogPart(text, "pages", std::to_string(*pages));
    if (details.SpoolFileSize) AddLogPart(text, "size", std::to_string(*details.SpoolFileSize));
    if (const auto& devMode = shadow.DevMode) {
        if (auto paper = PaperName(*devMode)) AddLogPart(text, "paper", WideToUtf8(*paper));
        if (devMode->Orientation)
            AddLogPart(text, "orientation",
                       *devMode->Orientation == PaperOrientation::Portrait ? "portrait" : "landscape");
        if (devMode->Copies) AddLogPart(text, "copies", std::to_string(*devMode->Copies));
        if (devMode->Duplex) AddLogPart(text, "duplex", std::to_string(static_cast<unsigned>(*devMode->Duplex)));
        if (devMode->Colour)
            AddLogPart(text, "colour", *devMode->Colour == ColourMode::Colour ? "colour" : "monochrome");
    }
    if (details.Contents.Kind == SpoolContentKind::PlainText) {
        AddLogPart(text, "contents", "plain text");
    } else if (std::string name = SpoolContentsName(details.Contents); !name.empty()) {
        AddLogPart(text, "contents", name);
    }
    return text;
}
