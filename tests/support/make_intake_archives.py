#!/usr/bin/env python3
"""Makes the archives that the intake tests open: spooled jobs packed with Python's zipfile
and Info-ZIP zip, plus a damaged copy and archives with hostile member names.

Usage: make_intake_archives.py OUTPUT_DIR SAMPLE_SHD
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

from job_files import RawName, shadow, spool

out = os.path.abspath(sys.argv[1])
sample_shd = sys.argv[2]


def pack(name, members, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(os.path.join(out, name), "w", compression) as archive:
        for member, data in members:
            if isinstance(member, zipfile.ZipInfo):
                member.compress_type = compression
            archive.writestr(member, data)


def read_only(name):
    info = zipfile.ZipInfo(name, date_time=(2024, 1, 2, 3, 4, 6))
    info.create_system = 3  # Unix: r--r--r--
    info.external_attr = 0o100444 << 16
    return info


def directory_entry(name):
    info = zipfile.ZipInfo(name, date_time=(2024, 1, 2, 3, 4, 6))
    info.create_system = 0  # MS-DOS attributes: directory
    info.external_attr = 0x10
    return info


def main():
    os.makedirs(out, exist_ok=True)
    # The first .SPL member in directory order wins; its .SHD is found whatever its case.
    pack("first_match.zip", [("a.txt", b"not a job\r\n"),
                             ("b.SPL", spool("b")),
                             ("c.spl", spool("c")),
                             ("B.shd", shadow("Doc B", "Printer B", "Driver B", "XPS_PASS"))])
    pack("no_spl.zip", [("a.txt", b"text"), ("x.SHD", shadow("X", "P", "D"))])
    pack("no_shd.zip", [("job.SPL", spool("no shd")), ("readme.txt", b"text")])
    pack("folders.zip", [("x/y/00012.spl", spool("folders")), ("x/y/00012.SHD", shadow("Folders", "P", "D"))],
         zipfile.ZIP_STORED)
    # Two archives whose members share their names, and a third whose shadow file is broken.
    pack("one.zip", [("00012.SPL", spool("one")), ("00012.SHD", shadow("Job one", "Printer one", "Driver one"))])
    pack("two.zip", [("00012.SPL", spool("two")), ("00012.SHD", shadow("Job two", "Printer two", "Driver two"))])
    pack("two_broken.zip", [("00012.SPL", spool("two broken")), ("00012.SHD", b"short")])
    pack("cyrillic.zip", [("Отчёт.SPL", spool("cyrillic")), ("Отчёт.SHD", shadow("Отчёт", "Принтер", "Драйвер"))])
    pack("read_only.zip", [(read_only("ro.SPL"), spool("read-only")), (read_only("ro.SHD"), shadow("RO", "P", "D"))])
    pack("device.zip", [("LPT1.SPL", spool("device")), ("LPT1.SHD", shadow("Dev", "P", "D"))])
    pack("directory.zip", [(directory_entry("d.SPL"), b""), ("d.SHD", shadow("Dir", "P", "D"))])
    pack("forged_name.zip", [("a\r\nforged.SPL", spool("forged"))])
    # Names that the reader reports cleaned: a leading "/", a drive, a ".." step, 258 bytes.
    for tag, folder in (("slash", "/jobs/"), ("drive", "C:\\spool\\"), ("parent", "jobs/../"),
                        ("long_name", "d" * 248 + "/")):
        pack("cleaned_%s.zip" % tag, [(folder + "00042.SPL", spool(tag)),
                                      (folder + "00042.SHD", shadow("Cleaned " + tag, "P", "D"))])
    with open(sample_shd, "rb") as f:
        pack("sample.zip", [("00002.SPL", spool("sample")), ("00002.SHD", f.read())])
    # Folders only the DOS code page tells apart; a 274-byte path; a spool member twice (cleaned).
    pack("lookalike_folders.zip", [(RawName(name.encode("cp437")), data) for name, data in (
        ("Bäro/00012.SHD", shadow("Bäro job", "P", "D")), ("Büro/00012.SPL", spool("Büro")),
        ("Büro/00012.SHD", shadow("Büro job", "P", "D")))])
    deep = "Задания/" * 17 + "Факс1/"
    pack("long_path.zip", [(deep + "00012.SPL", spool("deep")), (deep + "00012.SHD", shadow("Deep job", "P", "D"))])
    pack("duplicate_spool.zip", [("00012.SPL", spool("first")), ("00012.SHD", shadow("Dup", "P", "D")),
                                 ("jobs/../00012.spl", spool("second"))])

    # Info-ZIP packs a job from files on disk, as a user would.
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "FP00007.SPL"), "wb") as f:
            f.write(spool("infozip") * 50)
        with open(os.path.join(folder, "FP00007.SHD"), "wb") as f:
            f.write(shadow("Info-ZIP job", "Printer Z", "Driver Z"))
        # The same job encrypted, and compressed with LZMA by 7-Zip.
        for name, command in (("infozip.zip", ["zip", "-q"]), ("encrypted.zip", ["zip", "-q", "-e", "-P", "secret"]),
                              ("7z_lzma.zip", ["7z", "a", "-tzip", "-m0=LZMA", "-bd", "-bso0"])):
            target = os.path.join(out, name)
            if os.path.exists(target):
                os.remove(target)
            subprocess.run([*command, target, "FP00007.SPL", "FP00007.SHD"], cwd=folder, check=True)

    # A stored spool member whose data no longer match its CRC-32.
    source = os.path.join(out, "crc_damaged.zip")
    pack("crc_damaged.zip", [("bad.SPL", spool("damaged")), ("bad.SHD", shadow("Bad", "P", "D"))], zipfile.ZIP_STORED)
    with open(source, "r+b") as f:
        data = bytearray(f.read())
        position = data.index(b"@PJL JOB")
        data[position] ^= 0xFF
        f.seek(0)
        f.write(data)

    with open(os.path.join(out, "not_a_zip.zip"), "wb") as f:
        f.write(b"This is not an archive.\r\n" * 10)
    shutil.copyfile(sample_shd, os.path.join(out, "sample.SHD"))


main()
