// Win32 side of the ZIP reader: the archive file, target files and folders, file times and
// the result-code plumbing. Everything that interprets archive bytes is in ZipParse.
#include "zip/unzip_win.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "FileByteSource_win.h"
#include "Progress.h"
#include "handles_win.h"
#include "pathutil_win.h"
#include "zip/ZipParse.h"

namespace {

constexpr int kReaderKind = 1;
// The longest path the wide file APIs take, "\\?\UNC\" prefix included.
constexpr std::size_t kMaxPathLength = 32767 - 8;

ZipStatus g_LastResult = ZR_OK;

ZipStatus Record(ZipStatus status) {
    g_LastResult = status;
    return status;
}

class FileSink final : public zip::ByteSink {
public:
    explicit FileSink(HANDLE file) : m_File(file) {}

    bool Write(const std::uint8_t* data, std::size_t count) override {
        while (count > 0) {
            DWORD written = 0;
            if (!WriteFile(m_File, data, static_cast<DWORD>(std::min<std::size_t>(count, 1u << 20)), &written,
                           nullptr) ||
                written == 0)
                return false;
            data += written;
            count -= written;
        }
        return true;
    }

private:
    HANDLE m_File;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The current folder in full, with a separator at its end.
std::wstring RootFolder() {
    std::wstring folder = CurrentFolder();
    if (folder.empty() || !IsSeparator(folder.back())) folder += L'/';
    return folder;
}

// A target split into its folder part (with its last separator) and file name; a relative
// folder part lies under Base, the folder that was current when the archive was opened.
struct TargetPath {
    std::wstring Base, Folder, Name;
    std::wstring Full() const { return Base + Folder + Name; }
};

TargetPath SplitTarget(const std::wstring& root, const std::wstring& target) {
    TargetPath split;
    const auto cut = target.find_last_of(L"\\/");
    if (cut != std::wstring::npos) split.Folder = target.substr(0, cut + 1);
    split.Name = cut == std::wstring::npos ? target : target.substr(cut + 1);
    const bool absolute =
        !split.Folder.empty() && (IsSeparator(split.Folder[0]) || (split.Folder.size() > 1 && split.Folder[1] == L':'));
    if (!absolute) split.Base = root;
    return split;
}

// Creates the folders of the chain from the outermost; failures show when the file is created.
void CreateFolderChain(const std::wstring& base, const std::wstring& folder) {
    for (std::size_t i = 0; i < folder.size(); ++i) {
        if (!IsSeparator(folder[i])) continue;
        const std::wstring path = ExtendedLengthPath(base + folder.substr(0, i + 1));
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(path.c_str(), nullptr);
    }
}

// Nothing half-written stays behind: a read-only attribute from the member is cleared first.
void DiscardFile(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

// CREATE_ALWAYS only when a file is there to replace. Wine carries CREATE_ALWAYS out as an
// open followed by a truncation to zero, and ext4 writes a file truncated that way out to
// disk when it is closed: the close of a 256 MiB member waited some 0.2 s for the disk.
HANDLE CreateTargetFile(const std::wstring& path, DWORD attributes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return file;
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
}

// The description's sizes are signed 32-bit: a member of 2 GiB and more shows as the
// largest size they hold, never as a wrapped one. Extraction uses the reader's own sizes.
std::int32_t SaturatedSize(std::uint64_t size) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(size, INT32_MAX));
}

// Names that are neither flagged as UTF-8 nor given in a Unicode Path field are in the OEM
// code page of the machine that wrote them, which is taken to be this one's.
std::u16string OemToUtf16(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), length, nullptr, 0);
    std::u16string text(static_cast<std::size_t>(std::max(size, 0)), u'\0');
    MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

FILETIME TicksToFileTime(std::uint64_t ticks) {
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// DOS times are local times, converted with the daylight-saving rules in force on their own
// date (as archivers do), not with today's bias; an impossible date gives zero (times left as
// they are).
FILETIME DosTimeToUtc(const zip::DosDateTime& time) {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(time.Year);
    local.wMonth = static_cast<WORD>(time.Month);
    local.wDay = static_cast<WORD>(time.Day);
    local.wHour = static_cast<WORD>(time.Hour);
    local.wMinute = static_cast<WORD>(time.Minute);
    local.wSecond = static_cast<WORD>(time.Second);
    FILETIME validated{}, utc{};  // SystemTimeToFileTime refuses impossible dates
    SYSTEMTIME universal{};
    if (!SystemTimeToFileTime(&local, &validated) || !TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) ||
        !SystemTimeToFileTime(&universal, &utc))
        return {};
    return utc;
}

}  // namespace

