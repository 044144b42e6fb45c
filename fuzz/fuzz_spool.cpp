// libFuzzer target: the input is a spool file's first bytes, sniffed for its contents, and
// the data-type decision taken on what was found.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "FileProcessor/SpoolContents.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    SpoolContents contents = SniffSpoolContents(bytes);
    std::string_view text(reinterpret_cast<const char*>(data), size);

    bool pjl = contents.Kind == SpoolContentKind::Pjl;
    // What PJL names or carries is only told for PJL, and never EMF or PJL again.
    Require(pjl || (contents.PjlLanguage.empty() && contents.PjlData == SpoolContentKind::Unknown));
    Require(contents.PjlData != SpoolContentKind::Pjl && contents.PjlData != SpoolContentKind::EmfSpool);
    Require(contents.PjlLanguage.size() <= 32);
    for (char c : contents.PjlLanguage) Require(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.');
    Require(pjl == (text.starts_with("\x1B%-12345X") || text.starts_with("@PJL")));
    // DSC values come from PostScript alone, from a comment line no longer than 255 bytes.
    bool postScript = contents.Kind == SpoolContentKind::PostScript ||
                      (pjl && contents.PjlData == SpoolContentKind::PostScript);
    Require(postScript || (!contents.Pages && !contents.Title));
    if (contents.Title) Require(!contents.Title->empty() && contents.Title->size() < 255 &&
                                text.find(*contents.Title) != std::string_view::npos);
    if (contents.Kind == SpoolContentKind::EmfSpool) Require(text.starts_with(std::string_view("\0\0\1\0", 4)));

    // The question names the contents by a name; EMF asks only with RAW, printer languages
    // only with NT EMF.
    for (const wchar_t* dataType : {L"RAW", L"NT EMF 1.008", L"XPS_PASS", L"TEXT"}) {
        auto mismatch = FindDataTypeMismatch(dataType, contents);
        if (!mismatch) continue;
        Require(!mismatch->ContentsName.empty() && mismatch->DataType == dataType);
        Require(std::wstring_view(dataType) == (contents.Kind == SpoolContentKind::EmfSpool ? L"RAW" : L"NT EMF 1.008"));
    }
    return 0;
}
