#include "zip/ZipParse.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "ByteReader.h"
#include "Progress.h"

namespace zip {
namespace {

constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralRecordSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndRecordSize = 56;   // without its extensible data
constexpr std::uint64_t kZip64EndLeadSize = 12;   // signature and size field, not counted by the size
constexpr std::uint64_t kSaturated32 = 0xFFFFFFFF;  // "the value is in the Zip64 block"
// The largest comment and the record itself: a record followed by a 65,535-byte comment
// starts 65,557 bytes before the end.
constexpr std::uint64_t kEndSearchWindow = 0xFFFF + kEndRecordSize;
constexpr std::size_t kEndSearchStep = 1024;
constexpr std::size_t kStreamStep = 16384;
constexpr std::size_t kEncryptionHeaderSize = 12;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::uint16_t kExtendedTimestampTag = 0x5455;  // "UT"
constexpr std::uint16_t kZip64Tag = 0x0001;
constexpr std::uint16_t kUnicodePathTag = 0x7075;  // Info-ZIP Unicode Path

constexpr std::uint32_t kAttributeReadOnly = 0x01;
constexpr std::uint32_t kAttributeHidden = 0x02;
constexpr std::uint32_t kAttributeSystem = 0x04;
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;

// Seconds since 1970 to 100 ns ticks since 1601.
std::uint64_t UnixTimeToTicks(std::int32_t seconds) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(seconds) * 10000000 + 116444736000000000LL);
}

// The data of the first block with this tag, cut to what the extra field holds.
std::optional<std::span<const std::uint8_t>> FindExtraBlock(std::span<const std::uint8_t> extraField,
                                                            std::uint16_t tag) {
    ByteReader reader(extraField);
    while (reader.Remaining() > 4) {
        const std::uint16_t blockTag = reader.U16();
        const std::uint16_t size = reader.U16();
        const auto data = reader.Bytes(std::min<std::size_t>(size, reader.Remaining()));
        if (blockTag == tag) return data;
    }
    return std::nullopt;
}

// Each field that its header saturates takes the next 8 bytes of the Zip64 block, in the
// order given; what follows (writers that put every field in) is not read, nor is the disk
// number, which comes last. Without a block the fields keep their 32-bit values, as they did
// before Zip64 was read; false when the block ends before a saturated field.
bool ApplyZip64Block(std::span<const std::uint8_t> extraField, std::initializer_list<std::uint64_t*> fields) {
    const auto block = FindExtraBlock(extraField, kZip64Tag);
    if (!block) return true;
    ByteReader reader(*block);
    for (std::uint64_t* field : fields) {
        if (*field == kSaturated32) *field = reader.U64();
    }
    return !reader.Failed();
}

// The candidate nearest the end of the file, searching the last 64 KiB and 22 bytes backwards in 1028-byte
// chunks that overlap by 4 bytes, so that a signature across a chunk border is still seen.
std::optional<std::uint64_t> FindEndRecord(ByteSource& source) {
    const std::uint64_t size = source.Size();
    const std::uint64_t window = std::min(size, kEndSearchWindow);
    std::uint8_t chunk[kEndSearchStep + 4];
    for (std::uint64_t back = 4; back < window;) {
        back = std::min(back + kEndSearchStep, window);
        const std::uint64_t start = size - back;
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, back));
        std::size_t got = 0;
        if (!source.ReadAt(start, chunk, wanted, &got) || got != wanted) return std::nullopt;
        for (std::size_t i = wanted - 3; i-- > 0;) {  // "PK\5\6"
            if (chunk[i] == 0x50 && chunk[i + 1] == 0x4B && chunk[i + 2] == 0x05 && chunk[i + 3] == 0x06)
                return start + i;
        }
    }
    return std::nullopt;
}

// Where an end record, classic or Zip64, says the directory is. Fields are read in this order.
struct DirectoryPlace {
    std::uint32_t Disk, DirectoryDisk;
    std::uint64_t EntriesOnDisk, Entries, Size, Offset;

