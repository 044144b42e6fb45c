// The ZIP reader's platform-neutral core over archives made by real archivers and over damaged
// and hostile copies of them. Runs on the host with sanitizers and under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZipFixtures.h"
#include "zip/ZipParse.h"

namespace {

struct MemorySink final : zip::ByteSink {
    bool Write(const std::uint8_t* data, std::size_t count) override {
        Bytes.insert(Bytes.end(), data, data + count);
        return true;
    }
    std::vector<std::uint8_t> Bytes;
};

struct FailingSink final : zip::ByteSink {
    bool Write(const std::uint8_t*, std::size_t) override { return false; }
};

// An archive held in memory with its reader, opened.
class Archive {
public:
    explicit Archive(const std::string& name)
        : m_Bytes(ReadWholeFile(ZipFixture(name))), m_Source(m_Bytes), Reader(m_Source, zip::Cp437ToUtf16) {
        OpenStatus = Reader.Open();
    }
    std::size_t FileSize() const { return m_Bytes.size(); }

private:
    std::vector<std::uint8_t> m_Bytes;
    zip::MemorySource m_Source;

public:
    zip::ZipReader Reader;
    ZipStatus OpenStatus = ZR_OK;
};

std::uint64_t UnixTicks(std::int64_t seconds) {
    return static_cast<std::uint64_t>(seconds * 10000000 + 116444736000000000LL);
}

}  // namespace

TEST(ZipParse, ExtractsEveryMemberOfRealArchivesToItsOriginal) {
    for (const auto& name : kRealArchives) {
        SCOPED_TRACE(name);
        Archive archive(name);
        ASSERT_EQ(archive.OpenStatus, ZR_OK);
        ASSERT_GT(archive.Reader.Count(), 0);
        // Backwards, so that the walker has to return to the first record each time.
        for (int i = archive.Reader.Count() - 1; i >= 0; --i) {
            zip::MemberInfo info;
            ASSERT_EQ(archive.Reader.Describe(i, info), ZR_OK) << i;
            EXPECT_EQ(info.Index, i);
            MemorySink sink;
            ASSERT_EQ(archive.Reader.Extract(i, nullptr, sink), ZR_OK) << i;
            if (info.Attributes & 0x10) {
                EXPECT_TRUE(info.Name.ends_with(u"/")) << i;
                EXPECT_TRUE(sink.Bytes.empty());
                continue;
            }
            const auto original = OriginalOf(info.Name);
            EXPECT_EQ(info.UncompressedSize, original.size()) << i;
            EXPECT_TRUE(sink.Bytes == original) << i << ": " << sink.Bytes.size() << " bytes";
        }
    }
}

TEST(ZipParse, FindsTheEndRecordBehindCommentsAndAcrossSearchSteps) {
    Archive long_comment("infozip_comment.zip");
    EXPECT_EQ(long_comment.OpenStatus, ZR_OK);
    for (int length : {1003, 1004, 1005, 2027, 2028, 2029, 65514, 65535}) {
        Archive archive("comment_border_" + std::to_string(length) + ".zip");
        ASSERT_EQ(archive.OpenStatus, ZR_OK) << length;
        MemorySink sink;
        EXPECT_EQ(archive.Reader.Extract(0, nullptr, sink), ZR_OK);
        EXPECT_TRUE(sink.Bytes == ReadWholeFile(ZipFixture("src/hello.txt")));
    }
}

TEST(ZipParse, EncryptedMembersNeedTheRightPassword) {
    for (const char* name : {"infozip_encrypted.zip", "infozip_encrypted_stored.zip"}) {
        SCOPED_TRACE(name);
        Archive archive(name);
        ASSERT_EQ(archive.OpenStatus, ZR_OK);
        for (int i = 0; i < archive.Reader.Count(); ++i) {
            zip::MemberInfo info;
            ASSERT_EQ(archive.Reader.Describe(i, info), ZR_OK);
            MemorySink right, wrong, none;
            EXPECT_EQ(archive.Reader.Extract(i, "secret", right), ZR_OK);
            EXPECT_TRUE(right.Bytes == OriginalOf(info.Name)) << i;
            EXPECT_EQ(archive.Reader.Extract(i, "wrong", wrong), ZR_PASSWORD);
            EXPECT_EQ(archive.Reader.Extract(i, nullptr, none), ZR_ENCRYPTED);
            EXPECT_TRUE(wrong.Bytes.empty() && none.Bytes.empty());
        }
    }
}