struct ZipArchive {
    explicit ZipArchive(FileHandle file) : Source(std::move(file)) {}

    int Kind = kReaderKind;
    FileByteSource Source;
    zip::ZipReader Reader{Source, OemToUtf16};
    std::wstring RootFolder;
    std::optional<std::string> Password;
    int CachedIndex = -1;  // the most recently described member
    ZipMemberInfo Cached{};
    ZipMemberDetails CachedDetails;
};

namespace {

ZipStatus CheckHandle(ZipHandle zip) {
    if (zip == nullptr) return ZR_ARGS;
    return zip->Kind == kReaderKind ? ZR_OK : ZR_ZMODE;
}

// Runs an operation and records its result; memory exhaustion becomes a code, not an exception.
template <class Operation>
ZipStatus Run(ZipHandle zip, Operation&& operation) noexcept {
    if (auto status = CheckHandle(zip)) return Record(status);
    try {
        return Record(operation(*zip));
    } catch (const std::bad_alloc&) {
        return Record(ZR_NOALLOC);
    }
}

ZipStatus Describe(ZipArchive& zip, int index, ZipMemberInfo& entry) {
    if (index == zip.CachedIndex) {
        entry = zip.Cached;
        return ZR_OK;
    }
    zip::MemberInfo member;
    if (auto status = zip.Reader.Describe(index, member)) return status;
    entry = {};
    entry.Index = index;
    std::size_t length = std::min<std::size_t>(member.Name.size(), MAX_PATH - 1);
    if (length < member.Name.size() && IS_HIGH_SURROGATE(member.Name[length - 1])) --length;  // no half character
    std::copy_n(member.Name.begin(), length, entry.Name);
    entry.Attributes = member.Attributes;
    entry.WriteTime = entry.AccessTime = entry.CreationTime = DosTimeToUtc(member.LocalTime);
    if (member.Times.Write) entry.WriteTime = TicksToFileTime(*member.Times.Write);
    if (member.Times.Access) entry.AccessTime = TicksToFileTime(*member.Times.Access);
    if (member.Times.Creation) entry.CreationTime = TicksToFileTime(*member.Times.Creation);
    entry.CompressedSize = SaturatedSize(member.CompressedSize);
    entry.UncompressedSize = SaturatedSize(member.UncompressedSize);
    zip.CachedIndex = index;
    zip.Cached = entry;
    zip.CachedDetails = {std::wstring(member.Name.begin(), member.Name.end()), member.Method};
    return ZR_OK;
}

ZipStatus ExtractToFile(ZipArchive& zip, int index, const std::wstring& targetPath) {
    if (targetPath.empty() || index < 0 || index >= zip.Reader.Count()) return ZR_ARGS;
    ZipMemberInfo info;
    if (auto status = Describe(zip, index, info)) return status;
    const TargetPath target = SplitTarget(zip.RootFolder, targetPath);
    if (target.Full().size() > kMaxPathLength) return ZR_ARGS;
    if (info.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
        CreateFolderChain(target.Base, target.Name.empty() ? target.Folder : target.Folder + target.Name + L"\\");
        return ZR_OK;
    }
    CreateFolderChain(target.Base, target.Folder);
    const std::wstring path = ExtendedLengthPath(target.Full());
    FileHandle file(CreateTargetFile(path, info.Attributes));
    if (!file) return ZR_NOFILE;
    FileSink sink(file.get());
    const ZipStatus status = zip.Reader.Extract(index, zip.Password ? zip.Password->c_str() : nullptr, sink,
                                                    CurrentOperationProgress());
    if (status == ZR_OK) SetFileTime(file.get(), &info.CreationTime, &info.AccessTime, &info.WriteTime);
    file.reset();
    if (status != ZR_OK) DiscardFile(path);
    return status;
}

const char* ZipStatusText(ZipStatus code) {
    switch (code) {
    case ZR_OK: return "Success";
    case ZR_NODUPH: return "Culdn't duplicate handle";
    case ZR_NOFILE: return "Couldn't create/open file";
    case ZR_NOALLOC: return "Failed to allocate memory";
    case ZR_WRITE: return "Error writing to file";
    case ZR_NOTFOUND: return "File not found in the zipfile";
    case ZR_MORE: return "Still more data to unzip";
    case ZR_CORRUPT: return "Zipfile is corrupt or not a zipfile";
    case ZR_READ: return "Error reading file";
    case ZR_METHOD: return "Compression method not supported";
    case ZR_ENCRYPTED: return "Member is encrypted";
    case ZR_DUPLICATE: return "More than one member has this name";
    case ZR_PASSWORD: return "Correct password required";
    case ZR_ARGS: return "Caller: faulty arguments";
    case ZR_NOTMMAP: return "Caller: can only get memory of a memory zipfile";
    case ZR_MEMSIZE: return "Caller: not enough space allocated for memory zipfile";
    case ZR_FAILED: return "Caller: there was a previous error";
    case ZR_ENDED: return "Caller: additions to the zip have already been ended";
    case ZR_MISSIZE: return "Zip-bug: the anticipated size turned out wrong";
    case ZR_PARTIALUNZ: return "Caller: the file had already been partially unzipped";
    case ZR_ZMODE: return "Caller: mixing creation and opening of zip";
    case ZR_NOTINITED: return "Zip-bug: internal initialisation not completed";
    case ZR_SEEK: return "Zip-bug: trying to seek the unseekable";
    case ZR_NOCHANGE: return "Zip-bug: tried to change mind, but not allowed";
    case ZR_FLATE: return "Zip-bug: an internal error during flation";
    case ZR_CANCELLED: return "Cancelled by the user";
    default: return "unknown zip result code";
    }
}

}  // namespace

