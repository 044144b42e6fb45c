// The ZIP reader's interface under Wine: archives made by real archivers are opened by file
// name, described, searched and extracted to files, with their folders, attributes and
// times; damaged archives fail with their code and leave no file behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zlib.h>

#include "ZipFixtures.h"
#include "zip/unzip_win.h"

namespace {

std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return wide;
}

std::wstring Fixture(const std::string& name) { return Widen(ZipFixture(name)); }

std::u16string NameOf(const ZipMemberInfo& entry) { return reinterpret_cast<const char16_t*>(entry.Name); }

// Paths in these tests are absolute, so the long form is the prefix and backslashes only.
std::wstring Long(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return L"\\\\?\\" + path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::uint8_t> ReadBack(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    std::uint8_t buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.insert(bytes.end(), buffer, buffer + read);
    CloseHandle(file);
    return bytes;
}

void WriteText(const std::wstring& path, const char* text) {
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

void DeleteTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Long(path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(Long(child).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) DeleteTree(child);
            else DeleteFileW(Long(child).c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(Long(path).c_str());
}

std::uint64_t Ticks(const FILETIME& time) { return std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime; }

std::uint64_t UnixTicks(std::int64_t seconds) {
    return static_cast<std::uint64_t>(seconds * 10000000 + 116444736000000000LL);
}

// An archive handle that is closed at the end of the test.
class OpenArchive {
public:
    explicit OpenArchive(const std::string& name, const char* password = nullptr)
        : m_Zip(OpenZip(Fixture(name).c_str(), password)) {}
    ~OpenArchive() {
        if (m_Zip) CloseZipHandle(m_Zip);
    }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;
    ZipHandle get() const { return m_Zip; }

private:
    ZipHandle m_Zip;
};

// Each test gets a fresh folder of its own in the temporary folder.
class ZipFiles : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::wstring(temp) + L"tavrel_zip_" + std::to_wstring(GetCurrentProcessId()) + L"_" + Widen(test->name());
        DeleteTree(folder);
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    void TearDown() override { DeleteTree(folder); }

    std::wstring folder;
};

}  // namespace

// 0x200 for what is no readable single-disk archive, 0x700 for damaged Zip64 end records.
TEST(ZipApi, ArchivesThatCannotBeReadOpenAsNullWithTheirCode) {
    const std::pair<const char*, ZipStatus> cases[] = {
        {"no_such_file.zip", ZR_NOFILE},       {"not_a_zip.zip", ZR_NOFILE},
        {"multi_disk.zip", ZR_NOFILE},         {"truncated_half.zip", ZR_NOFILE},
        {"comment_past_end.zip", ZR_NOFILE},   {"zip64_locator_wrong_signature.zip", ZR_CORRUPT},
    };
    for (const auto& [name, code] : cases) {
        EXPECT_EQ(OpenZip(Fixture(name).c_str(), nullptr), nullptr) << name;
        EXPECT_EQ(GetLastZipResult(), code) << name;
    }
    EXPECT_EQ(OpenZip(nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastZipResult(), ZR_ARGS);
}

TEST(ZipApi, NullHandleAndIndexesOutOfRangeAreFaultyArguments) {
    ZipMemberInfo entry;
    int index = 0;
    EXPECT_EQ(GetZipItem(nullptr, 0, &entry), ZR_ARGS);
    EXPECT_EQ(FindZipItem(nullptr, L"a", true, &index, &entry), ZR_ARGS);
    EXPECT_EQ(UnzipItem(nullptr, 0, L"x"), ZR_ARGS);
    EXPECT_EQ(CloseZipHandle(nullptr), ZR_ARGS);
    EXPECT_EQ(GetLastZipResult(), ZR_ARGS);

    OpenArchive archive("case.zip");
    ASSERT_NE(archive.get(), nullptr);
    EXPECT_EQ(GetLastZipResult(), ZR_OK);
    memset(&entry, 0xCC, sizeof entry);
    EXPECT_EQ(GetZipItem(archive.get(), 3, &entry), ZR_ARGS);
    EXPECT_EQ(entry.Index, 0);
    EXPECT_EQ(entry.Name[0], L'\0');
    EXPECT_EQ(GetZipItem(archive.get(), -2, &entry), ZR_ARGS);
    EXPECT_EQ(UnzipItem(archive.get(), 3, L"x"), ZR_ARGS);
    EXPECT_EQ(UnzipItem(archive.get(), -1, L"x"), ZR_ARGS);
}

TEST(ZipApi, IndexMinusOneCountsTheMembers) {
    OpenArchive archive("case.zip");
    ZipMemberInfo entry;
    memset(&entry, 0xCC, sizeof entry);
    ASSERT_EQ(GetZipItem(archive.get(), -1, &entry), ZR_OK);
    EXPECT_EQ(entry.Index, 3);
    EXPECT_EQ(entry.Name[0], L'\0');
    EXPECT_EQ(entry.Attributes, 0u);
    EXPECT_EQ(entry.CompressedSize, 0);
    EXPECT_EQ(entry.UncompressedSize, 0);
    EXPECT_EQ(Ticks(entry.WriteTime) | Ticks(entry.AccessTime) | Ticks(entry.CreationTime), 0u);
}

TEST(ZipApi, FindIgnoresTheCaseOfAsciiLetters) {
    OpenArchive archive("case.zip");
    ZipMemberInfo entry;
    int index = 0;
    ASSERT_EQ(FindZipItem(archive.get(), L"jobs/b.shd", true, &index, &entry), ZR_OK);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(entry.Index, 1);
    EXPECT_EQ(std::wstring(entry.Name), L"Jobs/B.SHD");
    EXPECT_EQ(entry.UncompressedSize, 100);

    EXPECT_EQ(FindZipItem(archive.get(), L"jobs/b.shd", false, &index, &entry), ZR_NOTFOUND);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(entry.Index, -1);
    EXPECT_EQ(GetLastZipResult(), ZR_NOTFOUND);
    EXPECT_EQ(FindZipItem(archive.get(), std::wstring(256, L'n').c_str(), true, &index, &entry), ZR_NOTFOUND);

    OpenArchive utf8("python_deflated.zip");
    ASSERT_EQ(FindZipItem(utf8.get(), L"日本/データ.BIN", true, &index, &entry), ZR_OK);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(entry.UncompressedSize, 70000);
}

TEST_F(ZipFiles, EveryMemberOfRealArchivesExtractsToItsOriginal) {
    for (const auto& name : kRealArchives) {
        SCOPED_TRACE(name);
        OpenArchive archive(name);
        ASSERT_NE(archive.get(), nullptr);
        ZipMemberInfo summary;
        ASSERT_EQ(GetZipItem(archive.get(), -1, &summary), ZR_OK);
        for (int i = 0; i < summary.Index; ++i) {
            ZipMemberInfo entry;
            ASSERT_EQ(GetZipItem(archive.get(), i, &entry), ZR_OK) << i;
            // Nested folders that do not exist yet; the member's own folders are not used.
            const std::wstring target = folder + L"\\" + Widen(name) + L"\\" + std::to_wstring(i) + L"/member.out";
            ASSERT_EQ(UnzipItem(archive.get(), i, target.c_str()), ZR_OK) << i;
            if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
                EXPECT_TRUE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
                EXPECT_TRUE(Exists(target)) << i;
            } else {
                EXPECT_TRUE(ReadBack(target) == OriginalOf(NameOf(entry))) << i;
            }
        }
    }
}

TEST_F(ZipFiles, EncryptedMembersExtractWithThePasswordOnly) {
    const std::wstring target = folder + L"\\big.txt";
    OpenArchive right("infozip_encrypted.zip", "secret");
    ASSERT_EQ(UnzipItem(right.get(), 1, target.c_str()), ZR_OK);
    EXPECT_TRUE(ReadBack(target) == ReadWholeFile(ZipFixture("src/big.txt")));
    for (const char* password : {"wrong", static_cast<const char*>(nullptr)}) {
        OpenArchive wrong("infozip_encrypted.zip", password);
        EXPECT_EQ(UnzipItem(wrong.get(), 1, (folder + L"\\wrong.txt").c_str()), password ? ZR_PASSWORD : ZR_ENCRYPTED);
        EXPECT_FALSE(Exists(folder + L"\\wrong.txt"));
    }
}

// A member that does not match its directory entry must never reach the caller: the
// extraction fails with its code and the partly written target is removed.
TEST_F(ZipFiles, DamagedMembersFailAndLeaveNoFileBehind) {
    struct Case {
        const char* Archive;
        int Index;
        ZipStatus Expected;
    };
    const Case cases[] = {
        {"crc_mismatch_stored.zip", 0, ZR_CORRUPT},   {"crc_mismatch_deflated.zip", 1, ZR_CORRUPT},
        {"bomb.zip", 2, ZR_CORRUPT},                  {"inflates_short.zip", 2, ZR_CORRUPT},
        {"stored_size_mismatch.zip", 0, ZR_CORRUPT},  {"data_ends_early.zip", 2, ZR_CORRUPT},
        {"readonly_corrupt.zip", 0, ZR_CORRUPT},      {"local_mismatch.zip", 1, ZR_CORRUPT},
        {"local_past_end.zip", 2, ZR_CORRUPT},        {"unsupported_method.zip", 0, ZR_METHOD},
        {"count_too_large.zip", 3, ZR_CORRUPT},       {"broken_middle_record.zip", 1, ZR_CORRUPT},
        {"name_past_directory.zip", 2, ZR_CORRUPT},   {"infozip_encrypted_stored.zip", 0, ZR_ENCRYPTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Archive);
        OpenArchive archive(c.Archive);
        ASSERT_NE(archive.get(), nullptr);
        const std::wstring target = folder + L"\\out\\" + Widen(c.Archive);
        EXPECT_EQ(UnzipItem(archive.get(), c.Index, target.c_str()), c.Expected);
        EXPECT_EQ(GetLastZipResult(), c.Expected);
        EXPECT_FALSE(Exists(target));
    }
    // A target that existed is not left half-replaced either.
    OpenArchive archive("bomb.zip");
    WriteText(folder + L"\\old.txt", "old");
    EXPECT_EQ(UnzipItem(archive.get(), 2, (folder + L"\\old.txt").c_str()), ZR_CORRUPT);
    EXPECT_FALSE(Exists(folder + L"\\old.txt"));
}

TEST_F(ZipFiles, ExtractedFilesCarryTheMemberTimes) {
    OpenArchive infozip("infozip_deflated.zip");
    const std::wstring hello = folder + L"\\hello.txt";
    ASSERT_EQ(UnzipItem(infozip.get(), 0, hello.c_str()), ZR_OK);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(hello.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(Ticks(data.ftLastWriteTime), UnixTicks(1700000000));
    EXPECT_EQ(Ticks(data.ftLastAccessTime), UnixTicks(1700000100));

    // Without "UT" all three times are the DOS time, a local time, taken with the
    // daylight-saving rules of its own date (CTest runs this with TZ=Europe/Berlin): winter
    // is UTC+1 and summer UTC+2, whatever the season today.
    OpenArchive python("times.zip");
    ZipMemberInfo entry, summer;
    ASSERT_EQ(GetZipItem(python.get(), 2, &entry), ZR_OK);
    EXPECT_EQ(Ticks(entry.WriteTime), UnixTicks(1577833138));  // 2019-12-31 23:58:58 CET
    ASSERT_EQ(GetZipItem(python.get(), 3, &summer), ZR_OK);
    EXPECT_EQ(Ticks(summer.WriteTime), UnixTicks(1625133600));  // 2021-07-01 12:00:00 CEST
    EXPECT_EQ(Ticks(entry.CreationTime), Ticks(entry.WriteTime));
    EXPECT_EQ(Ticks(entry.AccessTime), Ticks(entry.WriteTime));
    // "UT" with the modification time only keeps the DOS time for the other two.
    ZipMemberInfo writeOnly;
    ASSERT_EQ(GetZipItem(python.get(), 0, &writeOnly), ZR_OK);
    EXPECT_EQ(Ticks(writeOnly.WriteTime), UnixTicks(1600000000));
    EXPECT_NE(Ticks(writeOnly.AccessTime), Ticks(writeOnly.WriteTime));
    EXPECT_EQ(Ticks(writeOnly.AccessTime), Ticks(writeOnly.CreationTime));
    const std::wstring dosOnly = folder + L"\\dos.txt";
    ASSERT_EQ(UnzipItem(python.get(), 2, dosOnly.c_str()), ZR_OK);
    ASSERT_TRUE(GetFileAttributesExW(dosOnly.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(Ticks(data.ftLastWriteTime), Ticks(entry.WriteTime));
}

TEST_F(ZipFiles, MemberAttributesAreApplied) {
    OpenArchive archive("attributes.zip");
    const std::wstring readonly = folder + L"\\readonly.txt";
    ASSERT_EQ(UnzipItem(archive.get(), 0, readonly.c_str()), ZR_OK);
    EXPECT_EQ(GetFileAttributesW(readonly.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
              DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_TRUE(ReadBack(readonly) == std::vector<std::uint8_t>{'r'});

    const std::wstring hidden = folder + L"\\hidden.txt";
    ASSERT_EQ(UnzipItem(archive.get(), 3, hidden.c_str()), ZR_OK);
    EXPECT_TRUE(GetFileAttributesW(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    // An existing file is replaced.
    const std::wstring writable = folder + L"\\writable.txt";
    WriteText(writable, "previous content");
    ASSERT_EQ(UnzipItem(archive.get(), 1, writable.c_str()), ZR_OK);
    EXPECT_TRUE(ReadBack(writable) == std::vector<std::uint8_t>{'w'});
    EXPECT_FALSE(GetFileAttributesW(writable.c_str()) & FILE_ATTRIBUTE_READONLY);

    // A directory member makes a folder at the target.
    const std::wstring made = folder + L"\\made\\dir";
    ASSERT_EQ(UnzipItem(archive.get(), 5, made.c_str()), ZR_OK);
    EXPECT_TRUE(GetFileAttributesW(made.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Exists(made));
}

TEST_F(ZipFiles, RelativeTargetsLieUnderTheFolderCurrentAtOpen) {
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    const std::wstring atOpen = folder + L"\\at_open", later = folder + L"\\later";
    CreateDirectoryW(atOpen.c_str(), nullptr);
    CreateDirectoryW(later.c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryW(atOpen.c_str()));
    OpenArchive archive("case.zip");
    ASSERT_TRUE(SetCurrentDirectoryW(later.c_str()));
    EXPECT_EQ(UnzipItem(archive.get(), 2, L"sub\\c.txt"), ZR_OK);
    EXPECT_EQ(UnzipItem(archive.get(), 2, L"bare.txt"), ZR_OK);
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(ReadBack(atOpen + L"\\sub\\c.txt").size(), 50u);
    EXPECT_EQ(ReadBack(atOpen + L"\\bare.txt").size(), 50u);
    EXPECT_FALSE(Exists(later + L"\\sub"));
    EXPECT_FALSE(Exists(later + L"\\bare.txt"));
}

// Targets beyond MAX_PATH are written where they say, not cut; one beyond what Windows can
// name at all is refused.
TEST_F(ZipFiles, LongTargetPathsAreNeitherCutNorOverrun) {
    OpenArchive archive("case.zip");
    std::wstring deep = folder;
    for (int i = 0; i < 8; ++i) deep += L"\\" + std::wstring(40, static_cast<wchar_t>(L'a' + i));
    const std::wstring target = deep + L"\\" + std::wstring(60, L'z') + L".txt";
    ASSERT_GT(target.size(), 400u);
    ASSERT_EQ(UnzipItem(archive.get(), 2, target.c_str()), ZR_OK);
    EXPECT_EQ(ReadBack(target).size(), 50u);
    const std::wstring tooLong = folder + L"\\" + std::wstring(33000, L'x');
    EXPECT_EQ(UnzipItem(archive.get(), 2, tooLong.c_str()), ZR_ARGS);
    EXPECT_EQ(UnzipItem(archive.get(), 2, L""), ZR_ARGS);
    EXPECT_EQ(UnzipItem(archive.get(), 2, nullptr), ZR_ARGS);

    // Relative, under a long folder made current before the open.
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    if (!SetCurrentDirectoryW(Long(deep).c_str())) GTEST_SKIP() << "no current folder beyond MAX_PATH here";
    OpenArchive opened("case.zip");
    SetCurrentDirectoryW(previous);
    ASSERT_EQ(UnzipItem(opened.get(), 2, L"rel\\c.txt"), ZR_OK);
    EXPECT_EQ(ReadBack(deep + L"\\rel\\c.txt").size(), 50u);
}

TEST(ZipApi, MessagesNameTheCodes) {
    char text[64];
    EXPECT_EQ(FormatZipMessage(ZR_CORRUPT, text, sizeof text), 35u);
    EXPECT_STREQ(text, "Zipfile is corrupt or not a zipfile");
    EXPECT_EQ(FormatZipMessage(ZR_CORRUPT, text, 5), 35u);
    EXPECT_STREQ(text, "Zipf");
    FormatZipMessage(ZR_NODUPH, text, sizeof text);
    EXPECT_STREQ(text, "Culdn't duplicate handle");
    FormatZipMessage(0x12345, text, sizeof text);
    EXPECT_STREQ(text, "unknown zip result code");
    EXPECT_EQ(OpenZip(Fixture("no_such_file.zip").c_str(), nullptr), nullptr);
    FormatZipMessage(ZR_RECENT, text, sizeof text);
    EXPECT_STREQ(text, "Couldn't create/open file");
}

// CTest runs these under the label "large" (make test-large): they write over 4 GiB.
using ZipLarge = ZipFiles;

// A member of 4 GiB, 1 MiB and 3 bytes of zeros: sizes, positions and counters are 64-bit
// from the archive to the extracted file, and the description saturates instead of wrapping.
TEST_F(ZipLarge, MemberOver4GiBExtractsWithItsSizeAndCrc) {
    OpenArchive archive("large_zip64.zip");
    ASSERT_NE(archive.get(), nullptr);
    ZipMemberInfo entry;
    ASSERT_EQ(GetZipItem(archive.get(), 0, &entry), ZR_OK);
    EXPECT_EQ(entry.UncompressedSize, INT32_MAX);
    const std::wstring target = folder + L"\\zeros.bin";
    ASSERT_EQ(UnzipItem(archive.get(), 0, target.c_str()), ZR_OK);

    HANDLE file = CreateFileW(Long(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint64_t size = 0;
    uLong crc = crc32(0, nullptr, 0);
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
        crc = crc32(crc, buffer.data(), read);
        size += read;
    }
    CloseHandle(file);
    EXPECT_EQ(size, (std::uint64_t{1} << 32) + (1 << 20) + 3);
    EXPECT_EQ(crc, 0xC0D3E8FDu);  // of that many zeros, as zip recorded it
}
