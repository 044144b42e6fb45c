#!/usr/bin/env python3
"""Makes the ZIP archives the reader's tests open, with real archivers (Info-ZIP zip, 7-Zip,
bsdtar, Python's zipfile), plus damaged and hostile copies patched from a real archive.

Usage: make_zip_fixtures.py OUTPUT_DIR           (the source files go to OUTPUT_DIR/src)
       make_zip_fixtures.py --large OUTPUT_DIR   only the archive with a member over 4 GiB
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

from job_files import RawName, shadow, unicode_path

out = os.path.abspath(sys.argv[-1])
src = os.path.join(out, "src")
MTIME, ATIME = 1700000000, 1700000100  # 2023-11-14 22:13:20 UTC


def run(*args, cwd=src, stdin=None, stdout=None):
    subprocess.run(args, cwd=cwd, stdin=stdin, stdout=stdout, check=True)


def write(name, data):
    path = os.path.join(src, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (ATIME, MTIME))


def make_sources():
    rng = random.Random(4711)
    write("hello.txt", b"Hello, spool!\r\n" * 20)
    write("data.bin", bytes(rng.getrandbits(8) for _ in range(70000)))  # incompressible
    write("big.txt", b"".join(b"%06d Line of a spooled print job, PJL and PCL\r\n" % i for i in range(9000)))
    write("empty.txt", b"")
    write("folder/sub/inner.txt", b"inside two folders\n")
    # A job to print from the Zip64 archives: spool bytes of several extraction steps.
    write("job/00002.SPL", b"\x1b%-12345X@PJL JOB NAME=\"Zip64\"\r\n" + read("big.txt") + read("data.bin"))
    write("job/00002.SHD", shadow("Zip64 job", "Zip64 printer", "Zip64 driver"))
    for d in ("folder/sub", "folder"):
        os.utime(os.path.join(src, d), (ATIME, MTIME))


def infozip_archives():
    members = ["hello.txt", "data.bin", "big.txt", "empty.txt", "folder"]
    run("zip", "-q", "-r", os.path.join(out, "infozip_deflated.zip"), *members)
    run("zip", "-q", "-r", "-0", os.path.join(out, "infozip_stored.zip"), *members)
    # Streamed from stdin to a pipe: sizes and CRC follow the data (flag bit 3).
    for name, options in (("infozip_stream.zip", []), ("infozip_stream32.zip", ["-fz-"])):
        with open(os.path.join(src, "big.txt"), "rb") as i, open(os.path.join(out, name), "wb") as o:
            zipper = subprocess.Popen(["zip", "-q", *options, "-", "-"], stdin=i, stdout=subprocess.PIPE)
            shutil.copyfileobj(zipper.stdout, o)
            if zipper.wait() != 0:
                raise RuntimeError("zip from stdin failed")
    # A comment of 2000 bytes and more: the end record lies several search steps back.
    target = os.path.join(out, "infozip_comment.zip")
    run("zip", "-q", target, "hello.txt")
    with open(os.path.join(out, "comment.txt"), "wb") as f:
        f.write((b"Comment for the archive. " * 100)[:2000])
    with open(os.path.join(out, "comment.txt"), "rb") as f:
        run("zip", "-q", "-z", target, stdin=f)
    assert len(zipfile.ZipFile(target).comment) >= 2000
    # End records starting 1025 to 1027 and 2049 to 2051 bytes before the end: their
    # signature straddles a 1024-byte step of the backward search. The longest comments
    # (65,514 to 65,535 bytes) put the record at the far end of the search window.
    for length in (1003, 1004, 1005, 2027, 2028, 2029, 65514, 65535):
        bordered = os.path.join(out, "comment_border_%d.zip" % length)
        run("zip", "-q", bordered, "hello.txt")
        with zipfile.ZipFile(bordered, "a") as z:
            z.comment = b"c" * length
    # Data in front: a stub as self-extractors have, once with offsets left as they were and
    # once adjusted with zip -A.
    with open(os.path.join(out, "infozip_deflated.zip"), "rb") as f:
        archive = f.read()
    stub = b"MZ" + bytes(range(256)) * 20
    for name in ("prepended.zip", "prepended_adjusted.zip"):
        with open(os.path.join(out, name), "wb") as f:
            f.write(stub + archive)
    run("zip", "-q", "-A", os.path.join(out, "prepended_adjusted.zip"))


def wrong_password_is_caught(path):
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            try:
                z.open(info, pwd=b"wrong").close()
                return False
            except RuntimeError:
                pass
    return True


def encrypted_archives():
    # The check byte rejects a wrong password only 255 times in 256; remake the archive
    # (its encryption header is random) until "wrong" is rejected for every member.
    for name, options in (("infozip_encrypted.zip", []), ("infozip_encrypted_stored.zip", ["-0"])):
        path = os.path.join(out, name)
        for _ in range(100):
            if os.path.exists(path):
                os.remove(path)
            run("zip", "-q", *options, "-e", "-P", "secret", path, "hello.txt", "big.txt")
            if wrong_password_is_caught(path):
                break
        else:
            raise RuntimeError("no archive that rejects the wrong password")


def other_tools():
    run("7z", "a", "-tzip", "-bd", "-bso0", os.path.join(out, "7z.zip"), "hello.txt", "data.bin", "big.txt", "folder")
    run("bsdtar", "-a", "-cf", os.path.join(out, "bsdtar.zip"), "hello.txt", "big.txt", "folder")
    run("7z", "a", "-tzip", "-m0=BZip2", "-bd", "-bso0", os.path.join(out, "7z_bzip2.zip"), "big.txt")


# Zip64 records, as zippers write them for small members too.
ZIP64_MEMBERS = ["job/00002.SPL", "job/00002.SHD", "hello.txt", "data.bin", "empty.txt"]


class Unseekable:
    """A stream that zipfile cannot seek back in: sizes and CRC follow the data."""

    def __init__(self, f):
        self.write, self.flush = f.write, f.flush


def python_zip64(target):
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
        for member in ZIP64_MEMBERS:
            with z.open(info(member), "w", force_zip64=True) as f:
                f.write(read(member))


def with_every_zip64_field(source, target):
    """The archive as writers make it that put a Zip64 field with every value into each header
    although none of the header's own fields is saturated, and Zip64 end records although the
    end record's fields fit."""
    data = read_archive(source)
    _, _, central, local = layout(data)
    members, directory = bytearray(), bytearray()
    for c, l in zip(central, local):
        n, e = struct.unpack_from("<HH", data, l + 26)
        compressed, uncompressed = struct.unpack_from("<II", data, l + 18)
        header = bytearray(data[l:l + 30 + n + e]) + struct.pack("<HHQQ", 1, 16, uncompressed, compressed)
        struct.pack_into("<H", header, 28, e + 20)
        offset = len(members)
        members += header + data[l + 30 + n + e:l + 30 + n + e + compressed]
        n, e, comment = struct.unpack_from("<HHH", data, c + 28)
        record = bytearray(data[c:c + 46 + n + e]) + struct.pack("<HHQQQI", 1, 28, uncompressed, compressed, offset, 0)
        struct.pack_into("<H", record, 30, e + 32)
        struct.pack_into("<I", record, 42, offset)
        directory += record + data[c + 46 + n + e:c + 46 + n + e + comment]
    start, count, zip64_end = len(members), len(central), len(members) + len(directory)
    end = (struct.pack("<IQHHIIQQQQ", 0x06064b50, 44, 45, 45, 0, 0, count, count, len(directory), start)
           + struct.pack("<IIQI", 0x07064b50, 0, zip64_end, 1)
           + struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, count, count, len(directory), start, 0))
    with open(target, "wb") as f:
        f.write(members + directory + end)


