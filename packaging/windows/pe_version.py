#!/usr/bin/env python3
"""The fixed file version of a Windows program or DLL (VS_FIXEDFILEINFO), read
from the file itself, as dotted numbers; nothing when it has no version
resource. Shared by the MSI build (the File table's versions) and its test.
    pe_version.py FILE
"""
import struct
import sys

KEY = "VS_VERSION_INFO\0".encode("utf-16-le")
SIGNATURE = 0xFEEF04BD


def file_version(data):
    """The version of the first VS_VERSIONINFO block, or None."""
    at = data.find(KEY)
    while at >= 0:
        # wLength, wValueLength, wType precede the key; the fixed part follows
        # it, aligned to four bytes.
        value_length = struct.unpack_from("<H", data, at - 4)[0]
        fixed = (at + len(KEY) + 3) & ~3
        if value_length >= 52 and struct.unpack_from("<I", data, fixed)[0] == SIGNATURE:
            ms, ls = struct.unpack_from("<II", data, fixed + 8)
            return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        at = data.find(KEY, at + 1)
    return None


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: pe_version.py FILE")
    with open(sys.argv[1], "rb") as f:
        version = file_version(f.read())
    if version is None:
        sys.exit(f"{sys.argv[1]}: no version resource")
    print(version)
