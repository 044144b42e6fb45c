// Builds shadow files for tests: a header in the 32-bit layout (4-byte string offsets from
// byte 20) or the 64-bit layout (8-byte offsets from byte 24), followed by UTF-16LE strings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ShadowFileBuilder {
    enum class Layout { Bits32, Bits64 };

    Layout layout = Layout::Bits64;
    std::uint32_t headerSize = 0xE0;       // the DEVMODE or else the strings start right after it
    std::vector<std::u16string> strings;   // in file order
    bool optionalString = false;           // strings[3] is the optional fourth string
    bool terminateLast = true;             // false: the last string runs to the end of the file
    std::size_t paddingBytes = 0;          // zeros after the strings
    std::size_t minimumSize = 0;           // zeros appended up to this size
    std::vector<std::uint8_t> devMode;     // placed before the strings, as the spooler does
    std::u16string computerName;           // after the strings, where the header has its field
    std::array<std::uint16_t, 8> submitted{};  // SYSTEMTIME
    std::uint32_t size = 0, pages = 0, spoolFileSize = 0;
    static constexpr std::size_t DevModeField = 6;  // offset fields: notify, user, document, port,
                                                    // printer, driver, DEVMODE, processor, type, parameters

    // The usual seven strings: notify and user names, job, printer, driver, processor, data type.
    static std::vector<std::u16string> Job(const std::u16string& job, const std::u16string& printer,
                                           const std::u16string& driver, const std::u16string& dataFormat) {
        return {u"user", u"user", job, printer, driver, u"winprint", dataFormat};
    }

    std::vector<std::uint8_t> Build() const {
        std::vector<std::uint8_t> bytes(headerSize, 0);
        Put32(bytes, 0, layout == Layout::Bits32 ? 0x4967u : 0x5123u);
        Put32(bytes, 4, headerSize);
        bool bits32 = layout == Layout::Bits32;
        for (std::size_t i = 0; i < submitted.size(); ++i) Put16(bytes, (bits32 ? 60 : 104) + 2 * i, submitted[i]);
        for (auto [position, value] : {std::pair{bits32 ? 84 : 128, size}, {bits32 ? 88 : 132, pages}, {bits32 ? 116 : 176, spoolFileSize}})
            Put32(bytes, position, value);
        if (!devMode.empty()) PutOffset(bytes, DevModeField, static_cast<std::uint32_t>(bytes.size()));
        bytes.insert(bytes.end(), devMode.begin(), devMode.end());
        std::vector<std::u16string> all = strings;
        if (!computerName.empty() && (bits32 ? 116u : 176u) <= headerSize) all.push_back(computerName);
        std::vector<std::uint32_t> offsets;
        for (std::size_t i = 0; i < all.size(); ++i) {
            offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
            for (char16_t unit : all[i]) {
                bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
                bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
            }
            if (terminateLast || i + 1 < all.size()) bytes.insert(bytes.end(), 2, 0);
        }
        bytes.insert(bytes.end(), paddingBytes, 0);
        if (bytes.size() < minimumSize) bytes.resize(minimumSize, 0);
        if (all.size() > strings.size()) Put32(bytes, bits32 ? 112 : 168, offsets.back());
        // Offset fields in string order; the fourth field (the optional string) is zero
        // unless that string is present, and later strings move one field on.
        std::size_t field = 0;
        for (std::size_t i = 0; i < strings.size(); ++i, ++field) {
            if (field == 3 && !optionalString) ++field;
            if (field == DevModeField) ++field;
            if (field < 10) PutOffset(bytes, field, offsets[i]);
        }
        return bytes;
    }

    void PutOffset(std::vector<std::uint8_t>& bytes, std::size_t field, std::uint32_t offset) const {
        std::size_t position = layout == Layout::Bits32 ? 20 + 4 * field : 24 + 8 * field;
        if (position + 4 <= headerSize) Put32(bytes, position, offset);
    }

    static void Put16(std::vector<std::uint8_t>& bytes, std::size_t position, std::uint16_t value) {
        if (position + 2 <= bytes.size()) bytes[position] = value & 0xFF, bytes[position + 1] = value >> 8;
    }
    static void Put32(std::vector<std::uint8_t>& bytes, std::size_t position, std::uint32_t value) {
        if (position + 4 > bytes.size()) return;
        for (int i = 0; i < 4; ++i) bytes[position + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
};