def zip64_archives():
    for name, options in (("infozip_zip64.zip", []), ("infozip_zip64_stored.zip", ["-0"])):
        run("zip", "-q", "-fz", "-r", *options, os.path.join(out, name), "hello.txt", "data.bin", "big.txt",
            "empty.txt", "folder", "job")
    # Behind a 4 KiB stub, with the offsets the zipper wrote.
    save("zip64_prepended.zip", bytes(range(256)) * 16 + read_archive(os.path.join(out, "infozip_zip64.zip")))
    python_zip64(os.path.join(out, "python_zip64.zip"))
    with open(os.path.join(out, "python_zip64_stream.zip"), "wb") as f:
        python_zip64(Unseekable(f))
    plain = os.path.join(out, "python_plain.zip")
    with zipfile.ZipFile(plain, "w", zipfile.ZIP_DEFLATED) as z:
        for member in ZIP64_MEMBERS:
            z.writestr(info(member), read(member))
    with_every_zip64_field(plain, os.path.join(out, "zip64_all_fields.zip"))
    os.remove(plain)


def large_archive():
    """A member of 4 GiB, 1 MiB and 3 bytes of zeros, zipped from a sparse file."""
    os.makedirs(out, exist_ok=True)
    zeros, target = os.path.join(out, "zeros.bin"), os.path.join(out, "large_zip64.zip")
    for path in (zeros, target):
        if os.path.exists(path):
            os.remove(path)
    with open(zeros, "wb") as f:
        f.truncate((1 << 32) + (1 << 20) + 3)
    try:
        run("zip", "-q", target, "zeros.bin", cwd=out)
    finally:
        os.remove(zeros)


