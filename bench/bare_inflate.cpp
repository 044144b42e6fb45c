// The practical limit for extracting a deflated member: nothing but a raw-inflate loop with
// 16 KiB input and output buffers between two files, timed in-process. Builds for Windows
// (run under the same loader as Tavrel's code, so the comparison is fair) and on the host.
//
//   bare_inflate ARCHIVE OFFSET SIZE TARGET [--crc]
//
// inflates SIZE compressed bytes found at OFFSET in ARCHIVE into TARGET, which must not exist
// (creating a new file is the cheapest way: under Wine, replacing a file truncates it, and
// ext4 then makes the close wait for the disk); --crc also sums the CRC-32 of the output, as
// an extractor must. Prints "seconds=... bytes=... crc=..."; the time runs until the target
// is closed.
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include "handles_win.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kStep = 16384;

#ifdef _WIN32
using Path = std::wstring;

class Input {
public:
    explicit Input(const Path& path)
        : m_File(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    bool Ok() const { return static_cast<bool>(m_File); }
    bool Seek(std::uint64_t offset) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(m_File.get(), position, nullptr, FILE_BEGIN) != 0;
    }
    long Read(std::uint8_t* buffer, std::size_t count) {
        DWORD got = 0;
        return ReadFile(m_File.get(), buffer, static_cast<DWORD>(count), &got, nullptr) ? static_cast<long>(got) : -1;
    }

private:
    FileHandle m_File;
};

class Output {
public:
    explicit Output(const Path& path)
        : m_File(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    bool Ok() const { return static_cast<bool>(m_File); }
    bool Write(const std::uint8_t* data, std::size_t count) {
        DWORD written = 0;
        return WriteFile(m_File.get(), data, static_cast<DWORD>(count), &written, nullptr) && written == count;
    }
    void Close() { m_File.reset(); }

private:
    FileHandle m_File;
};
#else
using Path = std::string;

class Descriptor {
public:
    explicit Descriptor(int fd) : m_Fd(fd) {}
    ~Descriptor() { reset(); }
    void reset() {
        if (m_Fd >= 0) close(m_Fd);
        m_Fd = -1;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_Fd; }

private:
    int m_Fd;
};

class Input {
public:
    explicit Input(const Path& path) : m_File(open(path.c_str(), O_RDONLY)) {}
    bool Ok() const { return m_File.get() >= 0; }
    bool Seek(std::uint64_t offset) { return lseek(m_File.get(), static_cast<off_t>(offset), SEEK_SET) >= 0; }
    long Read(std::uint8_t* buffer, std::size_t count) { return read(m_File.get(), buffer, count); }

private:
    Descriptor m_File;
};

class Output {
public:
    explicit Output(const Path& path) : m_File(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644)) {}
    bool Ok() const { return m_File.get() >= 0; }
    bool Write(const std::uint8_t* data, std::size_t count) {
        return write(m_File.get(), data, count) == static_cast<ssize_t>(count);
    }
    void Close() { m_File.reset(); }

private:
    Descriptor m_File;
};
#endif

struct Outcome {
    bool ok = false;
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;
};

Outcome InflateMember(Input& input, std::uint64_t compressedSize, Output& output, bool withCrc) {
    Outcome outcome;
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return outcome;
    std::vector<std::uint8_t> in(kStep), out(kStep);
    std::uint64_t left = compressedSize;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0 && left > 0) {
            const long got = input.Read(in.data(), left < kStep ? static_cast<std::size_t>(left) : kStep);
            if (got <= 0) break;
            left -= static_cast<std::uint64_t>(got);
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(got);
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(kStep);
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        const std::size_t produced = kStep - z.avail_out;
        if (withCrc) outcome.crc = static_cast<std::uint32_t>(crc32(outcome.crc, out.data(), static_cast<uInt>(produced)));
        if (!output.Write(out.data(), produced)) break;
        outcome.produced += produced;
    }
    outcome.ok = rc == Z_STREAM_END;
    inflateEnd(&z);
    return outcome;
}

template <class Char>
int Run(int argc, Char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bare_inflate ARCHIVE OFFSET SIZE TARGET [--crc]\n");
        return 2;
    }
    const Path archive = argv[1];
    const Path target = argv[4];
    const std::uint64_t offset = std::stoull(std::basic_string<Char>(argv[2]));
    const std::uint64_t size = std::stoull(std::basic_string<Char>(argv[3]));
    const bool withCrc = argc > 5 && std::basic_string<Char>(argv[5]) == std::basic_string<Char>{'-', '-', 'c', 'r', 'c'};

    Input input(archive);
    Output output(target);
    if (!input.Ok() || !output.Ok() || !input.Seek(offset)) {
        std::fprintf(stderr, "bare_inflate: cannot open the files\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = InflateMember(input, size, output, withCrc);
    // Closing is part of the work: a file system may make the closer wait for the data.
    output.Close();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!outcome.ok) {
        std::fprintf(stderr, "bare_inflate: the data did not inflate\n");
        return 1;
    }
    std::printf("seconds=%.6f bytes=%llu crc=%08lx\n", elapsed.count(),
                static_cast<unsigned long long>(outcome.produced), static_cast<unsigned long>(outcome.crc));
    return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
