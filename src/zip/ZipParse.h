// Platform-neutral core of the ZIP reader: everything that touches the archive's untrusted
// bytes (directory search and walk, local headers, names, times, attributes, decryption,
// inflation, CRC-32). Archive bytes come in through ByteSource, member bytes go out through
// ByteSink; memory use does not depend on member sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ByteSource.h"
#include "Progress.h"
#include "zip/ZipStatus.h"

namespace zip {

// The archive is read through the shared seam; MemorySource serves tests and fuzzing.
using ::ByteSource;
using ::MemorySource;

struct ByteSink {
    virtual ~ByteSink() = default;
    virtual bool Write(const std::uint8_t* data, std::size_t count) = 0;
};

struct DosDateTime {
    int Year, Month, Day, Hour, Minute, Second;
};
DosDateTime SplitDosDateTime(std::uint16_t date, std::uint16_t time);

// Times of an "UT" (extended timestamp) extra block, as FILETIME ticks (100 ns since 1601, UTC).
struct ExtendedTimes {
    std::optional<std::uint64_t> Write, Access, Creation;
};
ExtendedTimes ReadExtendedTimes(std::span<const std::uint8_t> extraField);

// Windows file attributes from the host system (high byte of version made by).
std::uint32_t AttributesFromHost(std::uint16_t versionMadeBy, std::uint32_t externalAttributes);

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// Decodes a name in the OEM code page of the machine (CP_OEMCP on Windows), for names that
// are neither flagged as UTF-8 nor given in a Unicode Path field.
using NameDecoder = std::u16string (*)(std::string_view bytes);
// Code page 437, the OEM code page of US Windows: the decoder where no system is asked.
std::u16string Cp437ToUtf16(std::string_view bytes);
// Drops drive prefixes, leading separators and everything up to the last "\..\"-like step.
std::u16string CleanMemberName(std::u16string name);

struct MemberInfo {
    int Index = 0;
    std::u16string Name;  // decoded and cleaned, whole
    std::uint16_t Method = 0;
    bool Encrypted = false;
    std::uint32_t Attributes = 0;
    DosDateTime LocalTime{};  // from the directory, in local time
    ExtendedTimes Times;      // from the local "UT" block, when present
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
};

// One central-directory record; sizes and offset that it saturates are taken from its Zip64 block.
struct CentralRecord {
    std::uint16_t VersionMadeBy = 0, Flags = 0, Method = 0, DosTime = 0, DosDate = 0;
    std::uint32_t Crc = 0;
    std::uint64_t CompressedSize = 0, UncompressedSize = 0;
    std::uint16_t NameLength = 0, ExtraLength = 0, CommentLength = 0;
    std::uint32_t ExternalAttributes = 0;
    std::uint64_t LocalHeaderOffset = 0;
    std::string Name;  // raw bytes, complete
    std::vector<std::uint8_t> Extra;
};

class ZipReader {
public:
    ZipReader(ByteSource& source, NameDecoder decodeOem) : m_Source(source), m_DecodeOem(decodeOem) {}

    // ZR_OK; ZR_NOFILE when no acceptable single-disk end record is found; ZR_CORRUPT when
    // the Zip64 end records that the archive announces are damaged.
    ZipStatus Open();
    int Count() const { return m_Count; }
    ZipStatus Describe(int index, MemberInfo& info);
    // Compares cleaned names, as Describe reports them; ZR_DUPLICATE when more than one member
    // has the name. ZR_NOTFOUND and ZR_DUPLICATE leave the walker where it stood.
    ZipStatus Find(std::u16string_view name, bool ignoreCase, int& index);
    // Streams the member's bytes to the sink; ZR_CORRUPT when they disagree with the directory
    // or share bytes with another member, ZR_METHOD or ZR_ENCRYPTED when they cannot be
    // decoded, ZR_CANCELLED when the watcher stops it between two steps.
    ZipStatus Extract(int index, const char* password, ByteSink& sink, OperationProgress* progress = nullptr);

private:
    struct Walker {
        int Current = -1;
        std::uint64_t Position = 0;
        CentralRecord Record;
    };
    struct LocalHeader {
        std::vector<std::uint8_t> Extra;
        std::uint64_t DataStart = 0;
    };

    bool HasZip64Locator(std::uint64_t endRecord);
    ZipStatus OpenZip64(std::uint64_t locatorPosition);
    void StartWalk(std::uint64_t directoryStart, std::uint64_t directoryLimit, int count);
    ZipStatus GoTo(int index);
    bool ReadRecordAt(std::uint64_t position);
    std::u16string ReportedName(const CentralRecord& record) const;
    ZipStatus CheckLocalHeader(LocalHeader& header);
    bool Overlapped(int index);
    void FindOverlaps();
    bool ReadExact(std::uint64_t offset, void* buffer, std::size_t count);

    ByteSource& m_Source;
    NameDecoder m_DecodeOem;
    int m_Count = 0;
    int m_Reachable = 0;                 // indexes from here on lie behind a damaged record
    std::uint64_t m_DirectoryStart = 0;  // first central record, file position
    std::uint64_t m_DirectoryLimit = 0;  // central records end before it: the (Zip64) end record
    std::uint64_t m_Prepended = 0;       // bytes in front of the archive
    Walker m_Walker;
    bool m_OverlapsFound = false;
    std::vector<bool> m_Overlapped;  // by index
};

}  // namespace zip
