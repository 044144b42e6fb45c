// Platform-neutral part of the intake: path functions, log escaping, file-name checks and
// the shadow-file decoding. Runs on the host (sanitizers) and under Wine.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <tuple>

#include "FileProcessor/JobRecords.h"
#include "FileProcessor/ShadowFileDetails.h"
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


// The fields ReadShadowFileDetails leaves unknown, by short names in declaration order.
std::string UnknownFields(const ShadowFileDetails& d) {
    DevModeDetails m = d.DevMode.value_or(DevModeDetails{});
    bool noDevMode = !d.DevMode;
    std::pair<bool, const char*> fields[] = {
        {!d.NotifyName, "notify"}, {!d.UserName, "user"}, {!d.DocumentName, "document"}, {!d.Port, "port"},
        {!d.PrinterName, "printer"}, {!d.DriverName, "driver"}, {!d.PrintProcessor, "processor"}, {!d.DataType, "type"},
        {!d.Parameters, "parameters"}, {!d.ComputerName, "computer"}, {!d.Submitted, "submitted"}, {!d.Pages, "pages"},
        {!d.Size, "size"}, {!d.SpoolFileSize, "spool"}, {noDevMode, "devmode"}, {!noDevMode && !m.Orientation, "orientation"},
        {!noDevMode && !m.PaperSize, "paper"}, {!noDevMode && !m.FormName, "form"}, {!noDevMode && !m.Copies, "copies"},
        {!noDevMode && !m.Colour, "colour"}, {!noDevMode && !m.Duplex, "duplex"}, {!noDevMode && !m.Collate, "collate"}};
    std::string names;
    for (auto [unknown, name] : fields)
        if (unknown) names.append(names.empty() ? "" : " ").append(name);
    return names;
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

    // Its DEVMODE holds the form name "Letter" and simplex, but dmFields (0x0180EF53) marks
    // neither DM_FORMNAME nor DM_DUPLEX as set.
    ShadowFileDetails d = ReadShadowFileDetails(file);
    EXPECT_EQ(UnknownFields(d), "port parameters form duplex");
    EXPECT_EQ(std::tuple(d.NotifyName, d.UserName, d.DocumentName, d.PrintProcessor, d.ComputerName),
              std::tuple(u"SYSTEM", u"SYSTEM", u"Untitled", u"winprint", u"\\\\P-B0X"));
    EXPECT_EQ(std::tuple(d.PrinterName, d.DriverName, d.DataType),
              std::tuple(job->PrinterName, job->PrinterDriverName, job->DataFormat));
    EXPECT_EQ(d.Submitted, (ShadowTime{2020, 1, 21, 11, 50, 52, 748}));
    EXPECT_EQ(std::tuple(d.Pages, d.Size, d.SpoolFileSize), std::tuple(1u, 65536u, 22844u));
    DevModeDetails m = d.DevMode.value_or(DevModeDetails{});
    EXPECT_EQ(std::tuple(m.Orientation, m.PaperSize, m.Copies, m.Colour, m.Collate),
              std::tuple(PaperOrientation::Landscape, 1, 1, ColourMode::Colour, false));
    EXPECT_STREQ(PaperSizeName(1), "Letter");
}

using Layout = ShadowFileBuilder::Layout;

ShadowFileBuilder CompleteShadow(Layout layout) {
    ShadowFileBuilder b;
    b.layout = layout;
    b.headerSize = layout == Layout::Bits32 ? 0x78 : 0xE0;
    b.optionalString = true;
    b.strings = {u"helpdesk", u"Иванов", u"Отчёт.docx", u"USB001", u"Принтер", u"Драйвер", u"winprint", u"RAW", u"-q"};
    b.computerName = u"\\\\БУХ-ПК";
    b.submitted = {2000, 2, 2, 29, 23, 59, 59, 999};  // a leap day of a leap century
    b.size = 5000, b.pages = 3, b.spoolFileSize = 4096;
    b.devMode.assign(220, 0);  // DEVMODEW: dmSize, dmFields, values, the form name "A4"
    for (auto [at, value] : {std::pair<int, std::uint16_t>{68, 220}, {72, 0x9903}, {74, 1}, {76, 1}, {78, 9}, {86, 2},
                             {92, 1}, {94, 3}, {100, 1}, {102, u'A'}, {104, u'4'}})
        ShadowFileBuilder::Put16(b.devMode, at, value);
    return b;
}

