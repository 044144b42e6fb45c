// Platform-neutral part of the intake: path functions, log escaping, file-name checks and
// the shadow-file decoding. Runs on the host (sanitizers) and under Wine.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "FileProcessor/JobRecords.h"
#include "FileProcessor/ShadowFileParser.h"
#include "ShadowFileBuilder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::u16string> SplitBytes(const Bytes& bytes) { return SplitShadowStrings(bytes); }

Bytes Utf16(const std::u16string& text, bool terminated) {
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    if (terminated) bytes.insert(bytes.end(), 2, 0);
    return bytes;
}

// What the reader does with a whole file: header block, then up to 8192 bytes from the
// offset it names.
std::optional<ShadowJobStrings> DecodeImage(const Bytes& file, std::size_t* stringCount = nullptr) {
    if (file.size() < ShadowHeaderSize) return std::nullopt;
    ShadowHeaderLayout layout = ParseShadowHeader(std::span(file).first(ShadowHeaderSize));
    std::size_t start = std::min<std::size_t>(layout.StringAreaOffset, file.size());
    std::span<const std::uint8_t> area =
        std::span(file).subspan(start, std::min(ShadowStringAreaSize, file.size() - start));
    if (area.size() <= 2) return std::nullopt;
    std::vector<std::u16string> strings = SplitShadowStrings(area);
    if (stringCount) *stringCount = strings.size();
    return SelectJobStrings(strings, layout);
}

}  // namespace

TEST(PathFunctions, ExtensionSearchDoesNotStopAtSeparators) {
    EXPECT_EQ(GetFileExtension(L"C:\\jobs.old\\file"), L".old\\file");
    EXPECT_EQ(GetFileExtension(L"C:\\jobs\\file"), L"");
    EXPECT_EQ(GetFileExtension(L"C:\\jobs\\00012.spl"), L".spl");
    EXPECT_EQ(GetFileExtension(L"a.b.ZIP"), L".ZIP");
    EXPECT_EQ(GetFileExtension(L"ends."), L".");
}

TEST(PathFunctions, RemoveExtensionKeepsEverythingBeforeTheLastDot) {
    EXPECT_EQ(RemoveFileExtension(L"C:\\jobs\\00012.spl"), L"C:\\jobs\\00012");
    EXPECT_EQ(RemoveFileExtension(L"C:\\jobs\\file"), L"C:\\jobs\\file");
    EXPECT_EQ(RemoveFileExtension(L"C:\\jobs.old\\file"), L"C:\\jobs");
    EXPECT_EQ(RemoveFileExtension(L""), L"");
}

TEST(PathFunctions, FileNameIsThePartAfterEitherSeparator) {
    EXPECT_EQ(GetFileNameFromPath(L"x/y/00012.spl"), L"00012.spl");
    EXPECT_EQ(GetFileNameFromPath(L"C:\\jobs\\00012.SHD"), L"00012.SHD");
    EXPECT_EQ(GetFileNameFromPath(L"x\\y/z"), L"z");
    EXPECT_EQ(GetFileNameFromPath(L"C:\\jobs\\"), L"C:\\jobs\\");
    EXPECT_EQ(GetFileNameFromPath(L"plain.spl"), L"plain.spl");
    EXPECT_EQ(GetFileNameFromPath(L""), L"");
}

TEST(PathFunctions, UpperCaseTouchesOnlyAsciiLetters) {
    EXPECT_EQ(ToUpperAscii(L".spl"), L".SPL");
    EXPECT_EQ(ToUpperAscii(L".Shd-zé"), L".SHD-Zé");
    EXPECT_EQ(ToUpperAscii(L"файл.zip"), L"файл.ZIP");
}

TEST(IntakeConstants, AreExactlyAsShownToUsersAndPrinters) {
    EXPECT_EQ(std::wstring(UnknownPrinterName), L"Unknonwn printer name");
    EXPECT_EQ(std::wstring(UnknownDriverName), L"Unknonwn driver name");
    EXPECT_EQ(std::wstring(DataFormatRaw), L"RAW");
    EXPECT_EQ(std::wstring(DataFormatXpsPass), L"XPS_PASS");
    EXPECT_EQ(std::wstring(ShadowFileExtension) + SpoolFileExtension + ArchiveFileExtension, L".SHD.SPL.ZIP");
    EXPECT_EQ(static_cast<std::uint32_t>(CannotDetectSHD), 5u);
    EXPECT_EQ(sizeof(SPLFileInfoResults), 4u);
}

TEST(IsPlainFileName, AcceptsSpoolerNamesAndRefusesDevicesStreamsAndSeparators) {
    for (const wchar_t* name : {L"00012.SPL", L"FP00012.shd", L"Отчёт.spl", L"CONSOLE.SPL", L"COM10.SPL", L".SPL",
                                L"LPT.spl"}) {
        EXPECT_TRUE(IsPlainFileName(name)) << std::wstring(name);
    }
    for (const wchar_t* name : {L"", L".", L"..", L"LPT1.SPL", L"lpt1", L"NUL.shd", L"con.spl", L"Com\u00B9.SPL",
                                L"AUX .SPL", L"a:b.SPL", L"a\\b.SPL", L"a/b.SPL", L"a?.SPL", L"a\x01.SPL",
                                L"a.SPL.", L"a.SPL "}) {
        EXPECT_FALSE(IsPlainFileName(name)) << std::wstring(name);
    }
}