    // Entries on this disk that are not all of them mean more disks.
    bool OnOneDisk() const { return Disk == 0 && DirectoryDisk == 0 && EntriesOnDisk == Entries; }
};

bool SameName(std::u16string_view stored, std::u16string_view wanted, bool ignoreCase) {
    auto fold = [ignoreCase](char16_t c) {
        return ignoreCase && c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    };
    return stored.size() == wanted.size() && std::equal(stored.begin(), stored.end(), wanted.begin(),
                                                        [&](char16_t a, char16_t b) { return fold(a) == fold(b); });
}

std::uint32_t Crc32(std::string_view bytes) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Flag bit 11 says UTF-8. Without it, an Info-ZIP Unicode Path field (version 1) holds the
// name in UTF-8, provided its CRC-32 shows it was written for these very header bytes (a
// tool that renames a member may leave the old field behind); otherwise the name is in the
// OEM code page, as Windows' own zipper and older tools write it.
std::u16string DecodeName(std::string_view raw, std::uint16_t flags, std::span<const std::uint8_t> extra,
                          NameDecoder decodeOem) {
    if (flags & kFlagUtf8) return Utf8ToUtf16(raw);
    if (const auto field = FindExtraBlock(extra, kUnicodePathTag)) {
        ByteReader reader(*field);
        const std::uint8_t version = reader.U8();
        const std::uint32_t crc = reader.U32();
        const auto name = reader.Bytes(reader.Remaining());
        if (!reader.Failed() && version == 1 && crc == Crc32(raw))
            return Utf8ToUtf16({reinterpret_cast<const char*>(name.data()), name.size()});
    }
    return decodeOem(raw);
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// Traditional PKWARE encryption, as the ZIP application note describes it.
class TraditionalCipher {
public:
    void Start(std::string_view password) {
        m_Keys[0] = 0x12345678;
        m_Keys[1] = 0x23456789;
        m_Keys[2] = 0x34567890;
        for (char c : password) Update(static_cast<std::uint8_t>(c));
    }
    std::uint8_t Decrypt(std::uint8_t c) {
        const std::uint32_t t = (m_Keys[2] | 2) & 0xFFFF;
        const auto plain = static_cast<std::uint8_t>(c ^ ((t * (t ^ 1)) >> 8));
        Update(plain);
        return plain;
    }

private:
    static std::uint32_t Crc32Byte(std::uint32_t crc, std::uint8_t b) {
        return static_cast<std::uint32_t>(get_crc_table()[(crc ^ b) & 0xFF]) ^ (crc >> 8);
    }
    void Update(std::uint8_t b) {
        m_Keys[0] = Crc32Byte(m_Keys[0], b);
        m_Keys[1] = (m_Keys[1] + (m_Keys[0] & 0xFF)) * 134775813u + 1;
        m_Keys[2] = Crc32Byte(m_Keys[2], static_cast<std::uint8_t>(m_Keys[1] >> 24));
    }
    std::uint32_t m_Keys[3] = {0x12345678, 0x23456789, 0x34567890};
};

// The member's compressed bytes, decrypted when a cipher is set.
class MemberInput {
public:
    MemberInput(ByteSource& source, std::uint64_t start, std::uint64_t size)
        : m_Source(source), m_Position(start), m_Left(size) {}

    std::uint64_t Left() const { return m_Left; }

    // ZR_CORRUPT when the archive ends before the member's data, ZR_FLATE when reading fails.
    ZipStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t* got) {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, m_Left));
        std::size_t arrived = 0;
        if (!m_Source.ReadAt(m_Position, buffer, wanted, &arrived)) return ZR_FLATE;
        if (arrived != wanted) return ZR_CORRUPT;
        if (m_Encrypted) {
            for (std::size_t i = 0; i < wanted; ++i) buffer[i] = m_Cipher.Decrypt(buffer[i]);
        }
        m_Position += wanted;
        m_Left -= wanted;
        *got = wanted;
        return ZR_OK;
    }

    // The last byte of the decrypted 12-byte header must be the check byte.
    ZipStatus StartDecryption(const char* password, std::uint8_t checkByte) {
        if (password == nullptr) return ZR_PASSWORD;
        if (m_Left < kEncryptionHeaderSize) return ZR_CORRUPT;
        m_Cipher.Start(password);
        m_Encrypted = true;
        std::uint8_t header[kEncryptionHeaderSize];
        std::size_t got = 0;
        if (auto status = Read(header, sizeof header, &got)) return status;
        return header[kEncryptionHeaderSize - 1] == checkByte ? ZR_OK : ZR_PASSWORD;
    }