TEST(ShadowFileDetails, CompleteFileInBothLayouts) {
    for (Layout layout : {Layout::Bits32, Layout::Bits64}) {
        ShadowFileDetails d = ReadShadowFileDetails(CompleteShadow(layout).Build());
        EXPECT_EQ(UnknownFields(d), "");
        EXPECT_EQ(std::tuple(d.NotifyName, d.UserName, d.DocumentName, d.Port, d.PrinterName, d.DriverName),
                  std::tuple(u"helpdesk", u"Иванов", u"Отчёт.docx", u"USB001", u"Принтер", u"Драйвер"));
        EXPECT_EQ(std::tuple(d.PrintProcessor, d.DataType, d.Parameters, d.ComputerName),
                  std::tuple(u"winprint", u"RAW", u"-q", u"\\\\БУХ-ПК"));
        EXPECT_EQ(d.Submitted, (ShadowTime{2000, 2, 29, 23, 59, 59, 999}));
        EXPECT_EQ(std::tuple(d.Size, d.Pages, d.SpoolFileSize), std::tuple(5000u, 3u, 4096u));
        DevModeDetails m = d.DevMode.value_or(DevModeDetails{});
        EXPECT_EQ(std::tuple(m.Orientation, m.PaperSize, m.FormName, m.Copies, m.Colour, m.Duplex, m.Collate),
                  std::tuple(PaperOrientation::Portrait, 9, u"A4", 2, ColourMode::Monochrome, DuplexMode::ShortEdge, true));
    }
}

TEST(ShadowFileDetails, UnsoundFieldsAreUnknownAndNoOtherOne) {
    using B = ShadowFileBuilder;
    struct Case {
        const char* unknown;
        Bytes (*make)(B);
    };
    const Case cases[] = {
        {"document port parameters computer submitted pages devmode", [](B b) {  // absent
             b.optionalString = false, b.computerName.clear(), b.devMode.clear(), b.submitted = {}, b.pages = 0;
             return b.strings = B::Job(u"", u"p", u"drv", u"RAW"), b.Build();  // an empty document name too
         }},
        {"user document devmode", [](B b) {  // offsets past the end, or over 4 GiB
             Bytes f = b.Build();
             b.PutOffset(f, 1, static_cast<std::uint32_t>(f.size()));
             b.PutOffset(f, B::DevModeField, 0xFFFFFFF0u);
             if (b.layout == Layout::Bits64) f[24 + 2 * 8 + 4] = 1; else b.PutOffset(f, 2, 0xFFFFFFFFu);
             return f;
         }},
        {"parameters computer", [](B b) { return b.computerName.clear(), b.terminateLast = false, b.Build(); }},
        {"document", [](B b) { return b.strings[2] = std::u16string(ShadowDetailsMaxStringUnits + 1, u'x'), b.Build(); }},
        {"devmode", [](B b) { return B::Put16(b.devMode, 68, 75), b.Build(); }},  // dmSize short of dmFields
        {"devmode", [](B b) { return B::Put16(b.devMode, 70, 0xFFFF), b.Build(); }},  // dmDriverExtra past the end
        {"form", [](B b) { return b.devMode.resize(150), B::Put16(b.devMode, 68, 150), b.Build(); }},  // older DEVMODE
        {"submitted orientation copies colour duplex", [](B b) {  // bad values, DM_COLOR clear
             b.submitted[1] = 13, B::Put16(b.devMode, 72, 0x9103), B::Put16(b.devMode, 76, 3), B::Put16(b.devMode, 86, 0);
             return B::Put16(b.devMode, 94, 4), b.Build();
         }},
        {"computer spool", [](B b) {  // a header too short to hold them, or past the end
             Bytes f = b.Build();
             return B::Put32(f, 4, b.layout == Layout::Bits32 ? 0x70 : 0xFFFFFFFF), f;
         }},
    };
    for (Layout layout : {Layout::Bits32, Layout::Bits64})
        for (const Case& c : cases)
            EXPECT_EQ(UnknownFields(ReadShadowFileDetails(c.make(CompleteShadow(layout)))), c.unknown)
                << (layout == Layout::Bits32 ? "32-bit " : "64-bit ") << c.unknown;
}
