#include "FileProcessor/SpoolContents.h"

#include <algorithm>

#include "ByteReader.h"
#include "FileProcessor/JobRecords.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

// HP's Universal Exit Language, which opens every PJL job.
constexpr std::string_view UniversalExitLanguage = "\x1B%-12345X";
constexpr std::string_view ZipLocalHeader = "PK\x03\x04";
constexpr std::uint32_t EmfSpoolVersion = 0x00010000;
constexpr std::size_t EmfSpoolHeaderFields = 16;
constexpr std::size_t PdfHeaderWindow = 1024;  // readers find %PDF- anywhere in the first KiB
constexpr std::size_t DscLineLimit = 255;      // longer lines are no DSC comments
constexpr std::size_t PjlLanguageLimit = 32;
constexpr std::size_t ZipNameLengthPosition = 26;

std::string_view AsText(Bytes bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }
Bytes AsBytes(std::string_view text) { return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    return true;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && StartsWithIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

void SkipBlanks(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
}

// Takes the keyword after optional blanks, in any case.
bool TakeKeyword(std::string_view& text, std::string_view keyword) {
    SkipBlanks(text);
    if (!StartsWithIgnoringCase(text, keyword)) return false;
    text.remove_prefix(keyword.size());
    return true;
}

// The line at the start of text (without its CR, LF or CR LF), which text then no longer
// holds; nothing when no line end comes, since the bytes may have been cut inside the line.
std::optional<std::string_view> TakeLine(std::string_view& text) {
    std::size_t end = text.find_first_of("\r\n");
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(0, end);
    std::size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    text.remove_prefix(next);
    return line;
}

bool IsEmfSpool(Bytes bytes) {
    ByteReader reader(bytes);
    std::uint32_t version = reader.U32();
    std::uint32_t headerSize = reader.U32();
    return !reader.Failed() && version == EmfSpoolVersion && headerSize >= EmfSpoolHeaderFields &&
           headerSize % 4 == 0 && headerSize <= bytes.size();
}

// The stream header: the binding (")" little-endian, "(" big-endian, "'" ASCII), a space and
// "HP-PCL XL;" followed by the protocol class.
bool IsPclXl(std::string_view data) {
    return !data.empty() && (data.front() == ')' || data.front() == '(' || data.front() == '\'') &&
           data.substr(1).starts_with(" HP-PCL XL;");
}

// "%!", after the Ctrl-D that some drivers send first to end an earlier job.
bool IsPostScript(std::string_view data) {
    if (data.starts_with('\x04')) data.remove_prefix(1);
    return data.starts_with("%!");
}

// A DSC value: "(atend)" says it comes in the trailer, which is not read.
std::optional<std::string_view> DscValue(std::string_view line, std::string_view keyword) {
    if (!line.starts_with(keyword) || line.size() > DscLineLimit) return std::nullopt;
    line.remove_prefix(keyword.size());
    SkipBlanks(line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.empty() || line == "(atend)") return std::nullopt;
    return line;
}

std::optional<std::uint32_t> DscCount(std::string_view value) {
    std::uint32_t count = 0;
    std::size_t digits = 0;
    for (; digits < value.size() && value[digits] >= '0' && value[digits] <= '9'; ++digits) {
        if (digits == 9) return std::nullopt;  // no document has a billion pages
        count = count * 10 + static_cast<std::uint32_t>(value[digits] - '0');
    }
    if (digits == 0) return std::nullopt;
    return count;
}

// The header comments run from the first line to %%EndComments or the first line that does
// not start with "%" and a printable character other than a blank ("%Produced by ..." from
// some converters does not end them); the first %%Pages: and %%Title: there count.
void ReadDscHeader(std::string_view data, SpoolContents& contents) {
    bool pagesSeen = false, titleSeen = false;
    TakeLine(data);  // %!PS-Adobe-3.0
    while (auto line = TakeLine(data)) {
        bool headerComment = line->size() >= 2 && line->front() == '%' && (*line)[1] > ' ' && (*line)[1] < 0x7F;
        if (!headerComment || line->starts_with("%%EndComments")) break;
        if (!pagesSeen && line->starts_with("%%Pages:")) {
            pagesSeen = true;
            if (auto value = DscValue(*line, "%%Pages:")) contents.Pages = DscCount(*value);
        } else if (!titleSeen && line->starts_with("%%Title:")) {
            titleSeen = true;
            auto value = DscValue(*line, "%%Title:");
            // A title with special characters is written as a PostScript string.
            if (value && value->size() >= 2 && value->front() == '(' && value->back() == ')')
                value = value->substr(1, value->size() - 2);
            if (value && !value->empty()) contents.Title = std::string(*value);
        }
    }
}

// A ZIP part's name without the "/[n].piece" or "/[n].last.piece" of an interleaved part.
std::string_view PartName(std::string_view name) {
    std::size_t slash = name.rfind('/');
    if (EndsWithIgnoringCase(name, ".piece") && slash != std::string_view::npos) name = name.substr(0, slash);
    return name;
}

// An XPS package: among the local headers within the bytes, a fixed-document part, or the
// content types with the documents folder. Headers are found by their signature, since
// streamed members do not give the sizes needed to step from one to the next.
bool IsXps(Bytes bytes) {
    std::string_view text = AsText(bytes);
    bool contentTypes = false, documents = false;
    for (std::size_t at = text.find(ZipLocalHeader); at != std::string_view::npos;
         at = text.find(ZipLocalHeader, at + 1)) {
        ByteReader reader(bytes);
        reader.Seek(at + ZipNameLengthPosition);
        std::uint16_t nameLength = reader.U16();
        reader.Skip(2);  // the extra field's length
        std::string_view name = PartName(AsText(reader.Bytes(nameLength)));
        if (reader.Failed()) break;  // the bytes end inside this header
        for (std::string_view fixedPart : {".fdseq", ".fdoc", ".fpage"})
            if (EndsWithIgnoringCase(name, fixedPart)) return true;
        contentTypes = contentTypes || EndsWithIgnoringCase(name, "[Content_Types].xml");
        documents = documents || StartsWithIgnoringCase(name, "Documents/");
    }
    return contentTypes && documents;
}

// A UTF-8 sequence's continuation bytes after its lead byte; one cut by the end of the bytes
// counts as sound.
bool SkipUtf8Continuation(std::uint8_t lead, ByteReader& reader) {
    std::size_t count = lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2 : lead >= 0xF0 && lead <= 0xF4 ? 3 : 0;
    if (count == 0) return false;
    for (std::size_t i = 0; i < count && reader.Remaining() > 0; ++i)
        if ((reader.U8() & 0xC0) != 0x80) return false;
    return true;
}

// Printable ASCII or UTF-8 in lines; of the control bytes only CR, LF, FF and TAB.
bool IsPlainText(Bytes bytes) {
    ByteReader reader(bytes);
    bool lineBreak = false;
    while (reader.Remaining() > 0) {
        std::uint8_t byte = reader.U8();
        if (byte == '\r' || byte == '\n') {
            lineBreak = true;
        } else if (byte < 0x20 ? byte != '\t' && byte != '\f' : byte == 0x7F) {
            return false;
        } else if (byte >= 0x80 && !SkipUtf8Continuation(byte, reader)) {
            return false;
        }
    }
    return lineBreak;
}

bool IsLanguageNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

// "@PJL ENTER LANGUAGE = X" gives X, a name alone on its line; command words in any case.
std::optional<std::string> EnteredLanguage(std::string_view line) {
    if (!TakeKeyword(line, "@PJL") || !TakeKeyword(line, "ENTER") || !TakeKeyword(line, "LANGUAGE") ||
        !TakeKeyword(line, "="))
        return std::nullopt;
    SkipBlanks(line);
    std::size_t length = 0;
    while (length < line.size() && IsLanguageNameCharacter(line[length])) ++length;
    std::string_view name = line.substr(0, length);
    line.remove_prefix(length);
    SkipBlanks(line);
    if (name.empty() || name.size() > PjlLanguageLimit || !line.empty()) return std::nullopt;
    return std::string(name);
}

SpoolContents SniffData(std::string_view data, bool outermost);

// PJL commands, one a line, up to ENTER LANGUAGE or the first line of other data.
SpoolContents SniffPjl(std::string_view data) {
    SpoolContents contents;
    contents.Kind = SpoolContentKind::Pjl;
    for (std::string_view rest = data;;) {
        auto line = TakeLine(rest);
        if (!line || !(line->empty() || line->starts_with("@PJL"))) break;
        data = rest;
        if (auto language = EnteredLanguage(*line)) {
            contents.PjlLanguage = *language;
            break;
        }
    }
    SpoolContents entered = SniffData(data, false);
    contents.PjlData = entered.Kind;
    contents.Pages = entered.Pages;
    contents.Title = entered.Title;
    return contents;
}

// The data behind PJL are a printer language, never EMF nor PJL again.
SpoolContents SniffData(std::string_view data, bool outermost) {
    SpoolContents contents;
    auto kind = [&contents](SpoolContentKind found) {
        contents.Kind = found;
        return contents;
    };
    if (outermost && IsEmfSpool(AsBytes(data))) return kind(SpoolContentKind::EmfSpool);
    if (outermost && data.starts_with(UniversalExitLanguage))
        return SniffPjl(data.substr(UniversalExitLanguage.size()));
    if (outermost && data.starts_with("@PJL")) return SniffPjl(data);
    if (IsPclXl(data)) return kind(SpoolContentKind::PclXl);
    if (data.starts_with("\x1B" "E")) return kind(SpoolContentKind::Pcl5);
    if (IsPostScript(data)) {
        ReadDscHeader(data, contents);
        return kind(SpoolContentKind::PostScript);
    }
    if (data.starts_with(ZipLocalHeader))
        return kind(IsXps(AsBytes(data)) ? SpoolContentKind::Xps : SpoolContentKind::Unknown);
    if (data.substr(0, PdfHeaderWindow).find("%PDF-") != std::string_view::npos) return kind(SpoolContentKind::Pdf);
    if (IsPlainText(AsBytes(data))) return kind(SpoolContentKind::PlainText);
    return contents;
}

bool IsPrinterLanguage(SpoolContentKind kind) {
    switch (kind) {
    case SpoolContentKind::Pjl:
    case SpoolContentKind::Pcl5:
    case SpoolContentKind::PclXl:
    case SpoolContentKind::PostScript:
    case SpoolContentKind::Pdf:
    case SpoolContentKind::Xps:
        return true;
    default:
        return false;
    }
}

}  // namespace