private:
    ByteSource& m_Source;
    std::uint64_t m_Position;
    std::uint64_t m_Left;
    bool m_Encrypted = false;
    TraditionalCipher m_Cipher;
};

// Passes produced bytes on while holding them to the directory's size and CRC-32: a member
// that would grow past its declared size stops at once.
class MemberOutput {
public:
    MemberOutput(ByteSink& sink, std::uint64_t expectedSize, std::uint32_t expectedCrc, OperationProgress* progress)
        : m_Sink(sink), m_Expected(expectedSize), m_ExpectedCrc(expectedCrc), m_Progress(progress) {}

    std::uint64_t Expected() const { return m_Expected; }

    ZipStatus Write(const std::uint8_t* data, std::size_t count) {
        if (count == 0) return ZR_OK;
        if (count > m_Expected - m_Produced) return ZR_CORRUPT;
        m_Crc = static_cast<std::uint32_t>(crc32(m_Crc, data, static_cast<uInt>(count)));
        m_Produced += count;
        if (!m_Sink.Write(data, count)) return ZR_WRITE;
        return ReportStep(m_Progress, count) ? ZR_OK : ZR_CANCELLED;  // the user may stop it after each step
    }

    ZipStatus Finish() const { return m_Produced == m_Expected && m_Crc == m_ExpectedCrc ? ZR_OK : ZR_CORRUPT; }

private:
    ByteSink& m_Sink;
    std::uint64_t m_Expected;
    std::uint32_t m_ExpectedCrc;
    OperationProgress* m_Progress;
    std::uint64_t m_Produced = 0;
    std::uint32_t m_Crc = 0;
};

ZipStatus CopyStored(MemberInput& input, MemberOutput& output) {
    if (input.Left() != output.Expected()) return ZR_CORRUPT;
    std::vector<std::uint8_t> buffer(kStreamStep);
    while (input.Left() > 0) {
        std::size_t got = 0;
        if (auto status = input.Read(buffer.data(), buffer.size(), &got)) return status;
        if (auto status = output.Write(buffer.data(), got)) return status;
    }
    return ZR_OK;
}

class RawInflate {
public:
    RawInflate() { m_Ready = inflateInit2(&m_Stream, -MAX_WBITS) == Z_OK; }
    ~RawInflate() {
        if (m_Ready) inflateEnd(&m_Stream);
    }
    RawInflate(const RawInflate&) = delete;
    RawInflate& operator=(const RawInflate&) = delete;
    bool Ready() const { return m_Ready; }
    z_stream& Stream() { return m_Stream; }

private:
    z_stream m_Stream{};
    bool m_Ready = false;
};

ZipStatus InflateDeflated(MemberInput& input, MemberOutput& output) {
    // Some writers store an empty member as "deflated" with no data at all.
    if (input.Left() == 0 && output.Expected() == 0) return ZR_OK;
    RawInflate inflater;
    if (!inflater.Ready()) return ZR_FLATE;
    z_stream& z = inflater.Stream();
    std::vector<std::uint8_t> in(kStreamStep), out(kStreamStep);
    for (;;) {
        if (z.avail_in == 0 && input.Left() > 0) {
            std::size_t got = 0;
            if (auto status = input.Read(in.data(), in.size(), &got)) return status;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(got);
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        if (auto status = output.Write(out.data(), out.size() - z.avail_out)) return status;
        if (rc == Z_STREAM_END) return ZR_OK;
        const bool inputUsedUp = z.avail_in == 0 && input.Left() == 0;
        if (rc == Z_BUF_ERROR) return inputUsedUp ? ZR_CORRUPT : ZR_FLATE;
        if (rc != Z_OK) return ZR_FLATE;
        // The data ended while the stream still wanted more.
        if (inputUsedUp && z.avail_out > 0) return ZR_CORRUPT;
    }
}

}  // namespace