def info(name, system=3, attributes=0o100644 << 16, extra=b"", date=(2021, 3, 4, 5, 6, 8),
         method=zipfile.ZIP_DEFLATED):
    i = zipfile.ZipInfo(name, date_time=date)
    i.compress_type = method
    i.create_system = system
    i.external_attr = attributes
    i.extra = extra
    return i


def read(name):
    return read_archive(os.path.join(src, name))


def read_archive(path):
    with open(path, "rb") as f:
        return f.read()


def python_archives():
    contents = {"hello.txt": read("hello.txt"), "Привет.txt": "Здравствуй, принтер".encode(),
                "日本/データ.bin": read("data.bin")}
    for name, method in (("python_stored.zip", zipfile.ZIP_STORED), ("python_deflated.zip", zipfile.ZIP_DEFLATED)):
        with zipfile.ZipFile(os.path.join(out, name), "w", method) as z:
            for member, data in contents.items():
                z.writestr(info(member, method=method), data)

    with zipfile.ZipFile(os.path.join(out, "names.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for member in ("../up.txt", "/x/../../evil.txt", "D:\\a.txt", "C:\\..\\a\\b.txt", "n" * 296 + ".txt",
                       "A.txt"):
            z.writestr(info(member), member.encode())

    with zipfile.ZipFile(os.path.join(out, "case.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for member in ("Jobs/a.SPL", "Jobs/B.SHD", "c.txt"):
            z.writestr(info(member), member.encode() * 10)
    # Code page 437 (folders UTF-8 reads as one), a name only in a Unicode Path field, a stale field.
    with zipfile.ZipFile(os.path.join(out, "cp437.zip"), "w") as z:
        for member in ("Bäro/00012.SHD", "Büro/00012.SPL", "Büro/00012.SHD"):
            z.writestr(RawName(member.encode("cp437")), member.encode())
        z.writestr(RawName(b"???? 12.SPL", unicode_path(b"???? 12.SPL", "Отчёт 12.SPL")), b"u")
        z.writestr(RawName("Büro.txt".encode("cp437"), unicode_path(b"Wrong.txt", "Wrong.txt")), b"s")

    # Attributes as Unix (3), MS-DOS (0) and NTFS (11) hosts record them.
    with zipfile.ZipFile(os.path.join(out, "attributes.zip"), "w", zipfile.ZIP_STORED) as z:
        z.writestr(info("unix_readonly.txt", 3, 0o100444 << 16), b"r")
        z.writestr(info("unix_writable.txt", 3, 0o100644 << 16), b"w")
        z.writestr(info("unix_dir/", 3, (0o40755 << 16) | 0x10), b"")
        z.writestr(info("dos_hidden_archive.txt", 0, 0x22), b"h")
        z.writestr(info("dos_readonly_system.txt", 0, 0x05), b"s")
        z.writestr(info("ntfs_dir/", 11, 0x10), b"")

    # Extended timestamps: only the modification time, and all three.
    ut_write = b"UT" + struct.pack("<HBi", 5, 1, 1600000000)
    ut_all = b"UT" + struct.pack("<HBiii", 13, 7, 1600000000, 1600000100, 1500000000)
    with zipfile.ZipFile(os.path.join(out, "times.zip"), "w") as z:
        z.writestr(info("ut_write.txt", extra=ut_write), b"1")
        z.writestr(info("ut_all.txt", extra=ut_all), b"3")
        z.writestr(info("dos_only.txt", date=(2019, 12, 31, 23, 58, 58)), b"0")
        z.writestr(info("dos_summer.txt", date=(2021, 7, 1, 12, 0, 0)), b"s")


# --- Damaged and hostile copies of one real archive --------------------------------------

def base_archive():
    path = os.path.join(out, "base.zip")
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(info("stored.txt", method=zipfile.ZIP_STORED), b"0123456789" * 100)
        z.writestr(info("small.txt"), b"small member " * 30)
        z.writestr(info("large.txt"), read("big.txt"))
    with open(path, "rb") as f:
        return bytearray(f.read())


def layout(data):
    """End record position, directory start, central record positions, local header positions."""
    end = len(data) - 22
    count, _, start = struct.unpack_from("<HII", data, end + 10)
    central, local, at = [], [], start
    for _ in range(count):
        central.append(at)
        local.append(struct.unpack_from("<I", data, at + 42)[0])
        n, e, c = struct.unpack_from("<HHH", data, at + 28)
        at += 46 + n + e + c
    return end, start, central, local


def data_start(data, header):
    n, e = struct.unpack_from("<HH", data, header + 26)
    return header + 30 + n + e


def save(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def patch(data, *patches):
    """A copy of data with each (offset, struct format, value) written into it."""
    copy = bytearray(data)
    for offset, fmt, value in patches:
        struct.pack_into(fmt, copy, offset, value)
    return copy


def damaged_archives():
    base = base_archive()
    end, start, central, local = layout(base)

    def patched(*patches):
        return patch(base, *patches)

    save("not_a_zip.zip", b"This is a text file, not an archive.\r\n" * 10)
    save("truncated_half.zip", base[: len(base) // 2])
    save("truncated_in_directory.zip", base[: start + 30])
    save("truncated_end_record.zip", base[:-5])
    save("directory_past_end.zip", patched((end + 16, "<I", 0x7FFFFFF0)))
    save("multi_disk.zip", patched((end + 4, "<H", 1), (end + 6, "<H", 1)))
    save("comment_past_end.zip", patched((end + 20, "<H", 500)))
    # Local header of member 1 disagrees with the directory (method), member 2's lies past the end.
    save("local_mismatch.zip", patched((local[1] + 8, "<H", 0)))
    save("local_name_mismatch.zip", patched((local[1] + 30, "<B", ord("S"))))
    # Member 1's data claim 50 bytes more, of member 2's header and data.
    claimed = struct.unpack_from("<I", base, central[1] + 20)[0] + 50
    save("overlap_next_header.zip", patched((local[1] + 18, "<I", claimed), (central[1] + 20, "<I", claimed)))
    save("local_past_end.zip", patched((central[2] + 42, "<I", 0x7FFFFFF0)))
    save("unsupported_method.zip", patched((local[0] + 8, "<H", 12), (central[0] + 10, "<H", 12)))
    # Bytes that disagree with the directory's CRC-32: one flipped data byte of the stored
    # member; a consistent but wrong CRC-32 for the deflated one.
    flipped = bytearray(base)
    flipped[data_start(base, local[0]) + 500] ^= 0x01
    save("crc_mismatch_stored.zip", flipped)
    # A read-only member (Unix mode 0444) with a flipped data byte.
    readonly = os.path.join(out, "readonly_corrupt.zip")
    with zipfile.ZipFile(readonly, "w", zipfile.ZIP_STORED) as z:
        z.writestr(info("readonly.txt", 3, 0o100444 << 16, method=zipfile.ZIP_STORED), b"read only " * 50)
    with open(readonly, "rb") as f:
        data = bytearray(f.read())
    data[30 + len("readonly.txt") + 100] ^= 0x20
    save("readonly_corrupt.zip", data)
    save("crc_mismatch_deflated.zip", patched((local[1] + 14, "<I", 0x12345678), (central[1] + 16, "<I", 0x12345678)))
    # Declared sizes that the data do not have: a bomb (large.txt says 100 bytes), a member
    # that inflates to less than it says, a stored member whose two sizes differ.
    save("bomb.zip", patched((local[2] + 22, "<I", 100), (central[2] + 24, "<I", 100)))
    large_size = struct.unpack_from("<I", base, central[2] + 24)[0]
    save("inflates_short.zip",
         patched((local[2] + 22, "<I", large_size + 1000), (central[2] + 24, "<I", large_size + 1000)))
    save("stored_size_mismatch.zip", patched((local[0] + 22, "<I", 999), (central[0] + 24, "<I", 999)))
    # The last member's data cut in half, the directory moved up to follow it.
    cut_from = data_start(base, local[2]) + (start - data_start(base, local[2])) // 2
    removed = start - cut_from
    ends_early = bytearray(base[:cut_from] + base[start:])
    struct.pack_into("<I", ends_early, len(ends_early) - 22 + 16, start - removed)
    save("data_ends_early.zip", ends_early)
    # Directory damage: more members declared than records, a broken record in the middle,
    # a name running past the directory.
    save("count_too_large.zip", patched((end + 8, "<H", 50), (end + 10, "<H", 50)))
    save("broken_middle_record.zip", patched((central[1], "<I", 0x02014b51)))
    save("name_past_directory.zip", patched((central[2] + 28, "<H", 60000)))


def zip64_block(data, extra_start, extra_length):
    """Position of the Zip64 block's data within the extra field."""
    at = extra_start
    while at < extra_start + extra_length:
        tag, size = struct.unpack_from("<HH", data, at)
        if tag == 1:
            return at + 4
        at += 4 + size
    raise RuntimeError("no Zip64 block")


def zip64_damaged_archives():
    base = os.path.join(out, "zip64_base.zip")
    run("zip", "-q", "-fz", base, "hello.txt", "big.txt")
    data = read_archive(base)
    os.remove(base)
    locator = len(data) - 22 - 20
    record = struct.unpack_from("<Q", data, locator + 8)[0]
    start = struct.unpack_from("<Q", data, record + 48)[0]

    def patched(*patches):
        return patch(data, *patches)

    save("zip64_locator_past_end.zip", patched((locator + 8, "<Q", 1 << 40)))
    save("zip64_locator_wrong_signature.zip", patched((locator + 8, "<Q", start)))
    save("zip64_count_too_large.zip", patched((record + 24, "<Q", 50), (record + 32, "<Q", 50)))
    # big.txt declares 4 GiB more than its data inflate to, in both of its Zip64 blocks.
    n, e, c = struct.unpack_from("<HHH", data, start + 28)
    central = start + 46 + n + e + c
    n, e = struct.unpack_from("<HH", data, central + 28)
    in_directory = zip64_block(data, central + 46 + n, e)
    local = struct.unpack_from("<I", data, central + 42)[0]
    n, e = struct.unpack_from("<HH", data, local + 26)
    in_header = zip64_block(data, local + 30 + n, e)
    size = struct.unpack_from("<Q", data, in_header)[0]
    assert struct.unpack_from("<Q", data, in_directory)[0] == size, "the directory's block holds the size first"
    save("zip64_size_mismatch.zip", patched((in_directory, "<Q", size + (1 << 32)), (in_header, "<Q", size + (1 << 32))))


def main():
    if sys.argv[1] == "--large":
        large_archive()
        return
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(src)
    make_sources()
    infozip_archives()
    encrypted_archives()
    other_tools()
    python_archives()
    zip64_archives()
    damaged_archives()
    zip64_damaged_archives()


if __name__ == "__main__":
    main()
