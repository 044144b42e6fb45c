// Reader for ZIP archives on disk (PKWARE format, Zip64 included): open by file name, count,
// describe and find members, extract a member to a file. Stored and deflated members;
// traditional PKWARE encryption with the password given at open time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "zip/ZipStatus.h"

struct ZipMemberInfo {
    int Index;               // member index; for index -1 requests, the number of members
    wchar_t Name[MAX_PATH];  // cleaned member name, cut to MAX_PATH - 1 units (see ZipMemberDetails)
    DWORD Attributes;        // Windows file attributes
    FILETIME AccessTime;     // UTC
    FILETIME CreationTime;   // UTC
    FILETIME WriteTime;      // UTC
    std::int32_t CompressedSize;    // saturated at INT32_MAX
    std::int32_t UncompressedSize;  // saturated at INT32_MAX
};

// What ZipMemberInfo has no room for.
struct ZipMemberDetails {
    std::wstring FullName;  // the cleaned name, whole
    unsigned Method = 0;    // compression method
};

struct ZipArchive;
using ZipHandle = ZipArchive*;

// Null on failure; the code is then the most recent result (ZR_CORRUPT for damaged Zip64
// end records).
ZipHandle OpenZip(const wchar_t* path, const char* password);
// index -1 describes the archive: Index is the number of members.
ZipStatus GetZipItem(ZipHandle zip, int index, ZipMemberInfo* entry);
ZipStatus GetZipItemDetails(ZipHandle zip, int index, ZipMemberDetails* details);
// Compares whole cleaned names; ZR_DUPLICATE when more than one member has the name.
ZipStatus FindZipItem(ZipHandle zip, const wchar_t* name, bool ignoreCase, int* index, ZipMemberInfo* entry);
// Extracts to a file (an existing file is replaced); relative targets are taken relative to
// the folder that was current when the archive was opened. ZR_METHOD and ZR_ENCRYPTED for
// members stored in a way the reader cannot undo (without a password, for ZR_ENCRYPTED).
ZipStatus UnzipItem(ZipHandle zip, int index, const wchar_t* targetPath);
ZipStatus CloseZipHandle(ZipHandle zip);
// The result of the most recent operation, process-wide.
ZipStatus GetLastZipResult();
// Text of a code (ZR_RECENT: of the most recent result); returns the text's full length.
unsigned FormatZipMessage(ZipStatus code, char* buffer, unsigned size);