DosDateTime SplitDosDateTime(std::uint16_t date, std::uint16_t time) {
    return {1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F, 2 * (time & 0x1F)};
}

ExtendedTimes ReadExtendedTimes(std::span<const std::uint8_t> extraField) {
    ExtendedTimes times;
    const auto data = FindExtraBlock(extraField, kExtendedTimestampTag);
    if (!data) return times;
    // Flags, then one time for each flag set; a time the block does not hold is not taken.
    ByteReader block(*data);
    const std::uint8_t flags = block.U8();
    auto next = [&block]() -> std::optional<std::uint64_t> {
        const auto seconds = static_cast<std::int32_t>(block.U32());
        if (block.Failed()) return std::nullopt;
        return UnixTimeToTicks(seconds);
    };
    if (flags & 1) times.Write = next();
    if (flags & 2) times.Access = next();
    if (flags & 4) times.Creation = next();
    return times;
}

std::uint32_t AttributesFromHost(std::uint16_t versionMadeBy, std::uint32_t externalAttributes) {
    const int host = versionMadeBy >> 8;
    if (host == 0 || host == 7 || host == 11 || host == 14) {
        // MS-DOS, Macintosh, NTFS, VFAT: the low byte holds DOS attributes.
        return externalAttributes &
               (kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeDirectory | kAttributeArchive);
    }
    // Unix-like hosts: the high word holds the mode; owner write permission is bit 23.
    std::uint32_t attributes = kAttributeArchive;
    if (externalAttributes & (1u << 30)) attributes |= kAttributeDirectory;
    if (!(externalAttributes & (1u << 23))) attributes |= kAttributeReadOnly;
    return attributes;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0, least = 0;
        if ((lead & 0xE0) == 0xC0) length = 2, code = lead & 0x1F, least = 0x80;
        else if ((lead & 0xF0) == 0xE0) length = 3, code = lead & 0x0F, least = 0x800;
        else if ((lead & 0xF8) == 0xF0) length = 4, code = lead & 0x07, least = 0x10000;
        std::size_t k = 1;
        for (; k < length && i + k < text.size() && (static_cast<std::uint8_t>(text[i + k]) & 0xC0) == 0x80; ++k)
            code = code << 6 | (static_cast<std::uint8_t>(text[i + k]) & 0x3F);
        i += k;
        if (length == 0 || k < length || code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out += u'\uFFFD';
        } else if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::u16string Cp437ToUtf16(std::string_view bytes) {
    static constexpr std::u16string_view kUpperHalf = u"ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»"
                                                      u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
                                                      u"αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";
    static_assert(kUpperHalf.size() == 128);
    std::u16string out;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        out += b < 0x80 ? static_cast<char16_t>(b) : kUpperHalf[b - 0x80];
    }
    return out;
}

// Repeats until nothing applies: drop a drive ("X:"), skip past the last parent step
// ("\..\", "\../", "/../", "/..\") or drop one leading separator. A name that merely begins
// with "../" keeps it.
std::u16string CleanMemberName(std::u16string name) {
    static constexpr std::u16string_view kParentSteps[] = {u"\\..\\", u"\\../", u"/../", u"/..\\"};
    for (;;) {
        if (name.size() >= 2 && name[1] == u':') {
            name.erase(0, 2);
            continue;
        }
        std::size_t cut = 0;
        for (auto step : kParentSteps) {
            const auto at = name.rfind(step);
            if (at != std::u16string::npos) cut = std::max(cut, at + step.size());
        }
        if (cut > 0) {
            name.erase(0, cut);
            continue;
        }
        if (!name.empty() && (name[0] == u'\\' || name[0] == u'/')) {
            name.erase(0, 1);
            continue;
        }
        return name;
    }
}

