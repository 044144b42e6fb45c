"""Spooled jobs for the archive fixtures: a shadow file in the 64-bit layout and printer-ready
bytes that tell the archives apart."""
import struct
import zipfile
import zlib


def shadow(job, printer, driver, data_format="RAW", header_size=0xE0):
    """A shadow file in the 64-bit layout: header, then the seven strings of a job."""
    strings = ["user", "user", job, printer, driver, "winprint", data_format]
    data = bytearray(header_size)
    struct.pack_into("<II", data, 0, 0x5123, header_size)
    field = 0
    for text in strings:
        if field == 3:
            field += 1  # no optional fourth string
        struct.pack_into("<I", data, 24 + 8 * field, len(data))
        data += text.encode("utf-16-le") + b"\0\0"
        field += 1
    return bytes(data)


def spool(tag):
    """Printer-ready bytes that tell the archives apart."""
    return b"\x1b%-12345X@PJL JOB NAME=\"" + tag.encode() + b"\"\r\n" + bytes(range(256)) * 8


class RawName(zipfile.ZipInfo):
    """A member whose headers hold these name bytes without the UTF-8 flag (the DOS code page)."""

    def __init__(self, raw, extra=b""):
        super().__init__(raw.decode("cp437"), date_time=(2021, 3, 4, 5, 6, 8))
        self.raw, self.extra = raw, extra

    def _encodeFilenameFlags(self):
        return self.raw, self.flag_bits


def unicode_path(header_name, name):
    """An Info-ZIP Unicode Path field: the UTF-8 name, for a header that holds header_name."""
    return struct.pack("<HHBI", 0x7075, 5 + len(name.encode()), 1, zlib.crc32(header_name)) + name.encode()
