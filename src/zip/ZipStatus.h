// Result codes of the ZIP reader, shared by its platform-neutral parser and its Win32 layer.
#pragma once

#include <cstdint>

using ZipStatus = std::uint32_t;

constexpr ZipStatus ZR_OK = 0x00000000;        // "Success"
constexpr ZipStatus ZR_RECENT = 0x00000001;    // asks for the most recent result's text
constexpr ZipStatus ZR_NODUPH = 0x00000100;    // "Culdn't duplicate handle"
constexpr ZipStatus ZR_NOFILE = 0x00000200;    // "Couldn't create/open file"
constexpr ZipStatus ZR_NOALLOC = 0x00000300;   // "Failed to allocate memory"
constexpr ZipStatus ZR_WRITE = 0x00000400;     // "Error writing to file"
constexpr ZipStatus ZR_NOTFOUND = 0x00000500;  // "File not found in the zipfile"
constexpr ZipStatus ZR_MORE = 0x00000600;      // "Still more data to unzip"
constexpr ZipStatus ZR_CORRUPT = 0x00000700;   // "Zipfile is corrupt or not a zipfile"
constexpr ZipStatus ZR_READ = 0x00000800;      // "Error reading file"
constexpr ZipStatus ZR_METHOD = 0x00000900;    // "Compression method not supported"
constexpr ZipStatus ZR_ENCRYPTED = 0x00000A00; // "Member is encrypted"
constexpr ZipStatus ZR_DUPLICATE = 0x00000B00; // "More than one member has this name"
constexpr ZipStatus ZR_PASSWORD = 0x00001000;  // "Correct password required"
constexpr ZipStatus ZR_ARGS = 0x00010000;      // "Caller: faulty arguments"
constexpr ZipStatus ZR_NOTMMAP = 0x00020000;
constexpr ZipStatus ZR_MEMSIZE = 0x00030000;
constexpr ZipStatus ZR_FAILED = 0x00040000;
constexpr ZipStatus ZR_ENDED = 0x00050000;
constexpr ZipStatus ZR_MISSIZE = 0x00060000;
constexpr ZipStatus ZR_PARTIALUNZ = 0x00070000;
constexpr ZipStatus ZR_ZMODE = 0x00080000;     // "Caller: mixing creation and opening of zip"
constexpr ZipStatus ZR_NOTINITED = 0x01000000;
constexpr ZipStatus ZR_SEEK = 0x02000000;
constexpr ZipStatus ZR_NOCHANGE = 0x04000000;
constexpr ZipStatus ZR_FLATE = 0x05000000;     // "Zip-bug: an internal error during flation"
constexpr ZipStatus ZR_CANCELLED = 0x06000000; // "Cancelled by the user": the extraction's watcher stopped it