bool ZipReader::ReadExact(std::uint64_t offset, void* buffer, std::size_t count) {
    std::size_t got = 0;
    return count == 0 || (m_Source.ReadAt(offset, buffer, count, &got) && got == count);
}

ZipStatus ZipReader::Open() {
    const auto end = FindEndRecord(m_Source);
    std::uint8_t bytes[kEndRecordSize];
    if (!end || !ReadExact(*end, bytes, sizeof bytes)) return ZR_NOFILE;
    ByteReader record(bytes);
    record.Skip(4);
    const DirectoryPlace place{record.U16(), record.U16(), record.U16(), record.U16(), record.U32(), record.U32()};
    const std::uint16_t commentLength = record.U16();
    // A comment running past the end of the file means this is no end record.
    if (m_Source.Size() - *end - kEndRecordSize < commentLength) return ZR_NOFILE;
    // Some writers announce Zip64 end records even when every field above fits; either way
    // the Zip64 record's values are the ones to read.
    if (HasZip64Locator(*end)) return OpenZip64(*end - kZip64LocatorSize);
    const std::uint64_t directoryEnd = place.Offset + place.Size;
    if (!place.OnOneDisk() || *end < directoryEnd) return ZR_NOFILE;
    m_Prepended = *end - directoryEnd;
    StartWalk(place.Offset + m_Prepended, *end, static_cast<int>(place.Entries));
    return ZR_OK;
}

bool ZipReader::HasZip64Locator(std::uint64_t endRecord) {
    std::uint8_t signature[4];
    return endRecord >= kZip64LocatorSize && ReadExact(endRecord - kZip64LocatorSize, signature, sizeof signature) &&
           ByteReader(signature).U32() == kZip64LocatorSignature;
}

// The Zip64 end record lies where the locator says, or, when bytes were put in front of the
// archive (a self-extractor's stub) after the zipper wrote the offsets, right before the
// locator: the difference is the number of those bytes, as on the classic path. Either way
// the record lies whole before the locator and the directory before the record. A directory
// too small for the entries it claims is damaged, not merely short.
ZipStatus ZipReader::OpenZip64(std::uint64_t locatorPosition) {
    std::uint8_t locatorBytes[kZip64LocatorSize];
    if (!ReadExact(locatorPosition, locatorBytes, sizeof locatorBytes)) return ZR_NOFILE;
    ByteReader locator(locatorBytes);
    locator.Skip(4);
    const std::uint32_t recordDisk = locator.U32();
    const std::uint64_t recordOffset = locator.U64();
    const std::uint32_t disks = locator.U32();
    if (recordDisk != 0 || disks > 1) return ZR_NOFILE;

    std::uint8_t bytes[kZip64EndRecordSize];
    auto recordAt = [&](std::uint64_t position) {
        return position <= locatorPosition && locatorPosition - position >= sizeof bytes &&
               ReadExact(position, bytes, sizeof bytes) && ByteReader(bytes).U32() == kZip64EndSignature;
    };
    std::uint64_t recordPosition = recordOffset;
    if (!recordAt(recordPosition)) {
        recordPosition = locatorPosition - std::min<std::uint64_t>(locatorPosition, sizeof bytes);
        if (recordPosition <= recordOffset || !recordAt(recordPosition)) return ZR_CORRUPT;
    }
    const std::uint64_t prepended = recordPosition - recordOffset;
    ByteReader record(bytes);
    record.Skip(4);  // signature
    const std::uint64_t recordSize = record.U64();
    record.Skip(4);  // versions made by and needed
    const DirectoryPlace place{record.U32(), record.U32(), record.U64(), record.U64(), record.U64(), record.U64()};
    if (recordSize < sizeof bytes - kZip64EndLeadSize ||
        recordSize > locatorPosition - recordPosition - kZip64EndLeadSize)
        return ZR_CORRUPT;
    if (!place.OnOneDisk()) return ZR_NOFILE;
    if (place.Offset > recordOffset || recordOffset - place.Offset < place.Size ||
        place.Entries > place.Size / kCentralRecordSize || place.Entries > INT_MAX)
        return ZR_CORRUPT;
    m_Prepended = prepended;
    StartWalk(place.Offset + prepended, recordPosition, static_cast<int>(place.Entries));
    return ZR_OK;
}

