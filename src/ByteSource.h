// Random access to untrusted bytes that need not fit in memory (archives, spool files of
// several GiB on a 32-bit process): parsers read what they need at 64-bit offsets and check
// what they read with ByteReader. The Win32 side reads a file; tests and fuzzing read memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

struct ByteSource {
    virtual ~ByteSource() = default;
    // Reads up to count bytes at offset; *got is less than count only at the end of the data.
    // False on an I/O failure.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t* got) = 0;
    virtual std::uint64_t Size() = 0;
};

// A source over bytes in memory.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> data) : m_Data(data) {}
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t* got) override {
        *got = 0;
        if (offset >= m_Data.size() || count == 0) return true;
        *got = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_Data.size() - offset));
        std::memcpy(buffer, m_Data.data() + offset, *got);
        return true;
    }
    std::uint64_t Size() override { return m_Data.size(); }

private:
    std::span<const std::uint8_t> m_Data;
};
