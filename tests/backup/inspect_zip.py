#!/usr/bin/env python3
"""Prints what Python's zipfile module reads from a ZIP file, one line per entry:

    name-hex flag-bits method Y-M-D-h-m-s mode system size ut-mtime data-hex

name-hex is the entry name's raw bytes (UTF-8 when flag bit 11 is set, else the
bytes as stored), mode the upper 16 bits of the external attributes, ut-mtime the
modification time of the central extended-timestamp field (0x5455) or -1, data-hex
the content ("-" when empty). A first line "ok" or "bad NAME" gives testzip()'s
verdict. Exit status 2 when the file is not a ZIP file.
"""
import struct
import sys
import zipfile


def ut_mtime(extra):
    pos = 0
    while pos + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, pos)
        body = extra[pos + 4:pos + 4 + size]
        if tag == 0x5455 and len(body) >= 5 and body[0] & 1:
            return struct.unpack_from("<i", body, 1)[0]
        pos += 4 + size
    return -1


def main():
    try:
        archive = zipfile.ZipFile(sys.argv[1])
    except (zipfile.BadZipFile, OSError) as error:
        print("error", error)
        return 2
    bad = archive.testzip()
    print("ok" if bad is None else "bad " + bad)
    for info in archive.infolist():
        raw = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
        data = archive.read(info)
        print(raw.hex(), info.flag_bits, info.compress_type,
              "-".join(str(part) for part in info.date_time),
              info.external_attr >> 16, info.create_system, info.file_size,
              ut_mtime(info.extra), data.hex() or "-")
    return 0


if __name__ == "__main__":
    sys.exit(main())