void ZipReader::StartWalk(std::uint64_t directoryStart, std::uint64_t directoryLimit, int count) {
    m_DirectoryStart = directoryStart;
    m_DirectoryLimit = directoryLimit;
    m_Count = count;
    m_Reachable = count;
    m_Walker = {};
    if (m_Count > 0) GoTo(0);  // a damaged first record shows when a member is asked for
}

// Reads the record at position into the walker; false (walker unchanged) when it is not a
// complete central record lying before the end record.
bool ZipReader::ReadRecordAt(std::uint64_t position) {
    std::uint8_t fixed[kCentralRecordSize];
    if (position > m_DirectoryLimit || m_DirectoryLimit - position < sizeof fixed ||
        !ReadExact(position, fixed, sizeof fixed))
        return false;
    ByteReader reader(fixed);
    if (reader.U32() != kCentralSignature) return false;
    CentralRecord record;
    record.VersionMadeBy = reader.U16();
    reader.Skip(2);  // version needed
    record.Flags = reader.U16();
    record.Method = reader.U16();
    record.DosTime = reader.U16();
    record.DosDate = reader.U16();
    record.Crc = reader.U32();
    record.CompressedSize = reader.U32();
    record.UncompressedSize = reader.U32();
    record.NameLength = reader.U16();
    record.ExtraLength = reader.U16();
    record.CommentLength = reader.U16();
    reader.Skip(4);  // disk number, internal attributes
    record.ExternalAttributes = reader.U32();
    record.LocalHeaderOffset = reader.U32();
    const std::uint64_t total =
        std::uint64_t{kCentralRecordSize} + record.NameLength + record.ExtraLength + record.CommentLength;
    if (m_DirectoryLimit - position < total) return false;
    record.Name.resize(record.NameLength);
    record.Extra.resize(record.ExtraLength);
    if (!ReadExact(position + kCentralRecordSize, record.Name.data(), record.Name.size()) ||
        !ReadExact(position + kCentralRecordSize + record.NameLength, record.Extra.data(), record.Extra.size()) ||
        !ApplyZip64Block(record.Extra, {&record.UncompressedSize, &record.CompressedSize, &record.LocalHeaderOffset}))
        return false;
    m_Walker.Position = position;
    m_Walker.Record = std::move(record);
    return true;
}

// Walks forward one record at a time (from the first when the index lies behind). A record
// that cannot be read marks every later index unreachable, so a damaged directory is walked
// at most once.
ZipStatus ZipReader::GoTo(int index) {
    if (index < 0 || index >= m_Count) return ZR_ARGS;
    if (index >= m_Reachable) return ZR_CORRUPT;
    if (m_Walker.Current < 0 || index < m_Walker.Current) {
        if (!ReadRecordAt(m_DirectoryStart)) {
            m_Reachable = 0;
            return ZR_CORRUPT;
        }
        m_Walker.Current = 0;
    }
    while (m_Walker.Current < index) {
        const CentralRecord& record = m_Walker.Record;
        const std::uint64_t next = m_Walker.Position + kCentralRecordSize + record.NameLength + record.ExtraLength +
                                   record.CommentLength;
        if (!ReadRecordAt(next)) {
            m_Reachable = m_Walker.Current + 1;
            return ZR_CORRUPT;
        }
        ++m_Walker.Current;
    }
    return ZR_OK;
}

// The name as a description reports it: decoded and cleaned.
std::u16string ZipReader::ReportedName(const CentralRecord& record) const {
    return CleanMemberName(DecodeName(record.Name, record.Flags, record.Extra, m_DecodeOem));
}