TEST(ShadowHeader, NonzeroValueAtByte20SelectsThe32BitLayout) {
    ShadowFileBuilder builder;
    builder.layout = ShadowFileBuilder::Layout::Bits32;
    builder.headerSize = 0x78;
    builder.strings = ShadowFileBuilder::Job(u"j", u"p", u"d", u"RAW");
    Bytes file = builder.Build();
    ShadowHeaderLayout layout = ParseShadowHeader(std::span(file).first(ShadowHeaderSize));
    EXPECT_EQ(layout.StringAreaOffset, 0x78u);
    EXPECT_FALSE(layout.HasOptionalString);

    file[32] = 1;  // the optional string's offset field in this layout
    EXPECT_TRUE(ParseShadowHeader(std::span(file).first(ShadowHeaderSize)).HasOptionalString);
    file[32] = 0;
    file[48] = 1;  // the 64-bit layout's field means nothing here
    EXPECT_FALSE(ParseShadowHeader(std::span(file).first(ShadowHeaderSize)).HasOptionalString);
}

TEST(ShadowHeader, ZeroAtByte20SelectsThe64BitLayoutAndItsLowHalf) {
    Bytes header(ShadowHeaderSize, 0);
    header[24] = 0x38;
    header[25] = 0x07;
    header[28] = 0xFF;  // high half of the 64-bit offset: not used
    header[32] = 1;     // the 32-bit layout's optional field means nothing here
    ShadowHeaderLayout layout = ParseShadowHeader(header);
    EXPECT_EQ(layout.StringAreaOffset, 0x738u);
    EXPECT_FALSE(layout.HasOptionalString);
    header[51] = 0x80;  // only the low half of the 64-bit field is tested...
    EXPECT_TRUE(ParseShadowHeader(header).HasOptionalString);
    header[51] = 0;
    header[52] = 1;  // ...the high half is not
    EXPECT_FALSE(ParseShadowHeader(header).HasOptionalString);
}

TEST(ShadowHeader, AllZeroOffsetsPointAtTheStartOfTheFileAndShortHeadersReadAsZero) {
    EXPECT_EQ(ParseShadowHeader(Bytes(ShadowHeaderSize, 0)).StringAreaOffset, 0u);
    EXPECT_EQ(ParseShadowHeader(Bytes(10, 0xFF)).StringAreaOffset, 0u);
    Bytes header(ShadowHeaderSize, 0);
    header[20] = 0xFF, header[21] = 0xFF, header[22] = 0xFF, header[23] = 0xFF;
    EXPECT_EQ(ParseShadowHeader(header).StringAreaOffset, 0xFFFFFFFFu) << "unsigned, never negative";
}

TEST(SplitShadowStrings, TerminatorsPaddingAndUnterminatedEnd) {
    EXPECT_EQ(SplitBytes(Utf16(u"ab", true)), (std::vector<std::u16string>{u"ab"}));
    EXPECT_EQ(SplitBytes(Utf16(u"ab", false)), (std::vector<std::u16string>{u"ab"}));
    EXPECT_EQ(SplitBytes(Bytes{0, 0}), (std::vector<std::u16string>{u""}));
    Bytes padded = Utf16(u"a", true);
    padded.insert(padded.end(), 6, 0);
    EXPECT_EQ(SplitBytes(padded), (std::vector<std::u16string>{u"a", u"", u"", u""}));
    EXPECT_TRUE(SplitBytes(Bytes{}).empty());
}

TEST(SplitShadowStrings, OddLastByteBelongsToNoString) {
    Bytes odd = Utf16(u"ab", false);
    odd.push_back('c');
    EXPECT_EQ(SplitBytes(odd), (std::vector<std::u16string>{u"ab"}));
    EXPECT_TRUE(SplitBytes(Bytes{'x'}).empty());
    Bytes afterTerminator = Utf16(u"a", true);
    afterTerminator.push_back('z');
    EXPECT_EQ(SplitBytes(afterTerminator), (std::vector<std::u16string>{u"a"}));
}

TEST(SplitShadowStrings, KeepsCyrillicAndSurrogatePairsAsCodeUnits) {
    EXPECT_EQ(SplitBytes(Utf16(u"Принтер\U0001F5A8", true)), (std::vector<std::u16string>{u"Принтер\U0001F5A8"}));
}

TEST(SelectJobStrings, SevenStringsFillAllFieldsAndSixAreTooFew) {
    std::vector<std::u16string> strings = ShadowFileBuilder::Job(u"Doc", u"Printer", u"Driver", u"RAW");
    auto job = SelectJobStrings(strings, {});
    ASSERT_TRUE(job);
    EXPECT_EQ(job->JobName, u"Doc");
    EXPECT_EQ(job->PrinterName, u"Printer");
    EXPECT_EQ(job->PrinterDriverName, u"Driver");
    EXPECT_EQ(job->DataFormat, u"RAW");
    strings.pop_back();
    EXPECT_FALSE(SelectJobStrings(strings, {}));
    EXPECT_EQ(RequiredShadowStringCount({}), 7u);
}

