#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/seed-*.

Run it again after changing a seed here; inputs named crash-* are regression
inputs kept from fixed crashes and are left alone."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, content):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(content, str):
        content = content.encode("latin-1")
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(content)


# --- S-records -------------------------------------------------------------

def srec(kind, address, data, checksum_delta=0):
    width = {0: 2, 1: 2, 2: 3, 3: 4, 5: 2, 7: 4, 8: 3, 9: 2}[kind]
    body = address.to_bytes(width, "big") + bytes(data)
    count = len(body) + 1
    checksum = (~(count + sum(body)) + checksum_delta) & 0xFF
    return "S%d%02X%s%02X" % (kind, count, body.hex().upper(), checksum)


def srecord_seeds():
    ramp = bytes(range(16))
    write("fuzz_srecord", "tiny-overlap.mot", "\r\n".join([
        srec(0, 0, b"TINY"),
        srec(1, 0x0000, ramp),
        srec(1, 0x0008, b"\xAA" * 8),  # overwrites a covered block's tail
        srec(1, 0x0040, bytes(range(0x40, 0x60))),
        srec(1, 0x0110, b"\x11" * 0x20),  # reaches into the next block
        srec(9, 0, b""),
    ]) + "\r\n")
    write("fuzz_srecord", "drive-s2.mot", "\n".join([
        srec(2, 0x080000, b"\x5A" * 32),
        srec(2, 0x08FFF0, bytes(range(32))),  # across two 64 KiB blocks
        srec(2, 0x0E0000, b"\x00\x01"),
        srec(8, 0, b""),
    ]))  # no line end on the last line
    write("fuzz_srecord", "main-s3-lower.mot", "\n".join([
        srec(3, 0x000F8000, b"\xC3" * 24).lower(),
        srec(3, 0x000FBFF8, b"\x3C" * 16),
        srec(3, 0x000F7FFC, b"\x77" * 8),
        "",
        srec(7, 0, b""),
    ]) + "\n")
    write("fuzz_srecord", "top-of-memory.mot", "\n".join([
        srec(3, 0xFFFFFFE8, bytes(range(0x20))),  # runs past the last address
        srec(3, 0xFFFFFFF0, b"\xEE" * 16),
    ]) + "\n")
    write("fuzz_srecord", "bad-checksum.mot", "\n".join([
        srec(1, 0x0000, ramp),
        srec(1, 0x0010, ramp, checksum_delta=1),
        srec(1, 0x0020, ramp),
    ]) + "\n")
    write("fuzz_srecord", "bad-digits.mot", "\n".join([
        srec(1, 0x0000, ramp),
        srec(1, 0x0030, ramp)[:-5] + "G" + srec(1, 0x0030, ramp)[-4:],
        srec(1, 0x0040, b"\x01\x02\x03")[:-1],  # odd digit count
        "S1", "S5030003F9",
    ]) + "\n")
    write("fuzz_srecord", "ctrl-z.mot",
          srec(1, 0x0000, ramp) + "\r\n\x1A" + srec(1, 0x0010, ramp) + "\r\n")


# --- Localisation files (UTF-16LE) -----------------------------------------

def utf16(text, bom=True):
    return (b"\xff\xfe" if bom else b"") + text.encode("utf-16-le", "surrogatepass")


def loc_seeds():
    table = ("; comment\r\n' another\r\n1033=English\r\n1041=Japanese\r\n2052=Chinese\r\n"
             "\r\nEnglish=Error\r\nJapanese=\u30a8\u30e9\u30fc\r\n\r\n"
             "English=Say \\\"hi\\\"\\n\\tnow\r\nJapanese=\r\nChinese=\u4f60\u597d\r\n\r\n")
    write("fuzz_loc", "table.loc", utf16(table))
    write("fuzz_loc", "no-bom-lf.loc", utf16("1033=English\n1041=Japanese\n\nEnglish=Lamp\n"
                                             "Japanese=\U0001F4A1 lamp", bom=False))
    write("fuzz_loc", "odd-length.loc", utf16("1033=English\r\n1041=J\r\n") + b"\x41")
    write("fuzz_loc", "surrogates.loc",
          utf16("English=a\ud800b\r\nJapanese=\udc00\ud83d\ude00\ud83d\r\n\ud800"))
    write("fuzz_loc", "nul-and-cr.loc", utf16("English=x\ry\r\rJapanese=z\r\n\x00English=after"))
    write("fuzz_loc", "unterminated.loc",
          utf16("1033=English\r\n1041=Japanese\r\n\r\nEnglish=Open block\r\nJapanese=\u958b"))
    with open(os.path.join(HERE, "..", "..", "examples", "refirm.LOC"), "rb") as f:
        write("fuzz_loc", "refirm-head.loc", f.read()[:1200])


if __name__ == "__main__":
    srecord_seeds()
    loc_seeds()
