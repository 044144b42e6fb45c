// The current file of the process, over the real files and archives.
#include "FileProcessor/FileProcessor_win.h"

#include "FileByteSource_win.h"
#include "pathutil_win.h"

namespace {

class WindowsFiles final : public IntakeFileSystem {
public:
    JobInfo ReadShadowFile(const std::wstring& path) override { return ReadJobInfoFromSHD(path); }
    ArchivedJob ExtractArchivedJob(const std::wstring& archivePath) override {
        ArchivedJob job;
        ChooseFromArchive(archivePath, job.SPLPath, job.SHDPath, &job.SPLMember);
        return job;
    }
    void DeleteExtractedJob(const std::wstring& splPath) override { ::DeleteExtractedJob(splPath); }
    bool SamePath(const std::wstring& a, const std::wstring& b) const override { return ::SamePath(a, b); }
    std::unique_ptr<ByteSource> OpenFile(const std::wstring& path) override { return OpenFileForReading(path); }
};

// Holds the current file for the life of the process; on exit the extracted files go too.
struct CurrentFileOwner {
    SPLFileInfo file{&WindowsIntakeFiles()};
    CurrentFileOwner() = default;
    CurrentFileOwner(const CurrentFileOwner&) = delete;
    CurrentFileOwner& operator=(const CurrentFileOwner&) = delete;
    ~CurrentFileOwner() { file.DeleteAllTempFiles(); }
};

}  // namespace

IntakeFileSystem& WindowsIntakeFiles() {
    static WindowsFiles files;  // made before the current file, so it outlives it
    return files;
}

SPLFileInfo& CurrentFile() {
    static CurrentFileOwner owner;  // initialisation is thread-safe
    return owner.file;
}