// Damaged Zip64 end records are damage, not a file of another kind.
TEST(ZipParse, RefusesFilesWithoutAnAcceptableEndRecord) {
    for (const char* name : {"not_a_zip.zip", "truncated_half.zip", "truncated_in_directory.zip",
                             "truncated_end_record.zip", "directory_past_end.zip", "multi_disk.zip",
                             "comment_past_end.zip", "no_such_file.zip"}) {
        EXPECT_EQ(Archive(name).OpenStatus, ZR_NOFILE) << name;
    }
    for (const char* name : {"zip64_locator_past_end.zip", "zip64_locator_wrong_signature.zip",
                             "zip64_count_too_large.zip"}) {
        EXPECT_EQ(Archive(name).OpenStatus, ZR_CORRUPT) << name;
    }
}

// Each damaged member, and each that the reader cannot decode, fails with its code; a member
// that would grow past its declared size stops there.
TEST(ZipParse, DamagedMembersFailWithTheirCode) {
    struct Case {
        const char* Archive;
        int Index;
        ZipStatus Describe, Extract;
    };
    const Case cases[] = {
        {"local_mismatch.zip", 1, ZR_CORRUPT, ZR_CORRUPT},
        {"local_past_end.zip", 2, ZR_CORRUPT, ZR_CORRUPT},
        {"unsupported_method.zip", 0, ZR_OK, ZR_METHOD},
        {"7z_bzip2.zip", 0, ZR_OK, ZR_METHOD},
        {"local_name_mismatch.zip", 1, ZR_CORRUPT, ZR_CORRUPT},
        {"overlap_next_header.zip", 1, ZR_OK, ZR_CORRUPT},
        {"crc_mismatch_stored.zip", 0, ZR_OK, ZR_CORRUPT},
        {"crc_mismatch_deflated.zip", 1, ZR_OK, ZR_CORRUPT},
        {"bomb.zip", 2, ZR_OK, ZR_CORRUPT},
        {"inflates_short.zip", 2, ZR_OK, ZR_CORRUPT},
        {"stored_size_mismatch.zip", 0, ZR_OK, ZR_CORRUPT},
        {"data_ends_early.zip", 2, ZR_OK, ZR_CORRUPT},
        {"count_too_large.zip", 3, ZR_CORRUPT, ZR_CORRUPT},
        {"broken_middle_record.zip", 1, ZR_CORRUPT, ZR_CORRUPT},
        {"name_past_directory.zip", 2, ZR_CORRUPT, ZR_CORRUPT},
        {"zip64_size_mismatch.zip", 1, ZR_OK, ZR_CORRUPT},  // 4 GiB more than its data
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Archive);
        Archive archive(c.Archive);
        ASSERT_EQ(archive.OpenStatus, ZR_OK);
        zip::MemberInfo info;
        EXPECT_EQ(archive.Reader.Describe(c.Index, info), c.Describe);
        MemorySink sink;
        EXPECT_EQ(archive.Reader.Extract(c.Index, nullptr, sink), c.Extract);
        if (c.Describe == ZR_OK) {
            EXPECT_LE(sink.Bytes.size(), info.UncompressedSize);
        }
        if (c.Index > 0) {  // the members before the damage still read
            EXPECT_EQ(archive.Reader.Describe(0, info), ZR_OK);
        }
    }
}

TEST(ZipParse, DirectoryThatEndsEarlyStopsTheWalkerAtTheDamage) {
    Archive archive("count_too_large.zip");
    ASSERT_EQ(archive.OpenStatus, ZR_OK);
    EXPECT_EQ(archive.Reader.Count(), 50);
    zip::MemberInfo info;
    EXPECT_EQ(archive.Reader.Describe(2, info), ZR_OK);
    EXPECT_EQ(archive.Reader.Describe(49, info), ZR_CORRUPT);
    EXPECT_EQ(archive.Reader.Describe(3, info), ZR_CORRUPT);
    int index = -1;
    EXPECT_EQ(archive.Reader.Find(u"large.txt", false, index), ZR_OK);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(archive.Reader.Find(u"absent.txt", false, index), ZR_CORRUPT);
    EXPECT_EQ(archive.Reader.Describe(1, info), ZR_OK);
    EXPECT_EQ(info.Name, u"small.txt");
    EXPECT_EQ(archive.Reader.Describe(50, info), ZR_ARGS);
    EXPECT_EQ(archive.Reader.Describe(-1, info), ZR_ARGS);
}

