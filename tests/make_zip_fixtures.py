#!/usr/bin/env python3
"""Makes the ZIP archives the reader's tests open, with real archivers (Info-ZIP zip, 7-Zip,
bsdtar, Python's zipfile), plus damaged and hostile copies patched from a real archive.

Usage: make_zip_fixtures.py OUTPUT_DIR   (the source files go to OUTPUT_DIR/src)
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

out = os.path.abspath(sys.argv[1])
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


def info(name, system=3, attributes=0o100644 << 16, extra=b"", date=(2021, 3, 4, 5, 6, 8),
         method=zipfile.ZIP_DEFLATED):
    i = zipfile.ZipInfo(name, date_time=date)
    i.compress_type = method
    i.create_system = system
    i.external_attr = attributes
    i.extra = extra
    return i


def read(name):
    with open(os.path.join(src, name), "rb") as f:
        return f.read()


def python_archives():
    contents = {"hello.txt": read("hello.txt"), "Привет.txt": "Здравствуй, принтер".encode(),
                "日本/データ.bin": read("data.bin")}
    for name, method in (("python_stored.zip", zipfile.ZIP_STORED), ("python_deflated.zip", zipfile.ZIP_DEFLATED)):
        with zipfile.ZipFile(os.path.join(out, name), "w", method) as z:
            for member, data in contents.items():
                z.writestr(info(member, method=method), data)

    with zipfile.ZipFile(os.path.join(out, "names.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for member in ("../up.txt", "/x/../../evil.txt", "D:\\a.txt", "C:\\..\\a\\b.txt", "n" * 296 + ".txt"):
            z.writestr(info(member), member.encode())

    with zipfile.ZipFile(os.path.join(out, "case.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for member in ("Jobs/a.SPL", "Jobs/B.SHD", "c.txt"):
            z.writestr(info(member), member.encode() * 10)

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


def damaged_archives():
    base = base_archive()
    end, start, central, local = layout(base)

    def save(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    def patched(*patches):
        data = bytearray(base)
        for offset, fmt, value in patches:
            struct.pack_into(fmt, data, offset, value)
        return data

    save("not_a_zip.zip", b"This is a text file, not an archive.\r\n" * 10)
    save("truncated_half.zip", base[: len(base) // 2])
    save("truncated_in_directory.zip", base[: start + 30])
    save("truncated_end_record.zip", base[:-5])
    save("directory_past_end.zip", patched((end + 16, "<I", 0x7FFFFFF0)))
    save("multi_disk.zip", patched((end + 4, "<H", 1), (end + 6, "<H", 1)))
    save("comment_past_end.zip", patched((end + 20, "<H", 500)))
    # Local header of member 1 disagrees with the directory (method), member 2's lies past the end.
    save("local_mismatch.zip", patched((local[1] + 8, "<H", 0)))
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


def main():
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(src)
    make_sources()
    infozip_archives()
    encrypted_archives()
    other_tools()
    python_archives()
    damaged_archives()


if __name__ == "__main__":
    main()
