// libFuzzer target: the input is a whole archive, read through the platform-neutral ZIP reader
// the way the program uses it, with names in code page 437 where neither flag bit 11 nor a
// Unicode Path field says otherwise: open, count, describe every member, find names, extract
// every member (again with a password when one is asked for). Extracted bytes never exceed the
// member's declared size, a successful extraction delivers exactly that size, and members that
// extract never share bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "zip/ZipParse.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

struct CountingSink final : zip::ByteSink {
    bool Write(const std::uint8_t* data, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) Checksum += data[i];
        Count += count;
        return true;
    }
    std::uint64_t Count = 0;
    std::uint32_t Checksum = 0;
};

// Enough members to reach every record kind; more only repeat the same work.
constexpr int kMaxMembers = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zip::MemorySource source({data, size});
    zip::ZipReader reader(source, zip::Cp437ToUtf16);
    if (reader.Open() != ZR_OK) return 0;
    // A Zip64 directory must hold a record's fixed part for each entry it claims.
    Require(reader.Count() >= 0 && (reader.Count() <= 0xFFFF || std::uint64_t(reader.Count()) * 46 <= size));

    const int members = std::min(reader.Count(), kMaxMembers);
    std::uint64_t extractedSpans = 0;  // local headers and data of the members that extracted
    for (int i = 0; i < members; ++i) {
        zip::MemberInfo info;
        const bool described = reader.Describe(i, info) == ZR_OK;
        if (described) {
            Require(info.Index == i);
            // A reported name is always found again, at this member, unless another has it too.
            int found = -1;
            const ZipStatus status = reader.Find(info.Name, true, found);
            Require(status == ZR_DUPLICATE || (status == ZR_OK && found == i));
        }
        for (const char* password : {static_cast<const char*>(nullptr), "secret"}) {
            CountingSink sink;
            const ZipStatus status = reader.Extract(i, password, sink);
            if (described) {
                Require(sink.Count <= info.UncompressedSize);
                if (status == ZR_OK) Require(sink.Count == info.UncompressedSize);
            }
            if (status == ZR_OK) extractedSpans += 30 + info.CompressedSize;
            if (status != ZR_PASSWORD) break;
        }
    }
    // Members that do not overlap fit into the file side by side.
    Require(extractedSpans <= size);

    // Names to look for: a fixed one and the input's first bytes, with and without case.
    const std::u16string prefix = zip::Utf8ToUtf16(
        std::string_view(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 12)));
    for (std::u16string_view name : {std::u16string_view(u"a.SPL"), std::u16string_view(prefix)}) {
        for (bool ignoreCase : {false, true}) {
            int index = -1;
            if (reader.Find(name, ignoreCase, index) == ZR_OK) Require(index >= 0 && index < reader.Count());
        }
    }
    // Walking back after the search still gives the first member as before.
    zip::MemberInfo first, again;
    if (members > 0 && reader.Describe(0, first) == ZR_OK) {
        Require(reader.Describe(0, again) == ZR_OK && again.Name == first.Name);
    }
    return 0;
}
