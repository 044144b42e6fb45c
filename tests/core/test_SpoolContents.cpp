// Telling a spool file's contents from its first bytes, and the data types that would print
// them as garbage. Runs on the host (sanitizers) and under Wine.
#include <gtest/gtest.h>

#include "FileProcessor/SpoolContents.h"

namespace {

using namespace std::string_literals;
using Kind = SpoolContentKind;

SpoolContents Sniff(const std::string& bytes) {
    return SniffSpoolContents(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// The kind (for PJL with its language and what it carries), pages and title, as one text.
std::string Describe(const SpoolContents& c) {
    auto kind = [](Kind k) { return k == Kind::PlainText ? "text" : k == Kind::Unknown ? "unknown" : SpoolContentKindName(k); };
    std::string text = kind(c.Kind);
    if (c.Kind == Kind::Pjl) text += "(" + c.PjlLanguage + ") " + kind(c.PjlData);
    if (c.Pages) text += " pages=" + std::to_string(*c.Pages);
    if (c.Title) text += " title=" + *c.Title;
    return text;
}

// A ZIP local header with no data: signature, 22 bytes of fields, name and extra lengths.
std::string ZipEntry(const std::string& name) {
    return "PK\x03\x04"s + std::string(22, '\0') + static_cast<char>(name.size()) + "\0\0\0"s + name;
}

const std::string Uel = "\x1B%-12345X";
const std::string EmfHeader = "\0\0\1\0\x18\0\0\0\x10\0\0\0\0\0\0\0"s + "d\0\0\0"s + "\x01\0\0\0\x08\0\0\0"s;

}  // namespace

TEST(SniffSpoolContents, KindsAndWhatTheirHeadersSay) {
    const std::pair<std::string, std::string> cases[] = {
        {EmfHeader, "EMF"},
        {"\0\0\1\0\x1A\0\0\0"s + std::string(24, '\0'), "unknown"},  // header size not a multiple of 4
        {"\0\0\1\0\x40\0\0\0"s + std::string(24, '\0'), "unknown"},  // header size past the bytes
        {Uel + "@PJL JOB\r\n\r\n@PJL ENTER LANGUAGE = POSTSCRIPT\r\n%!PS-Adobe-3.0\n%%Title: (Отчёт (1))\n%%Pages: 3\n",
         "PJL(POSTSCRIPT) PostScript pages=3 title=Отчёт (1)"},
        {Uel + "@PJL SET RESOLUTION=600\n@PJL ENTER LANGUAGE = PCLXL\n) HP-PCL XL;1;1;Comment\n\xD1X", "PJL(PCLXL) PCL XL"},
        {Uel + "@PJL enter language=pcl\n\x1B" "E\x1B&l0O", "PJL(pcl) PCL 5"},
        {Uel + "@PJL ENTER LANGUAGE = POS= X\n%!PS\n", "PJL() PostScript"},
        {"@PJL JOB NAME = \"x\"\n\x1B%-12345X", "PJL() unknown"},
        {"\x1B" "E\x1B&l26A", "PCL 5"},
        {"( HP-PCL XL;2;0;\n", "PCL XL"},
        {"\x04%!PS-Adobe-3.0\r\n%Produced by x\r\n%%Title: Report\r\n%%EndComments\r\n%%Pages: 9\r\n", "PostScript title=Report"},
        {"%!PS\n%%Pages: (atend)\n%%Title: (atend)\n%%Pages: 2\n%%Title: x\n", "PostScript"},
        {"%!PS\n%%Pages: 2\n% a comment\n%%Title: late\n", "PostScript pages=2"},
        {"\r\n%PDF-1.7\n%\xC7\xEC\x8F\xA2\n", "PDF"},
        {std::string(1020, ' ') + "%PDF-1.4\n", "text"},  // past the first KiB
        {ZipEntry("[Content_Types].xml") + ZipEntry("FixedDocumentSequence.fdseq/[0].piece"), "XPS"},
        {ZipEntry("_rels/.rels") + ZipEntry("[Content_Types].xml") + ZipEntry("Documents/1/FixedDocument"), "XPS"},
        {ZipEntry("[Content_Types].xml") + ZipEntry("word/document.xml"), "unknown"},
        {"Итого:\t12\r\n\fPage 2 \xE2\x82", "text"},  // a sequence cut by the end of the bytes
        {"no line break", "unknown"},
        {"line\n\x1B[1m\n", "unknown"},
        {"line\n\xC0\xAF\n", "unknown"},
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(Describe(Sniff(bytes)), expected) << testing::PrintToString(bytes);
}

TEST(FindDataTypeMismatch, EmfSentRawAndPrinterLanguagesSentAsEmf) {
    // Contents, data type, the contents' name in the question (empty: no question).
    const std::tuple<std::string, std::wstring, std::string> cases[] = {
        {EmfHeader, L"RAW", "EMF"},
        {EmfHeader, L"raw [FF appended]", "EMF"},
        {EmfHeader, L"NT EMF 1.008", ""},
        {EmfHeader, L"RAWX", ""},
        {Uel + "@PJL ENTER LANGUAGE=POSTSCRIPT\n%!PS\n", L"NT EMF 1.008", "PostScript"},
        {Uel + "@PJL JOB\n", L"NT EMF 1.008", "PJL"},
        {"%PDF-1.7\n", L"nt emf 1.003", "PDF"},
        {ZipEntry("FixedDocumentSequence.fdseq"), L"NT EMF 1.006", "XPS"},
        {"%!PS\n", L"RAW", ""},
        {"plain\r\n", L"NT EMF 1.008", ""},
    };
    for (const auto& [bytes, dataType, name] : cases) {
        auto mismatch = FindDataTypeMismatch(dataType, Sniff(bytes));
        EXPECT_EQ(mismatch ? mismatch->ContentsName : "", name) << testing::PrintToString(dataType);
        EXPECT_EQ(mismatch ? mismatch->DataType : dataType, dataType);
    }
}
