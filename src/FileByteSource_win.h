// Random access to an open file for the parsers of untrusted bytes (archives, spool files).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ByteSource.h"
#include "handles_win.h"

class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(FileHandle file);
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t* got) override;
    std::uint64_t Size() override { return m_Size; }

private:
    FileHandle m_File;
    std::uint64_t m_Size = 0;
};

// The file opened for reading, sharing reads and writes with others (a spool file that the
// spooler still holds can be read); null when it cannot be opened.
std::unique_ptr<ByteSource> OpenFileForReading(const std::wstring& path);

// The file opened for reading while nobody writes it (readers are let in): a spool file that
// the spooler or another program still writes fails with a sharing violation instead of
// being read half-done. Empty when it cannot be opened; GetLastError says why.
FileHandle OpenFileDenyingWriters(const std::wstring& path);