// The local header must lie before the directory and agree with the current record, its name
// too: a record that points at another member's header would hand out that member's bytes.
// Names are equal when their bytes are, or when they decode to the same text (a writer may
// spell a name in UTF-8 in one header and in the OEM code page in the other).
ZipStatus ZipReader::CheckLocalHeader(LocalHeader& header) {
    const CentralRecord& record = m_Walker.Record;
    if (record.LocalHeaderOffset >= m_DirectoryStart - m_Prepended) return ZR_CORRUPT;
    const std::uint64_t position = m_Prepended + record.LocalHeaderOffset;
    std::uint8_t fixed[kLocalHeaderSize];
    if (!ReadExact(position, fixed, sizeof fixed)) return ZR_CORRUPT;
    ByteReader reader(fixed);
    const std::uint32_t signature = reader.U32();
    reader.Skip(2);  // version needed
    const std::uint16_t flags = reader.U16();
    const std::uint16_t method = reader.U16();
    reader.Skip(4);  // DOS time and date
    const std::uint32_t crc = reader.U32();
    std::uint64_t compressedSize = reader.U32();
    std::uint64_t uncompressedSize = reader.U32();
    const std::uint16_t nameLength = reader.U16();
    const std::uint16_t extraLength = reader.U16();
    if (signature != kLocalSignature || method != record.Method) return ZR_CORRUPT;
    std::string name(nameLength, '\0');
    header.Extra.resize(extraLength);
    const std::uint64_t extraStart = position + kLocalHeaderSize + nameLength;
    if (!ReadExact(position + kLocalHeaderSize, name.data(), name.size()) ||
        !ReadExact(extraStart, header.Extra.data(), header.Extra.size()))
        return ZR_READ;
    if (name != record.Name && DecodeName(name, flags, header.Extra, m_DecodeOem) !=
                                   DecodeName(record.Name, record.Flags, record.Extra, m_DecodeOem))
        return ZR_CORRUPT;
    // Sizes that follow the data (flag bit 3) are not compared: the directory's are the ones used.
    if (!(flags & kFlagDataDescriptor)) {
        if (!ApplyZip64Block(header.Extra, {&uncompressedSize, &compressedSize})) return ZR_CORRUPT;
        if (crc != record.Crc || compressedSize != record.CompressedSize || uncompressedSize != record.UncompressedSize)
            return ZR_CORRUPT;
    }
    header.DataStart = extraStart + extraLength;
    return ZR_OK;
}

ZipStatus ZipReader::Describe(int index, MemberInfo& info) {
    if (auto status = GoTo(index)) return status;
    LocalHeader local;
    if (auto status = CheckLocalHeader(local)) return status;
    const CentralRecord& record = m_Walker.Record;
    info.Index = index;
    info.Name = ReportedName(record);
    info.Method = record.Method;
    info.Encrypted = (record.Flags & kFlagEncrypted) != 0;
    info.Attributes = AttributesFromHost(record.VersionMadeBy, record.ExternalAttributes);
    info.LocalTime = SplitDosDateTime(record.DosDate, record.DosTime);
    info.Times = ReadExtendedTimes(local.Extra);
    info.CompressedSize = record.CompressedSize;
    info.UncompressedSize = record.UncompressedSize;
    return ZR_OK;
}

// Callers look up names that a description gave them, so stored names are compared as a
// description reports them: a member stored as "/jobs/a.spl" or "C:\\a.spl" is found under
// the name it was reported by. Cleaning a reported name again leaves it as it is. A name that
// two members share is refused: other tools take the last of them, so which one the archive
// means is not known. Members behind a damaged record cannot be read, nor counted.
ZipStatus ZipReader::Find(std::u16string_view name, bool ignoreCase, int& index) {
    const std::u16string wanted = CleanMemberName(std::u16string(name));
    const Walker saved = m_Walker;
    std::optional<Walker> found;
    for (int i = 0; i < m_Count && GoTo(i) == ZR_OK; ++i) {
        if (!SameName(ReportedName(m_Walker.Record), wanted, ignoreCase)) continue;
        if (found) {
            m_Walker = saved;
            return ZR_DUPLICATE;
        }
        found = m_Walker;
    }
    if (!found) {
        const bool damaged = m_Reachable < m_Count;
        m_Walker = saved;
        return damaged ? ZR_CORRUPT : ZR_NOTFOUND;
    }
    m_Walker = *found;  // the caller describes the member next
    index = m_Walker.Current;
    return ZR_OK;
}

