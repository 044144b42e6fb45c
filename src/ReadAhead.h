// Reading of a ByteSource for a walk that moves forward through many small records (the
// records of an EMF spool file): each read is served from a block read ahead, so a file of
// millions of 8-byte records costs a few hundred reads of the source, not one (on Windows two
// system calls) per record. The block grows while the walk goes on through it and starts
// small again after a jump (a page's bytes passed over), so a walk over large records reads
// little more than their headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ByteSource.h"

class ReadAhead {
public:
    static constexpr std::size_t kFirstBlock = 4 * 1024;
    static constexpr std::size_t kLargestBlock = 256 * 1024;

    explicit ReadAhead(ByteSource& source) : m_Source(source) {}

    // Exactly count bytes at offset, in bytes (valid until the next call); false when the
    // source fails or ends first. Bytes read ahead that the source cannot give fail only a
    // read that needs them.
    bool Read(std::uint64_t offset, std::size_t count, std::span<const std::uint8_t>& bytes);

private:
    bool Holds(std::uint64_t offset, std::size_t count) const;
    std::size_t NextBlock(std::uint64_t offset);
    bool Fill(std::uint64_t offset, std::size_t count, std::size_t wanted);

    ByteSource& m_Source;
    std::size_t m_Ahead = 0;  // the size of the last block read ahead
    std::uint64_t m_Start = 0;
    std::vector<std::uint8_t> m_Block;  // the source's bytes from m_Start on
};
