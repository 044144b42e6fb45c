// Builds EMF spool files for tests: the header record with a document name, pages (an EMF in
// a content record, then the page offset record that names it), DEVMODE and other records.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace emfbuild {

using Bytes = std::vector<std::uint8_t>;

inline void Put(Bytes& bytes, std::uint64_t value, int width = 4) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> 8 * i));
}
inline Bytes Set(Bytes bytes, std::size_t at, std::uint32_t value, int width = 4) {
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
    return bytes;
}

// An EMF record: type, size, fields.
inline Bytes Rec(std::uint32_t type, std::initializer_list<std::uint32_t> fields = {}) {
    Bytes record;
    Put(record, type);
    Put(record, 8 + 4 * fields.size());
    for (std::uint32_t field : fields) Put(record, field);
    return record;
}

// A page: EMR_HEADER (A4 at 300 dpi, 108 bytes), the records, EMR_EOF.
inline Bytes Emf(std::vector<Bytes> records = {Rec(27, {100, 100}), Rec(54, {900, 900}), Rec(43, {10, 10, 50, 50})},
                 std::uint32_t handles = 2) {
    records.push_back(Rec(14, {0, 16, 20}));
    Bytes emf = Rec(1, {0, 0, 2479, 3507, 0, 0, 20999, 29699, 0x464D4520, 0x10000, 0, 0, handles, 0, 0, 0,
                        2480, 3508, 210, 297, 0, 0, 0, 210000, 297000});
    for (const Bytes& record : records) emf.insert(emf.end(), record.begin(), record.end());
    return Set(Set(emf, 48, static_cast<std::uint32_t>(emf.size())), 52, static_cast<std::uint32_t>(records.size() + 1));
}

// A public DEVMODE and 8 private bytes: landscape, A4, 3 copies, collated; a duplex value and
// a form name whose dmFields bits are clear.
inline Bytes DevMode() {
    Bytes mode(228, 0);
    const std::u16string name = u"Office Laser";
    for (std::size_t i = 0; i < name.size(); ++i) mode = Set(mode, 2 * i, name[i], 2);
    for (auto [at, value] : std::initializer_list<std::pair<unsigned, unsigned>>{
             {68, 220}, {70, 8}, {76, 2}, {78, 9}, {86, 3}, {94, 2}, {100, 1}, {102, 'A'}})
        mode = Set(mode, at, value, 2);
    return Set(mode, 72, 0x1 | 0x2 | 0x100 | 0x8000);
}

struct Spool {
    Bytes File;

    explicit Spool(std::uint32_t version = 0x10000) {
        Put(File, version), Put(File, 0), Put(File, 16), Put(File, 0);
        for (char16_t unit : std::u16string(u"Report")) Put(File, unit, 2);
        Put(File, 0, 4);  // the terminator and padding to 4
        File = Set(File, 4, static_cast<std::uint32_t>(File.size()));
    }
    Spool& Raw(std::uint32_t id, const Bytes& data, std::uint32_t size = UINT32_MAX) {
        Put(File, id), Put(File, size == UINT32_MAX ? data.size() : size);
        File.insert(File.end(), data.begin(), data.end());
        return *this;
    }
    std::size_t Content(const Bytes& emf, std::uint32_t id = 12) {
        std::size_t start = File.size();
        Raw(id, emf);
        return start;
    }
    Spool& Offset(std::uint64_t distance, std::uint32_t id = 13) {
        Bytes data;
        Put(data, distance, 8);
        return Raw(id, data);
    }
    Spool& PageAt(std::size_t content, std::uint32_t id = 13) { return Offset(File.size() - content, id); }
    Spool& Page(const Bytes& emf = Emf(), std::uint32_t id = 13) { return PageAt(Content(emf), id); }
};

}  // namespace emfbuild
