#include "FileByteSource_win.h"

#include <algorithm>

#include "pathutil_win.h"

FileByteSource::FileByteSource(FileHandle file) : m_File(std::move(file)) {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(m_File.get(), &size)) m_Size = static_cast<std::uint64_t>(size.QuadPart);
}

// Reads in steps of 1 MiB, since ReadFile counts in 32 bits.
bool FileByteSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t* got) {
    *got = 0;
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(m_File.get(), position, nullptr, FILE_BEGIN)) return false;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (*got < count) {
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(count - *got, 1u << 20));
        DWORD read = 0;
        if (!ReadFile(m_File.get(), bytes + *got, wanted, &read, nullptr)) return false;
        if (read == 0) break;
        *got += read;
    }
    return true;
}

std::unique_ptr<ByteSource> OpenFileForReading(const std::wstring& path) {
    FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<FileByteSource>(std::move(file));
}

FileHandle OpenFileDenyingWriters(const std::wstring& path) {
    return FileHandle(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}
