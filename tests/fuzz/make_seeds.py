#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into tests/fuzz/corpus/<target>/.

Each seed follows the input layout its target's header comment describes;
they are small, so that the fuzzer starts from the shapes that matter.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    directory = os.path.join(HERE, "corpus", target)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


# --- srecord: walk/map byte, map rows (made-up maps), image text ---

def record(kind, address, data):
    digits = {1: 2, 2: 3, 3: 4}[kind]
    body = bytes([len(data) + digits + 1]) + address.to_bytes(digits, "big") + bytes(data)
    return "S%d%s%02X" % (kind, body.hex().upper(), ~sum(body) & 0xFF)


def image(lines, end="\r\n"):
    return (end.join(lines) + end).encode()


def made_up_map(base, size, count, walk_whole=False):
    # One row: first address, row count 1, gap 0, size - 1, count - 1.
    return bytes([0x80 if walk_whole else 0x00]) + struct.pack(">IBHHB", base, 0, 0, size - 1,
                                                                 count - 1)


HEADER = "S00600004844521B"
write("srecord", "two_blocks.mot", made_up_map(0x1000, 0x40, 4) + image([
    HEADER, record(1, 0x1000, range(16)), record(1, 0x1038, [0xAA] * 16),
    record(1, 0x1008, [0x55] * 4), "S9030000FC"]))
write("srecord", "bad_checksum.mot", made_up_map(0x1000, 0x40, 4, True) + image([
    HEADER, record(2, 0x1000, [1] * 32), record(2, 0x1010, [2] * 8),
    record(2, 0x1020, [3] * 4)[:-2] + "00", "S804000000FB"]))
write("srecord", "r826_lower_case.mot", bytes([0x0E]) + image([
    record(3, 0x8000, range(32)).lower(), record(3, 0x8FF0, [7] * 32), "S70500000000FA"], "\n"))
write("srecord", "m16c64_junk.mot", bytes([0x0F]) + image([
    record(3, 0x80000, [0] * 16), record(3, 0x9FFF8, [9] * 16), "junk", "", "S5030003F9"]))
write("srecord", "top_of_space.mot", made_up_map(0xFFFFFF00, 0x80, 2) + image([
    record(3, 0xFFFFFFF0, [0x11] * 32), record(3, 0xFFFFFF00, [0x22] * 8)]))

# --- loc: the file itself ---

def utf16(text, bom=True):
    return (b"\xff\xfe" if bom else b"") + text.encode("utf-16-le")


LOC = ("'comment\r\n1033=English\r\n1041=Japanese\r\n\r\n"
       "English=Unknown error.\r\nJapanese=\u4e0d\u660e\\n\"x\\\"\r\n\r\n"
       "English=Scanner hardware problem.\r\nJapanese=\r\n")
write("loc", "table.loc", utf16(LOC))
write("loc", "no_bom_unterminated.loc", utf16("1033=English\n1041=Japanese\nEnglish=a\nJapanese=b",
                                             bom=False))
write("loc", "surrogates_odd.loc",
      b"\xff\xfe" + "A\r".encode("utf-16-le") + b"\x00\xd8\x41\x00" + b"\x3d\xd8\x00\xde" +
      b"\x00\xdc\n\x00\x00\x00tail" + b"\x41")

# --- ini: scanner/force byte, file length (2 bytes), file, then the write ---

def ini(choice, text, write_part=b"\x00\x03\x01\x02\x03\x04abc"):
    data = text.encode("latin-1")
    return bytes([choice]) + struct.pack(">H", len(data)) + data + write_part


write("ini", "simple_form.ini", ini(0x02, "[refirm]\r\nNewFirmwareVersion=1.21\r\n"))
write("ini", "sectioned_dorian.ini", ini(0x00, (
    "[refirm]\nUnionMot=True\nNewFirmwareVersion=2.00\nSection.Name=Main\n"
    "Section.Version=2.00\nSection.VersionIndex=0\nSection.Start=0x10000000\n"
    "Section.Size=0x100\nNewFirmwareVersion1=120\nSection1.Name=VE Sub Firmware\n"
    "Section1.Version=120\nSection1.VersionIndex=1\nSection1.Start=0x10010000\n"
    "Section1.Size=0xFFFFFFFF\nCheckSum1=0x1234\n")))
write("ini", "sectioned_yew_force.ini", ini(0x11, (
    "[REFIRM]\nUnionMot=1\nNewFirmwareVersion=1.5\nSection.Name=Sub Firmware\n"
    "Section.Version=1.5\nSection.VersionIndex=-1\nSection.Start=-5\nSection.Size=99999999999\n"
    "CheckSum=zz\n")))
write("ini", "loader_checksums.ini", ini(0x02, (
    "[refirm]\nUnionMot='yes'\nCheckSum=0x0\nSection.Name=A\nSection.Version=1\n"
    "Section.Start=0x10000000\nSection.Size=0x10\nCheckSum2=1\n")))
write("ini", "junk.ini", ini(0x01, (
    "garbage\n[unterminated\n  key with blanks  =  \"quoted\"  \n;comment=1\n=novalue\n"
    "[refirm]\rWRITELOG=-2147483649\nx=+00012abc\n\x00\xff\xfe[bin]\n"),
    b"\x01\x02\x03\x04\x05\x06\x07\x05=\"v\" ;"))

