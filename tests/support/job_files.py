"""Spooled jobs for the archive fixtures: a shadow file in the 64-bit layout and printer-ready
bytes that tell the archives apart."""
import struct


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
