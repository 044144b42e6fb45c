// libFuzzer target: the input is a whole archive, read through the platform-neutral ZIP reader
// the way the program uses it: open, count, describe every member, find names, extract every
// member (again with a password when one is asked for). Extracted bytes never exceed the
// member's declared size, and a successful extraction delivers exactly that size.
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
    zip::ZipReader reader(source);
    if (reader.Open() != ZR_OK) return 0;
    // A Zip64 directory must hold a record's fixed part for each entry it claims.
    Require(reader.Count() >= 0 && (reader.Count() <= 0xFFFF || std::uint64_t(reader.Count()) * 46 <= size));

    const int members = std::min(reader.Count(), kMaxMembers);
    for (int i = 0; i < members; ++i) {
        zip::MemberInfo info;
        const bool described = reader.Describe(i, info) == ZR_OK;
        if (described) {
            Require(info.Index == i && info.Name.size() <= 259);
            // A reported name is always found again, at this member or an earlier namesake.
            int found = -1;
            Require(reader.Find(info.Name, true, found) == ZR_OK && found >= 0 && found <= i);
        }
        for (const char* password : {static_cast<const char*>(nullptr), "secret"}) {
            CountingSink sink;
            const ZipStatus status = reader.Extract(i, password, sink);
            if (described) {
                Require(sink.Count <= info.UncompressedSize);
                if (status == ZR_OK) Require(sink.Count == info.UncompressedSize);
            }
            if (status != ZR_PASSWORD) break;
        }
    }

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
