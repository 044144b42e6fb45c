// Where the ZIP tests find the archives that tests/make_zip_fixtures.py made with real
// archivers (the CTest fixture passes the folder in TAVREL_ZIP_FIXTURES).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The fixture folder as this process names it: under Wine a Linux path is on drive Z:.
inline std::string ZipFixture(const std::string& name) {
    const char* folder = std::getenv("TAVREL_ZIP_FIXTURES");
    std::string path = folder != nullptr ? folder : "zip_fixtures";
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
    return path + "/" + name;
}

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The original bytes of a member of the fixture archives, by its name in the archive ("-" is
// big.txt read from standard input). Empty for names that have no original.
inline std::vector<std::uint8_t> OriginalOf(const std::u16string& member) {
    if (member == u"-") return ReadWholeFile(ZipFixture("src/big.txt"));
    if (member == u"日本/データ.bin") return ReadWholeFile(ZipFixture("src/data.bin"));
    if (member == u"Привет.txt") {
        const std::string text = "Здравствуй, принтер";
        return {text.begin(), text.end()};
    }
    std::string ascii;
    for (char16_t c : member) ascii += static_cast<char>(c);
    return ReadWholeFile(ZipFixture("src/" + ascii));
}

// Archives with Zip64 records although every member is small, as zip -fz, Python's
// force_zip64 (seekable and streamed) and writers that fill in every Zip64 field make them;
// each holds the job job/00002.SPL with its shadow file.
inline const std::vector<std::string> kZip64Archives = {
    "infozip_zip64.zip", "infozip_zip64_stored.zip", "python_zip64.zip", "python_zip64_stream.zip",
    "zip64_all_fields.zip",
};

// Archives made by real tools, every member of which extracts to its original.
inline const std::vector<std::string> kRealArchives = [] {
    std::vector<std::string> archives = {
        "infozip_deflated.zip", "infozip_stored.zip", "infozip_stream.zip",     "infozip_stream32.zip",
        "infozip_comment.zip",  "prepended.zip",      "prepended_adjusted.zip", "7z.zip",
        "bsdtar.zip",           "python_stored.zip",  "python_deflated.zip",    "zip64_prepended.zip",
    };
    archives.insert(archives.end(), kZip64Archives.begin(), kZip64Archives.end());
    return archives;
}();