TEST(ZipParse, WriteFailureOfTheSinkIsReported) {
    Archive archive("base.zip");
    FailingSink sink;
    EXPECT_EQ(archive.Reader.Extract(0, nullptr, sink), ZR_WRITE);
    EXPECT_EQ(archive.Reader.Extract(2, nullptr, sink), ZR_WRITE);
}

TEST(ZipParse, FindComparesWholeNamesFoldingAsciiLettersOnly) {
    Archive archive("case.zip");
    int index = -1;
    EXPECT_EQ(archive.Reader.Find(u"jobs/b.shd", true, index), ZR_OK);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(archive.Reader.Find(u"jobs/b.shd", false, index), ZR_NOTFOUND);
    EXPECT_EQ(archive.Reader.Find(u"Jobs/B.SHD", false, index), ZR_OK);
    EXPECT_EQ(archive.Reader.Find(u"Jobs/B.SH", true, index), ZR_NOTFOUND);
    EXPECT_EQ(archive.Reader.Find(u"C.TXT", true, index), ZR_OK);
    EXPECT_EQ(index, 2);

    Archive utf8("python_deflated.zip");
    EXPECT_EQ(utf8.Reader.Find(u"Привет.txt", true, index), ZR_OK);
    EXPECT_EQ(utf8.Reader.Find(u"привет.txt", true, index), ZR_NOTFOUND);

    // Names are compared whole, as descriptions report them, cleaned: the stored spelling and
    // the reported one both find the member; names that then match twice find neither.
    Archive names("names.zip");
    EXPECT_EQ(names.Reader.Find(std::u16string(259, u'n'), false, index), ZR_NOTFOUND);
    EXPECT_EQ(names.Reader.Find(u"a.txt", true, index), ZR_DUPLICATE);
    for (const char16_t* name : {u"D:\\a.txt", u"a.txt"}) {
        EXPECT_EQ(names.Reader.Find(name, false, index), ZR_OK);
        EXPECT_EQ(index, 2);
    }
    EXPECT_EQ(names.Reader.Find(u"evil.txt", false, index), ZR_OK);
    EXPECT_EQ(index, 1);
}

// Names are cleaned, never cut, and decoded as their writers meant them: as UTF-8 under flag
// bit 11, else from a Unicode Path field written for the header's bytes, else in the OEM code
// page (437 here). Each finds its own member.
TEST(ZipParse, NamesAreDecodedAndCleanedNotCut) {
    const std::pair<const char*, std::vector<std::u16string>> archives[] = {
        {"names.zip", {u"../up.txt", u"evil.txt", u"a.txt", u"a\\b.txt", std::u16string(296, u'n') + u".txt"}},
        {"cp437.zip", {u"Bäro/00012.SHD", u"Büro/00012.SPL", u"Büro/00012.SHD", u"Отчёт 12.SPL", u"Büro.txt"}},
    };
    for (const auto& [name, expected] : archives) {
        Archive archive(name);
        for (int i = 0; i < 5; ++i) {
            zip::MemberInfo info;
            int index = -1;
            ASSERT_EQ(archive.Reader.Describe(i, info), ZR_OK) << name << i;
            EXPECT_TRUE(info.Name == expected[i]) << name << i;
            EXPECT_TRUE(archive.Reader.Find(expected[i], false, index) == ZR_OK && index == i) << name << i;
        }
    }
    EXPECT_EQ(zip::CleanMemberName(u"\\\\server\\share\\x.spl"), u"server\\share\\x.spl");
    EXPECT_EQ(zip::CleanMemberName(u"a/b/../c/d.spl"), u"c/d.spl");
    EXPECT_EQ(zip::CleanMemberName(u"a\\../b\\..\\c.spl"), u"c.spl");
    EXPECT_EQ(zip::CleanMemberName(u"C:/D:x.spl"), u"x.spl");
    EXPECT_EQ(zip::CleanMemberName(u"fred\\..\\..\\..\\windows\\x.spl"), u"windows\\x.spl");
    EXPECT_EQ(zip::CleanMemberName(u"..\\x.spl"), u"..\\x.spl");
    EXPECT_EQ(zip::CleanMemberName(u"ü:x"), u"x");
}

