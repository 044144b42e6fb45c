// Spooler-file intake under Windows: the shadow-file reader with its log lines, input
// resolution, the current file, archives and their temporary files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "FileProcessor/FileProcessor.h"
#include "ShadowFileBuilder.h"
#include "logging/logog.h"
#include "textutil.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// Receives every published record as "level: text", the form the assertions use.
class RecordingTarget : public logog::Target {
public:
    explicit RecordingTarget(std::vector<std::string>& lines) : m_Lines(lines) {}
    int Receive(logog::Topic& topic) override {
        m_Lines.push_back(std::string(logog::ErrorDescription(topic.Level())) + ": " + topic.Text().c_str());
        return 0;
    }
    int Output(const logog::String&) override { return 0; }

private:
    std::vector<std::string>& m_Lines;
};

std::string U8(const std::wstring& text) { return WideToUtf8(text); }

std::string ErrorText(DWORD code) { return GetLastErrorText(code); }

void WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << U8(path);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

// A host path (Wine maps the host's root to drive Z:).
std::wstring HostPath(const std::string& path) {
    std::wstring wide = L"Z:" + MultiByteToWideString(path, CP_UTF8);
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// Each test gets its own folder and a log recorder that sees every level.
class Intake : public ::testing::Test {
protected:
    void SetUp() override {
        logog::InitializeFramework();
        logog::SetDefaultLevel(logog::LOGOG_LEVEL_ALL);
        new RecordingTarget(lines);  // owned and deleted by the framework
        folder = GetTempDirectory() + L"intake-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++s_Counter);
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        folder += L"\\";
    }
    void TearDown() override {
        RemoveTree(L"\\\\?\\" + folder.substr(0, folder.size() - 1));
        logog::ShutdownFramework();
    }

    std::wstring WriteShadow(const std::wstring& name, const ShadowFileBuilder& builder) {
        std::wstring path = folder + name;
        WriteBytes(path, builder.Build());
        return path;
    }

    std::wstring CopySample(const std::wstring& name) {
        std::wstring path = folder + name;
        EXPECT_TRUE(CopyFileW(HostPath(TAVREL_TEST_DATA_DIR "/shd/win10-x64-00002.SHD").c_str(), path.c_str(), FALSE));
        return path;
    }

    std::vector<std::string> lines;
    std::wstring folder;
    static inline int s_Counter = 0;
};

ShadowFileBuilder JobShadow(const std::u16string& job = u"Doc", const std::u16string& printer = u"Printer",
                            const std::u16string& driver = u"Driver", const std::u16string& dataFormat = u"RAW") {
    ShadowFileBuilder builder;
    builder.strings = ShadowFileBuilder::Job(job, printer, driver, dataFormat);
    return builder;
}

JobInfo Job(const wchar_t* job, const wchar_t* printer, const wchar_t* driver, const wchar_t* dataFormat) {
    JobInfo info;
    info.JobName = job;
    info.PrinterName = printer;
    info.PrinterDriverName = driver;
    info.DataFormat = dataFormat;
    return info;
}

}  // namespace

// ---- Shadow-file reader ----

using ShadowReader = Intake;

TEST_F(ShadowReader, RealWindows10ShadowFile) {
    std::wstring path = CopySample(L"00002.SHD");
    JobInfo job = ReadJobInfoFromSHD(path);
    EXPECT_EQ(job, Job(L"Untitled", L"MS Publisher Color Printer", L"MS Publisher Color Printer", L"NT EMF 1.008"));
    EXPECT_THAT(lines, ElementsAre("debug: ReadJobInfoFromSHD_ALLWIN() buffer[8192], read bytes [232], read 9 strings "
                                   "from file: " + U8(path),
                                   "debug: ReadJobInfoFromSHD_ALLWIN(" + U8(path) +
                                       "): PrinterName[MS Publisher Color Printer] PrinterDriverName[MS Publisher "
                                       "Color Printer] JobName[Untitled] DataFormat[NT EMF 1.008]"));
}

TEST_F(ShadowReader, ThirtyTwoBitLayoutsWithAndWithoutTheOptionalString) {
    for (std::uint32_t headerSize : {0x78u, 0x90u}) {
        for (bool optional : {false, true}) {
            ShadowFileBuilder builder = JobShadow(u"Отчёт", u"Принтер", u"Драйвер", u"XPS_PASS");
            builder.layout = ShadowFileBuilder::Layout::Bits32;
            builder.headerSize = headerSize;
            builder.optionalString = optional;
            if (optional) builder.strings.insert(builder.strings.begin() + 3, u"USB001");
            JobInfo job = ReadJobInfoFromSHD(WriteShadow(L"a.SHD", builder));
            EXPECT_EQ(job, Job(L"Отчёт", L"Принтер", L"Драйвер", L"XPS_PASS")) << headerSize << optional;
        }
    }
}