// Whether the member's bytes, from its local header to the end of its data, share a byte
// with another member's: a record that points into another member would hand out that
// member's bytes (or a part of them, again and again) under its own name. The central
// directory lies behind all members (Extract checks that). Found for all members at once, on
// the first call, by sorting their spans: O(n log n).
bool ZipReader::Overlapped(int index) {
    if (!m_OverlapsFound) FindOverlaps();
    return m_Overlapped[static_cast<std::size_t>(index)];
}

// Members without a local header where their record points do not take part: they cannot be
// read anyway, and must not make the members whose bytes they point into unreadable too.
void ZipReader::FindOverlaps() {
    struct Span {
        std::uint64_t Start, End;
        int Index;
    };
    std::vector<Span> spans;
    const Walker saved = m_Walker;
    for (int i = 0; i < m_Count && GoTo(i) == ZR_OK; ++i) {
        const CentralRecord& record = m_Walker.Record;
        const std::uint64_t start = SaturatingAdd(m_Prepended, record.LocalHeaderOffset);
        std::uint8_t fixed[kLocalHeaderSize];
        if (!ReadExact(start, fixed, sizeof fixed)) continue;
        ByteReader header(fixed);
        if (header.U32() != kLocalSignature) continue;
        header.Skip(22);
        const std::uint64_t lengths = std::uint64_t{header.U16()} + header.U16();
        spans.push_back({start, SaturatingAdd(start + kLocalHeaderSize + lengths, record.CompressedSize), i});
    }
    m_Walker = saved;
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.Start < b.Start; });
    m_Overlapped.assign(static_cast<std::size_t>(m_Count), false);
    // Sorted by start, a span meets a later one exactly when it reaches past the next start,
    // and an earlier one exactly when it starts before the farthest end so far.
    std::uint64_t farthestEnd = 0;
    for (std::size_t k = 0; k < spans.size(); ++k) {
        const bool meetsEarlier = k > 0 && spans[k].Start < farthestEnd;
        const bool meetsLater = k + 1 < spans.size() && spans[k].End > spans[k + 1].Start;
        m_Overlapped[static_cast<std::size_t>(spans[k].Index)] = meetsEarlier || meetsLater;
        farthestEnd = std::max(farthestEnd, spans[k].End);
    }
    m_OverlapsFound = true;
}

ZipStatus ZipReader::Extract(int index, const char* password, ByteSink& sink, OperationProgress* progress) {
    if (auto status = GoTo(index)) return status;
    LocalHeader local;
    if (auto status = CheckLocalHeader(local)) return status;
    const CentralRecord& record = m_Walker.Record;
    // Traditional encryption is the only one this reader can undo, and only with a password.
    if ((record.Flags & kFlagEncrypted) && (password == nullptr || (record.Flags & kFlagStrongEncryption)))
        return ZR_ENCRYPTED;
    if (record.Method != kMethodStored && record.Method != kMethodDeflated) return ZR_METHOD;
    // The member's data must end before the directory starts, and be its own.
    if (local.DataStart > m_DirectoryStart || m_DirectoryStart - local.DataStart < record.CompressedSize ||
        Overlapped(index))
        return ZR_CORRUPT;
    MemberInput input(m_Source, local.DataStart, record.CompressedSize);
    ReportTotal(progress, record.UncompressedSize);
    if (record.Flags & kFlagEncrypted) {
        const auto check = static_cast<std::uint8_t>(record.Flags & kFlagDataDescriptor ? record.DosTime >> 8
                                                                                        : record.Crc >> 24);
        if (auto status = input.StartDecryption(password, check)) return status;
    }
    MemberOutput output(sink, record.UncompressedSize, record.Crc, progress);
    const ZipStatus status = record.Method == kMethodStored ? CopyStored(input, output) : InflateDeflated(input, output);
    return status != ZR_OK ? status : output.Finish();
}

}  // namespace zip
