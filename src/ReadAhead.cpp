#include "ReadAhead.h"

#include <algorithm>

bool ReadAhead::Read(std::uint64_t offset, std::size_t count, std::span<const std::uint8_t>& bytes) {
    if (!Holds(offset, count)) {
        // Bytes read ahead may be ones the source cannot give (a damaged disk): smaller blocks
        // are tried, down to the bytes asked for, which alone decide whether the read fails,
        // as they did before the walk read ahead. Each smaller block that works halves the way
        // to the bad bytes, so they cost a few dozen reads, not one per record.
        std::size_t wanted = std::max(count, NextBlock(offset));
        while (!Fill(offset, count, wanted)) {
            if (wanted == count) return false;
            m_Ahead = wanted = std::max(count, wanted / 2);
        }
    }
    bytes = std::span<const std::uint8_t>(m_Block).subspan(static_cast<std::size_t>(offset - m_Start), count);
    return true;
}

// A read at or just past the block goes on with the walk: the next block is twice as large.
// Anything else is a jump, after which the walk may well jump again.
std::size_t ReadAhead::NextBlock(std::uint64_t offset) {
    const bool goesOn = offset >= m_Start && offset - m_Start <= m_Block.size() + m_Ahead;
    m_Ahead = goesOn ? std::clamp(m_Ahead * 2, kFirstBlock, kLargestBlock) : kFirstBlock;
    return m_Ahead;
}

bool ReadAhead::Holds(std::uint64_t offset, std::size_t count) const {
    return offset >= m_Start && offset - m_Start <= m_Block.size() && count <= m_Block.size() - (offset - m_Start);
}

// The block becomes up to wanted bytes at offset (fewer at the end of the data); true when it
// holds the count bytes asked for. After a failure it holds nothing.
bool ReadAhead::Fill(std::uint64_t offset, std::size_t count, std::size_t wanted) {
    m_Start = offset;
    m_Block.resize(wanted);
    std::size_t done = 0;
    while (done < wanted) {
        std::size_t got = 0;
        if (!m_Source.ReadAt(offset + done, m_Block.data() + done, wanted - done, &got)) {
            m_Block.clear();
            return false;
        }
        if (got == 0) break;
        done += got;
    }
    m_Block.resize(done);
    return done >= count;
}
