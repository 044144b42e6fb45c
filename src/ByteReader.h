// Bounds-checked little-endian reader over untrusted bytes. Once a read falls outside the
// data the reader stays failed: every later read returns zero or nothing, so a parser can
// read a whole record and test Failed() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::uint8_t> data) : m_Data(data) {}

    std::uint8_t U8() {
        auto bytes = Bytes(1);
        return bytes.empty() ? 0 : bytes[0];
    }
    std::uint16_t U16() {
        auto bytes = Bytes(2);
        return bytes.empty() ? 0 : static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
    }
    std::uint32_t U32() {
        auto bytes = Bytes(4);
        if (bytes.empty()) return 0;
        return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
               static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    }
    std::uint64_t U64() {
        auto bytes = Bytes(8);
        std::uint64_t value = 0;
        for (std::size_t i = bytes.size(); i-- > 0;) value = value << 8 | bytes[i];
        return value;
    }

    // The next count bytes, or an empty span (and failure) when fewer remain.
    std::span<const std::uint8_t> Bytes(std::size_t count) {
        if (m_Failed || count > Remaining()) {
            m_Failed = true;
            return {};
        }
        auto bytes = m_Data.subspan(m_Position, count);
        m_Position += count;
        return bytes;
    }

    void Skip(std::size_t count) { Bytes(count); }

    // Positions at or before the end are valid; the end itself leaves nothing to read.
    void Seek(std::size_t position) {
        if (m_Failed || position > m_Data.size()) {
            m_Failed = true;
            return;
        }
        m_Position = position;
    }

    std::size_t Position() const { return m_Position; }
    std::size_t Remaining() const { return m_Data.size() - m_Position; }
    std::size_t Size() const { return m_Data.size(); }
    bool Failed() const { return m_Failed; }

private:
    std::span<const std::uint8_t> m_Data;
    std::size_t m_Position = 0;
    bool m_Failed = false;
};
