// The current job's resolution and ownership rules, over a fake of the file system: which
// extracted files the intake deletes, keeps pending or adopts, and what a job's origin is.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "CaseInsensitive.h"
#include "EmfSpoolBuilder.h"
#include "FileProcessor/FileProcessor.h"
#include "LogCapture.h"
#include "ProgressWatcher.h"

namespace {

class FakeFiles final : public IntakeFileSystem {
public:
    JobInfo ReadShadowFile(const std::wstring& path) override {
        for (const auto& [shadow, job] : shadows)
            if (SamePath(shadow, path)) return job;
        return {};
    }
    ArchivedJob ExtractArchivedJob(const std::wstring& archivePath) override {
        ArchivedJob job = archives[archivePath];  // its paths: the file name of the member
        const std::wstring folder = L"T" + std::to_wstring(++extractions) + L"\\";
        job.SPLPath = folder + job.SPLPath;
        if (!job.SHDPath.empty()) job.SHDPath = folder + job.SHDPath;
        return job;
    }
    void DeleteExtractedJob(const std::wstring& splPath) override { deleted.push_back(splPath); }
    bool SamePath(const std::wstring& a, const std::wstring& b) const override { return SamePathIgnoringCase(a, b); }
    std::unique_ptr<ByteSource> OpenFile(const std::wstring& path) override {
        return contents.count(path) ? std::make_unique<MemorySource>(contents[path]) : nullptr;
    }

    std::map<std::wstring, JobInfo> shadows;
    std::map<std::wstring, emfbuild::Bytes> contents;
    std::map<std::wstring, ArchivedJob> archives;
    std::vector<std::wstring> deleted;
    int extractions = 0;
};

class CurrentJob : public LogCapture {
protected:
    void SetUp() override {
        LogCapture::SetUp();
        files.shadows[L"C:\\jobs\\a.SHD"] = JobInfo{L"Office", L"Laser", L"Report", L"RAW"};
        files.shadows[L"T1\\00012.SHD"] = files.shadows[L"T2\\00012.SHD"] = JobInfo{L"Office", L"Laser", L"J", L"RAW"};
        files.archives[L"C:\\in\\good.zip"] = {L"00012.SPL", L"00012.SHD", L"jobs/00012.SPL"};
        files.archives[L"C:\\in\\noshd.zip"] = {L"00013.SPL", L"", L"00013.SPL"};
    }
    // Each extraction goes to a folder of its own: T1\, T2\ and so on.
    FakeFiles files;
    SPLFileInfo current{&files};
};

}  // namespace

// An extracted job is deleted when another job replaces it, never when the same file is
// chosen again under another spelling; a user's own file is never deleted, whatever the
// record that makes it current says. A user who stops the page count (of a crafted file of
// millions of records) keeps the current job as it was; the stopped archive's files go.
TEST_F(CurrentJob, ExtractedJobsAreDeletedWhenReplacedAndUsersFilesNever) {
    ASSERT_EQ(current.ProcessFile(L"C:\\in\\good.zip").Result, CorrectFile);
    EXPECT_TRUE(current.FromArchive);
    ASSERT_EQ(current.ProcessFile(L"t1\\00012.shd").Result, CorrectFile);  // our own copy, chosen again
    EXPECT_TRUE(current.FromArchive);
    EXPECT_EQ(current.Origin.Path + L"|" + current.Origin.Member, L"C:\\in\\good.zip|jobs/00012.SPL");
    EXPECT_TRUE(files.deleted.empty());
    SPLFileInfo user = current.ProcessFile(L"C:\\jobs\\a.SPL");
    EXPECT_EQ(files.deleted, std::vector<std::wstring>{L"t1\\00012.SPL"});
    user.FromArchive = true;
    ASSERT_TRUE(current.SetCurrentFile(user, L"P", L"D", L"RAW"));
    EXPECT_FALSE(current.FromArchive) << "only files the intake extracted itself are owned";
    current.DeleteAllTempFiles();
    EXPECT_EQ(files.deleted.size(), 1u);
    files.contents[L"T2\\00012.SPL"] = files.contents[L"C:\\jobs\\a.SPL"] = emfbuild::Spool().Page().File;
    WatchedCopy stop(1);
    EXPECT_EQ(current.ProcessFile(L"C:\\in\\good.zip", &stop).Result, Unknown);
    EXPECT_FALSE(current.SetCurrentFile(current, L"Q", L"D", L"RAW", &stop));
    EXPECT_EQ(current.SPLFileName + L"|" + current.JobInfo.PrinterName, L"C:\\jobs\\a.SPL|P");
    EXPECT_EQ(files.deleted, (std::vector<std::wstring>{L"t1\\00012.SPL", L"T2\\00012.SPL"}));
}

// The files of an archive whose shadow member is missing wait for the user's answer: they
// go with the next choice, with another accepted file or when declined, and an accepted
// spool file is adopted as the archive's job, also when chosen again under another name.
TEST_F(CurrentJob, PendingFilesGoWithTheNextChoiceOrAreAdopted) {
    SPLFileInfo first = current.ProcessFile(L"C:\\in\\noshd.zip");
    ASSERT_EQ(first.Result, CannotDetectSHD);
    EXPECT_EQ(current.PendingSPLFileName(), L"T1\\00013.SPL");
    current.ProcessFile(L"");
    EXPECT_EQ(files.deleted, std::vector<std::wstring>{L"T1\\00013.SPL"});
    EXPECT_TRUE(current.SetCurrentFile(first, L"P", L"D", L"RAW"));
    EXPECT_FALSE(current.FromArchive) << "an older result is no longer pending";

    current.ProcessFile(L"C:\\in\\noshd.zip");
    SPLFileInfo again = current.ProcessFile(L"t2\\00013.spl");  // the pending file itself
    ASSERT_EQ(again.Result, CannotReadSHD);
    EXPECT_EQ(files.deleted.size(), 1u) << "the pending file was chosen, not left";
    ASSERT_TRUE(current.SetCurrentFile(again, L"P", L"D", L"RAW"));
    EXPECT_TRUE(current.FromArchive);
    EXPECT_EQ(current.Origin.Path, L"C:\\in\\noshd.zip");
    EXPECT_TRUE(current.PendingSPLFileName().empty());

    current.ProcessFile(L"C:\\in\\noshd.zip");
    current.DiscardPendingFiles();
    current.DeleteAllTempFiles();
    EXPECT_EQ(files.deleted, (std::vector<std::wstring>{L"T1\\00013.SPL", L"T3\\00013.SPL", L"t2\\00013.spl"}));
}