TEST(SelectJobStrings, OptionalFourthStringShiftsTheLaterFieldsAndNeedsAnEighthString) {
    ShadowHeaderLayout withOptional{0, true};
    std::vector<std::u16string> strings = {u"u", u"n", u"Doc", u"Port", u"Printer", u"Driver", u"proc", u"XPS_PASS"};
    auto job = SelectJobStrings(strings, withOptional);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->JobName, u"Doc");
    EXPECT_EQ(job->PrinterName, u"Printer");
    EXPECT_EQ(job->PrinterDriverName, u"Driver");
    EXPECT_EQ(job->DataFormat, u"XPS_PASS");
    strings.pop_back();
    EXPECT_FALSE(SelectJobStrings(strings, withOptional));
    EXPECT_EQ(RequiredShadowStringCount(withOptional), 8u);
}

TEST(SelectJobStrings, ValuesAreCopiedVerbatimEvenWhenEmpty) {
    auto job = SelectJobStrings(ShadowFileBuilder::Job(u" Doc ", u"", u"drv", u""), {});
    ASSERT_TRUE(job);
    EXPECT_EQ(job->JobName, u" Doc ");
    EXPECT_EQ(job->PrinterName, u"");
    EXPECT_EQ(job->DataFormat, u"");
}

TEST(ShadowFileImage, BothLayoutsWithAndWithoutTheOptionalString) {
    struct Case {
        ShadowFileBuilder::Layout layout;
        std::uint32_t headerSize;
        bool optional;
    };
    for (Case c : {Case{ShadowFileBuilder::Layout::Bits32, 0x78, false}, Case{ShadowFileBuilder::Layout::Bits32, 0x90, true},
                   Case{ShadowFileBuilder::Layout::Bits64, 0xE0, false}, Case{ShadowFileBuilder::Layout::Bits64, 0x110, true}}) {
        ShadowFileBuilder builder;
        builder.layout = c.layout;
        builder.headerSize = c.headerSize;
        builder.optionalString = c.optional;
        builder.strings = {u"Пользователь", u"Пользователь", u"Отчёт.docx"};
        if (c.optional) builder.strings.push_back(u"USB001");
        for (const char16_t* s : {u"Принтер отдела", u"Драйвер PCL 6", u"winprint", u"RAW", u"\\\\HOST"})
            builder.strings.push_back(s);
        std::size_t count = 0;
        auto job = DecodeImage(builder.Build(), &count);
        ASSERT_TRUE(job) << c.headerSize;
        EXPECT_EQ(count, c.optional ? 9u : 8u);
        EXPECT_EQ(job->JobName, u"Отчёт.docx");
        EXPECT_EQ(job->PrinterName, u"Принтер отдела");
        EXPECT_EQ(job->PrinterDriverName, u"Драйвер PCL 6");
        EXPECT_EQ(job->DataFormat, u"RAW");
    }
}

TEST(ShadowFileImage, StringAreaIsCutAt8192BytesAndTheLastStringEndsThere) {
    ShadowFileBuilder builder;
    builder.strings = ShadowFileBuilder::Job(u"Doc", u"Printer", u"Driver", u"RAW");
    builder.strings.push_back(std::u16string(5000, u'x'));  // runs past the 8192-byte area
    builder.terminateLast = false;
    Bytes file = builder.Build();
    std::size_t areaStart = builder.headerSize;
    std::span<const std::uint8_t> area = std::span(file).subspan(areaStart, ShadowStringAreaSize);
    std::vector<std::u16string> strings = SplitShadowStrings(area);
    ASSERT_EQ(strings.size(), 8u);
    std::size_t before = 0;
    for (std::size_t i = 0; i < 7; ++i) before += 2 * (strings[i].size() + 1);
    EXPECT_EQ(strings[7].size(), (ShadowStringAreaSize - before) / 2);
    EXPECT_TRUE(DecodeImage(file));
}

TEST(ShadowFileImage, RealWindows10ShadowFile) {
    std::ifstream in(TAVREL_TEST_DATA_DIR "/shd/win10-x64-00002.SHD", std::ios::binary);
    ASSERT_TRUE(in) << "test data missing";
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(file.size(), 2080u);
    ShadowHeaderLayout layout = ParseShadowHeader(std::span(file).first(ShadowHeaderSize));
    EXPECT_EQ(layout.StringAreaOffset, 0x738u);
    EXPECT_FALSE(layout.HasOptionalString);
    std::size_t count = 0;
    auto job = DecodeImage(file, &count);
    ASSERT_TRUE(job);
    EXPECT_EQ(count, 9u);
    EXPECT_EQ(job->JobName, u"Untitled");
    EXPECT_EQ(job->PrinterName, u"MS Publisher Color Printer");
    EXPECT_EQ(job->PrinterDriverName, u"MS Publisher Color Printer");
    EXPECT_EQ(job->DataFormat, u"NT EMF 1.008");
}
