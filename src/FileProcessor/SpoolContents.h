// What a spool file holds, told from its first bytes, and whether the data type the job is
// sent with would make the printer print garbage. Platform-neutral.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// How much of a spool file to hand to SniffSpoolContents.
inline constexpr std::size_t SpoolSniffLimit = 64 * 1024;

enum class SpoolContentKind { Unknown, EmfSpool, Pjl, Pcl5, PclXl, PostScript, Pdf, Xps, PlainText };

struct SpoolContents {
    SpoolContentKind Kind = SpoolContentKind::Unknown;
    // PJL: the language that "@PJL ENTER LANGUAGE" names, as written (empty without that
    // command), and what the data after the PJL commands are.
    std::string PjlLanguage;
    SpoolContentKind PjlData = SpoolContentKind::Unknown;
    // PostScript, also behind PJL: %%Pages: and %%Title: of the header comments. The title's
    // bytes are as written, in no known encoding. EMF pages are not counted here.
    std::optional<std::uint32_t> Pages;
    std::optional<std::string> Title;
};

// firstBytes: the file's first bytes; only SpoolSniffLimit of them are read.
SpoolContents SniffSpoolContents(std::span<const std::uint8_t> firstBytes);

// The format's own name ("EMF", "PostScript", "PCL XL"), the same in every language; empty
// for plain text and unknown contents, which the interface names in its language.
const char* SpoolContentKindName(SpoolContentKind kind);
// The kind's name; for PJL the name of the data behind it when they were recognised.
std::string SpoolContentsName(const SpoolContents& contents);

// A data type that makes the spooler hand the contents to the printer in a way that prints
// garbage: EMF data sent as RAW, printer language data sent as NT EMF.
struct DataTypeMismatch {
    std::wstring DataType;     // as the job would be sent
    std::string ContentsName;  // SpoolContentsName of the contents
};
std::optional<DataTypeMismatch> FindDataTypeMismatch(std::wstring_view dataType, const SpoolContents& contents);