SpoolContents SniffSpoolContents(std::span<const std::uint8_t> firstBytes) {
    return SniffData(AsText(firstBytes.first(std::min(firstBytes.size(), SpoolSniffLimit))), true);
}

const char* SpoolContentKindName(SpoolContentKind kind) {
    switch (kind) {
    case SpoolContentKind::EmfSpool: return "EMF";
    case SpoolContentKind::Pjl: return "PJL";
    case SpoolContentKind::Pcl5: return "PCL 5";
    case SpoolContentKind::PclXl: return "PCL XL";
    case SpoolContentKind::PostScript: return "PostScript";
    case SpoolContentKind::Pdf: return "PDF";
    case SpoolContentKind::Xps: return "XPS";
    default: return "";
    }
}

std::string SpoolContentsName(const SpoolContents& contents) {
    if (contents.Kind == SpoolContentKind::Pjl && IsPrinterLanguage(contents.PjlData))
        return SpoolContentKindName(contents.PjlData);
    return SpoolContentKindName(contents.Kind);
}

std::optional<DataTypeMismatch> FindDataTypeMismatch(std::wstring_view dataType, const SpoolContents& contents) {
    // Data type names are matched without regard to case, as print processors do; "RAW [FF
    // appended]" and "RAW [FF auto]" are raw too.
    std::wstring type = ToUpperAscii(std::wstring(dataType));
    bool raw = type == L"RAW" || type.starts_with(L"RAW ");
    bool emf = type.starts_with(L"NT EMF");
    if (!(contents.Kind == SpoolContentKind::EmfSpool && raw) && !(IsPrinterLanguage(contents.Kind) && emf))
        return std::nullopt;
    return DataTypeMismatch{std::wstring(dataType), SpoolContentsName(contents)};
}