# --- sense: form byte, the 80-byte request block, detail text ---

def block(status, key, asc, ascq):
    b = bytearray(80)
    b[0] = 2
    b[1] = status
    b[64] = 0x70
    b[66] = key
    b[71] = 10
    b[76] = asc
    b[77] = ascq
    return bytes(b)


write("sense", "cover_open.bin", bytes([0x01]) + block(4, 3, 0x80, 0x01) + b"diagnostic 12")
write("sense", "unlisted.bin", bytes([0x80]) + block(1, 5, 0x99, 0x07))
write("sense", "pending.bin", bytes([0x7A]) + block(0, 0xF4, 0, 0))

# --- simcmd: profile, then commands ---
# Profile: product, flags, leave time, link value, processor count (0: the
# main controller alone), per further processor its 4 bytes (+4 for a
# corrupt read), fault count, limits.
# Command: op (bits 4-7: command block length, bits 0-2: path), command
# block, direction (0 none, 1 in, 2 out), data length (2 bytes), data out,
# then what the path reads (ASPI: where and sense length; STI: cut and room).

def command(path, cdb, direction=0, data=b"", length=None, extra=b""):
    length = len(data) if length is None else length
    return bytes([(len(cdb) << 4) | path]) + bytes(cdb) + bytes([direction]) + \
        struct.pack(">H", length) + data + extra


CODE = b"KORVATEK FIRMWARE DOWNLOAD V0001"
download = (command(0, [0x2A, 0, 0x84, 0, 0, 0x64, 0, 0, 32, 0], 2, CODE) +
            command(0, [0xFF, 0, 0x65, 0, 0, 0]))
write("simcmd", "download_write_read.bin",
      bytes([0, 0x00, 5, 1, 0, 0, 0]) + download +
      command(0, [0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0]) +
      command(0, [0x2D, 0, 0, 0, 0, 0, 0, 0, 16, 0], 2, bytes(range(16))) +
      command(0, [0x2E, 0, 0, 0, 0, 0, 0, 0, 16, 0], 1, length=16) +
      command(0, [0xFF, 0, 0xB2, 0, 0, 0], 2, struct.pack(">III", 0, 15, 0)) +
      command(0, [0xFF, 0, 0xB3, 0, 0, 0], 1, length=12) +
      command(0, [0xFF, 0, 0xC7, 0, 0, 0]) + command(6, [], extra=b"") + b"\x10\x00" +
      command(0, [0x12, 0, 0, 0, 36, 0], 1, length=36))
write("simcmd", "processors_aspi.bin",
      bytes([0, 0x80, 5, 0, 3, 7, 0x00, 0x01, 0, 9, 0x01, 0x01, 0xA3, 0, 0]) +
      command(3, [0x12, 0x01, 0xF0, 0, 30, 0], 1, length=30, extra=b"\x00\x12") +
      command(3, [0xFF, 0, 0xCF, 0, 0, 1], 1, length=24, extra=b"\x00\x12") +
      command(3, [0xFE, 0, 0x80, 0x21, 0x01, 0, 0, 0, 0, 0], extra=b"\x00\x12") +
      command(3, [0xFE, 0, 0x80, 0x21, 0x03, 0, 0, 0, 10, 0], 2, bytes(10), extra=b"\x00\x12") +
      command(3, [0x2A, 0, 0xA3, 0, 0x04, 0, 0, 0, 8, 0], 2, b"ABCDEFGH", extra=b"\x00\x12") +
      command(3, [0x28, 0, 0xA3, 0, 0x04, 0, 0, 0, 8, 0], 1, length=8, extra=b"\x00\x12"))
write("simcmd", "sti_faults.bin",
      bytes([4, 0x10, 20, 1, 0, 2, 1, 1, 0, 3, 0x26, 0, 0, 0, 0, 0, 1, 1, 1, 4, 0x3A, 0, 0, 0, 0,
             0, 0]) +
      command(4, [0, 0, 0, 0, 0, 0], extra=b"\x01\x00") +
      command(4, [0x12, 0, 0, 0, 36, 0], 1, length=36, extra=b"\x01\x00") +
      command(5, [0x03, 0, 0, 0, 18, 0], 1, length=18) +
      command(7, []) + b"\x00\x00\x00\x02" +
      command(5, [0x1C, 0, 0, 0, 8, 0], 1, length=8))
write("simcmd", "legacy_unplug.bin",
      bytes([1, 0x0D, 1, 0, 0, 0, 0x03, 4, 1]) +
      command(0, [0x2C, 0, 0, 0, 0x10, 0, 0, 0, 0, 0]) +
      command(0, [0xFF, 0, 0xC3, 0, 0, 0]) +
      command(0, [0xFE, 0, 0x65, 0, 0, 2]) +
      command(0, [0x01, 0x02]) + command(0, [0x00, 0, 0, 0, 0, 0]) +
      command(0, [0x00, 0, 0, 0, 0, 0]) + command(0, [0x00, 0, 0, 0, 0, 0]) +
      command(3, [0x00, 0, 0, 0, 0, 0], extra=b"\x00\x12"))