TEST(ZipParse, Utf8NamesConvertWithReplacementOfInvalidBytes) {
    EXPECT_EQ(zip::Utf8ToUtf16("Привет"), u"Привет");
    EXPECT_EQ(zip::Utf8ToUtf16("\xF0\x9F\x96\xA8"), u"\U0001F5A8");
    EXPECT_EQ(zip::Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(zip::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");      // overlong "/"
    EXPECT_EQ(zip::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");  // a surrogate
    EXPECT_EQ(zip::Utf8ToUtf16("x\xE6\x97"), u"x\uFFFD");    // cut at the end
}

TEST(ZipParse, AttributesFollowTheHostSystem) {
    Archive archive("attributes.zip");
    // Unix read-only, Unix writable, Unix folder, DOS hidden+archive, DOS read-only+system, NTFS folder.
    const std::uint32_t expected[] = {0x21, 0x20, 0x30, 0x22, 0x05, 0x10};
    for (int i = 0; i < 6; ++i) {
        zip::MemberInfo info;
        ASSERT_EQ(archive.Reader.Describe(i, info), ZR_OK);
        EXPECT_EQ(info.Attributes, expected[i]) << i;
    }
    EXPECT_EQ(zip::AttributesFromHost(7 << 8, 0xFF), 0x37u);     // Macintosh: DOS bits
    EXPECT_EQ(zip::AttributesFromHost(14 << 8, 0x41), 0x01u);    // VFAT: unknown bits dropped
    EXPECT_EQ(zip::AttributesFromHost(3 << 8, 0x10), 0x21u);     // Unix: the DOS byte is ignored
    EXPECT_EQ(zip::AttributesFromHost(19 << 8, 0x00800000), 0x20u);
}

TEST(ZipParse, TimesComeFromTheExtendedTimestampOrTheDosFields) {
    Archive archive("times.zip");
    zip::MemberInfo info;
    ASSERT_EQ(archive.Reader.Describe(0, info), ZR_OK);
    EXPECT_EQ(info.Times.Write, UnixTicks(1600000000));
    EXPECT_FALSE(info.Times.Access || info.Times.Creation);
    ASSERT_EQ(archive.Reader.Describe(1, info), ZR_OK);
    EXPECT_EQ(info.Times.Write, UnixTicks(1600000000));
    EXPECT_EQ(info.Times.Access, UnixTicks(1600000100));
    EXPECT_EQ(info.Times.Creation, UnixTicks(1500000000));
    ASSERT_EQ(archive.Reader.Describe(2, info), ZR_OK);
    EXPECT_FALSE(info.Times.Write || info.Times.Access || info.Times.Creation);
    const auto& t = info.LocalTime;
    EXPECT_EQ(std::vector<int>({t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second}),
              std::vector<int>({2019, 12, 31, 23, 58, 58}));

    // Info-ZIP records modification and access times in the local header.
    Archive infozip("infozip_deflated.zip");
    ASSERT_EQ(infozip.Reader.Describe(0, info), ZR_OK);
    EXPECT_EQ(info.Times.Write, UnixTicks(1700000000));
    EXPECT_EQ(info.Times.Access, UnixTicks(1700000100));
    EXPECT_FALSE(info.Times.Creation);
}

TEST(ZipParse, ExtendedTimestampIsReadOnlyWithinItsBlock) {
    // A block before "UT" is skipped; "UT" claims three times but holds one.
    const std::uint8_t extra[] = {0x0A, 0x00, 0x02, 0x00, 0xAA, 0xBB,  // tag 10, 2 bytes
                                  'U',  'T',  0x05, 0x00, 0x07, 0x00, 0x00, 0x00, 0x80,
                                  0x01, 0x02, 0x03, 0x04};  // outside the block
    const auto times = zip::ReadExtendedTimes(extra);
    EXPECT_EQ(times.Write, UnixTicks(-2147483647 - 1));
    EXPECT_FALSE(times.Access || times.Creation);
    EXPECT_FALSE(zip::ReadExtendedTimes(std::span(extra, 4)).Write);
    const std::uint8_t cut[] = {'U', 'T', 0x09, 0x00, 0x03, 0x01, 0x00};
    EXPECT_FALSE(zip::ReadExtendedTimes(cut).Write);
}