ZipHandle OpenZip(const wchar_t* path, const char* password) {
    if (path == nullptr) {
        Record(ZR_ARGS);
        return nullptr;
    }
    try {
        FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            Record(ZR_NOFILE);
            return nullptr;
        }
        auto archive = std::make_unique<ZipArchive>(std::move(file));
        archive->RootFolder = RootFolder();
        if (password != nullptr) archive->Password = password;
        // An archive that is not a readable single-disk ZIP counts as a file that cannot be
        // opened; one whose Zip64 end records are damaged is reported as damaged.
        if (auto status = archive->Reader.Open()) {
            Record(status);
            return nullptr;
        }
        Record(ZR_OK);
        return archive.release();
    } catch (const std::bad_alloc&) {
        Record(ZR_NOALLOC);
        return nullptr;
    }
}

ZipStatus GetZipItem(ZipHandle zip, int index, ZipMemberInfo* entry) {
    return Run(zip, [&](ZipArchive& archive) -> ZipStatus {
        if (entry == nullptr) return ZR_ARGS;
        entry->Name[0] = L'\0';
        entry->UncompressedSize = 0;
        entry->Index = 0;
        if (index < -1 || index >= archive.Reader.Count()) return ZR_ARGS;
        if (index == -1) {
            *entry = {};
            entry->Index = archive.Reader.Count();
            return ZR_OK;
        }
        return Describe(archive, index, *entry);
    });
}

ZipStatus GetZipItemDetails(ZipHandle zip, int index, ZipMemberDetails* details) {
    return Run(zip, [&](ZipArchive& archive) -> ZipStatus {
        if (details == nullptr || index < 0 || index >= archive.Reader.Count()) return ZR_ARGS;
        ZipMemberInfo entry;
        if (auto status = Describe(archive, index, entry)) return status;
        *details = archive.CachedDetails;
        return ZR_OK;
    });
}

ZipStatus FindZipItem(ZipHandle zip, const wchar_t* name, bool ignoreCase, int* index, ZipMemberInfo* entry) {
    return Run(zip, [&](ZipArchive& archive) -> ZipStatus {
        if (name == nullptr || index == nullptr || entry == nullptr) return ZR_ARGS;
        int found = -1;
        const std::u16string wanted(name, name + std::wcslen(name));
        if (auto status = archive.Reader.Find(wanted, ignoreCase, found)) {
            *index = -1;
            *entry = {};
            entry->Index = -1;
            return status;
        }
        *index = found;
        return Describe(archive, found, *entry);
    });
}

ZipStatus UnzipItem(ZipHandle zip, int index, const wchar_t* targetPath) {
    return Run(zip, [&](ZipArchive& archive) {
        return targetPath == nullptr ? ZR_ARGS : ExtractToFile(archive, index, targetPath);
    });
}

ZipStatus CloseZipHandle(ZipHandle zip) {
    return Run(zip, [](ZipArchive& archive) {
        archive.Kind = 0;
        delete &archive;
        return ZR_OK;
    });
}

ZipStatus GetLastZipResult() { return g_LastResult; }

unsigned FormatZipMessage(ZipStatus code, char* buffer, unsigned size) {
    const char* text = ZipStatusText(code == ZR_RECENT ? g_LastResult : code);
    const std::size_t length = std::strlen(text);
    if (buffer != nullptr && size > 0) {
        const std::size_t copied = std::min<std::size_t>(length, size - 1);
        std::memcpy(buffer, text, copied);
        buffer[copied] = '\0';
    }
    return static_cast<unsigned>(length);
}