TEST_F(ShadowReader, SixtyFourBitLayoutWithTheOptionalStringAndCyrillicInTheLog) {
    ShadowFileBuilder builder = JobShadow(u"Отчёт", u"Принтер", u"Драйвер", u"RAW");
    builder.optionalString = true;
    builder.strings.insert(builder.strings.begin() + 3, u"USB001");
    std::wstring path = WriteShadow(L"Задание.SHD", builder);
    EXPECT_EQ(ReadJobInfoFromSHD(path), Job(L"Отчёт", L"Принтер", L"Драйвер", L"RAW"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "debug: ReadJobInfoFromSHD_ALLWIN(" + U8(path) +
                            "): PrinterName[\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBD\xD1\x82\xD0\xB5\xD1\x80] "
                            "PrinterDriverName[Драйвер] JobName[Отчёт] DataFormat[RAW]");
}

TEST_F(ShadowReader, TooFewStringsGiveTheCountLineAndNothingElse) {
    ShadowFileBuilder six = JobShadow();
    six.strings.pop_back();
    std::wstring path = WriteShadow(L"six.SHD", six);
    lines.clear();
    EXPECT_EQ(ReadJobInfoFromSHD(path), JobInfo{});
    EXPECT_THAT(lines, ElementsAre(HasSubstr("read 6 strings"),
                                   "info: Not enough data(expect 7 strings, read 6) in SHD-file \"" + U8(path) + "\""));

    ShadowFileBuilder optional = JobShadow();
    optional.optionalString = true;  // seven strings, but the eighth is needed now
    path = WriteShadow(L"seven.SHD", optional);
    lines.clear();
    EXPECT_EQ(ReadJobInfoFromSHD(path), JobInfo{});
    EXPECT_EQ(lines.back(), "info: Not enough data(expect 8 strings, read 7) in SHD-file \"" + U8(path) + "\"");
}

TEST_F(ShadowReader, ZeroPaddingCountsAsEmptyStringsButChangesNoField) {
    ShadowFileBuilder builder = JobShadow();
    builder.paddingBytes = 20;
    std::wstring path = WriteShadow(L"padded.SHD", builder);
    EXPECT_EQ(ReadJobInfoFromSHD(path), Job(L"Doc", L"Printer", L"Driver", L"RAW"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "debug: ReadJobInfoFromSHD_ALLWIN() buffer[8192], read bytes [" +
                            std::to_string(builder.Build().size() - builder.headerSize) +
                            "], read 17 strings from file: " + U8(path));
}

TEST_F(ShadowReader, EmptyDataFormatAndEmptyPrinterNameAreReturnedAsRead) {
    EXPECT_EQ(ReadJobInfoFromSHD(WriteShadow(L"a.SHD", JobShadow(u"Doc", u"P", u"D", u""))), Job(L"Doc", L"P", L"D", L""));
    EXPECT_EQ(ReadJobInfoFromSHD(WriteShadow(L"b.SHD", JobShadow(u"Doc", u"", u"D", u"RAW"))), Job(L"Doc", L"", L"D", L"RAW"));
}

TEST_F(ShadowReader, FullStringAreaWithoutTerminatorEndsAt8192Bytes) {
    ShadowFileBuilder builder = JobShadow();
    builder.strings.push_back(std::u16string(6000, u'x'));
    builder.terminateLast = false;
    std::wstring path = WriteShadow(L"long.SHD", builder);
    EXPECT_EQ(ReadJobInfoFromSHD(path), Job(L"Doc", L"Printer", L"Driver", L"RAW"));
    EXPECT_EQ(lines[0], "debug: ReadJobInfoFromSHD_ALLWIN() buffer[8192], read bytes [8192], read 8 strings from file: " +
                            U8(path));
}

TEST_F(ShadowReader, OddByteCountLeavesTheLastByteOut) {
    ShadowFileBuilder builder = JobShadow();
    std::vector<std::uint8_t> bytes = builder.Build();
    bytes.push_back('Z');
    std::wstring path = folder + L"odd.SHD";
    WriteBytes(path, bytes);
    EXPECT_EQ(ReadJobInfoFromSHD(path), Job(L"Doc", L"Printer", L"Driver", L"RAW"));
    EXPECT_THAT(lines[0], HasSubstr("read bytes [" + std::to_string(bytes.size() - builder.headerSize) +
                                    "], read 7 strings"));
}

TEST_F(ShadowReader, ShortFileGivesTheHeaderLineWithItsRealLength) {
    std::wstring path = folder + L"short.SHD";
    WriteBytes(path, std::vector<std::uint8_t>(100, 1));
    EXPECT_EQ(ReadJobInfoFromSHD(path), JobInfo{});
    EXPECT_THAT(lines, ElementsAre("error: Can't read SHADOW_FILE_HEADER_ALLWIN64 from file \"" + U8(path) +
                                   "\"! Expect 196 bytes, read 100 bytes, error: " + ErrorText(0)));
}

TEST_F(ShadowReader, MissingFileGivesTheOpenLine) {
    std::wstring path = folder + L"absent.SHD";
    EXPECT_EQ(ReadJobInfoFromSHD(path), JobInfo{});
    EXPECT_THAT(lines, ElementsAre("error: Can't open file \"" + U8(path) + "\": " + ErrorText(ERROR_FILE_NOT_FOUND)));
}

TEST_F(ShadowReader, StartOffsetAtOrPastTheEndReadsNothing) {
    // 0xFFFFFFFF is the value of INVALID_SET_FILE_POINTER, and 0x80000000 would be negative
    // as a signed distance: both are valid positions past the end of the file.
    std::vector<std::uint8_t> base = JobShadow().Build();
    for (std::uint32_t offset : {static_cast<std::uint32_t>(base.size()), 0x10000u, 0x80000000u, 0xFFFFFFFFu}) {
        std::vector<std::uint8_t> bytes = base;
        for (int i = 0; i < 4; ++i) bytes[24 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
        std::wstring path = folder + L"past.SHD";
        WriteBytes(path, bytes);
        lines.clear();
        EXPECT_EQ(ReadJobInfoFromSHD(path), JobInfo{});
        EXPECT_THAT(lines, ElementsAre("error: Can't read strings data from SHD-file \"" + U8(path) +
                                       "\"! Buffer 8192 bytes, read 0 bytes, error: " + ErrorText(0)))
            << offset;
    }
}

TEST_F(ShadowReader, TwoBytesOfStringAreaAreNotEnough) {
    std::vector<std::uint8_t> bytes = JobShadow().Build();
    std::uint32_t offset = static_cast<std::uint32_t>(bytes.size() - 2);
    for (int i = 0; i < 4; ++i) bytes[24 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
    std::wstring path = folder + L"two.SHD";
    WriteBytes(path, bytes);
    EXPECT_EQ(ReadJobInfoFromSHD(path), JobInfo{});
    EXPECT_THAT(lines, ElementsAre(HasSubstr("Buffer 8192 bytes, read 2 bytes")));
}

TEST_F(ShadowReader, ZeroOffsetsSplitTheFileFromItsFirstByte) {
    // The header's own bytes become strings: signature 0x5123 and header size 0xE0 are each
    // one string, then zeros; nowhere near a printer name at string 3.
    ShadowFileBuilder builder = JobShadow();
    std::vector<std::uint8_t> bytes = builder.Build();
    std::fill(bytes.begin() + 20, bytes.begin() + 28, 0);
    std::wstring path = folder + L"zero.SHD";
    WriteBytes(path, bytes);
    JobInfo job = ReadJobInfoFromSHD(path);
    EXPECT_EQ(job.JobName, L"") << "string 2 is the empty string between header fields";
    EXPECT_THAT(lines[0], HasSubstr("read bytes [" + std::to_string(bytes.size()) + "]"));
}

TEST_F(ShadowReader, ControlCharactersInNamesAreKeptButCannotForgeLogLines) {
    std::wstring path =
        WriteShadow(L"evil.SHD", JobShadow(u"Doc\r\n01/01/24 00:00:00: x.cpp(1): error: forged", u"P\nQ", u"D", u"RAW"));
    JobInfo job = ReadJobInfoFromSHD(path);
    EXPECT_EQ(job.JobName, L"Doc\r\n01/01/24 00:00:00: x.cpp(1): error: forged");
    EXPECT_EQ(job.PrinterName, L"P\nQ");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "debug: ReadJobInfoFromSHD_ALLWIN(" + U8(path) +
                            "): PrinterName[P\\x0AQ] PrinterDriverName[D] JobName[Doc\\x0D\\x0A01/01/24 00:00:00: "
                            "x.cpp(1): error: forged] DataFormat[RAW]");
}

TEST_F(ShadowReader, PathLongerThan260CharactersIsNeitherCutNorRefused) {
    std::wstring deep = folder.substr(0, folder.size() - 1);
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
    }
    std::wstring path = deep + L"\\00012.SHD";
    std::vector<std::uint8_t> bytes = JobShadow().Build();
    HANDLE file = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(ReadJobInfoFromSHD(path), Job(L"Doc", L"Printer", L"Driver", L"RAW"));
    EXPECT_THAT(lines[0], HasSubstr(U8(path)));
}
