#!/usr/bin/env python3
"""Writes the sample pages that ./dev demo prints: two A4 pages of shapes and text.

The pages are plain EMF records in device units of a 96 dots-per-inch reference device, so
they are small and readable in a record dump. Run it again after changing it; the .emf files
are committed.
"""
import os
import struct

PX_PER_MM = 1920 / 508.0
WIDTH, HEIGHT = round(210 * PX_PER_MM), round(297 * PX_PER_MM)


def record(kind, payload=b""):
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def pen(index, style, width, colour):
    return record(38, struct.pack("<IIiiI", index, style, width, 0, colour))


def brush(index, style, colour, hatch=0):
    return record(39, struct.pack("<IIII", index, style, colour, hatch))


def select(index):
    return record(37, struct.pack("<I", index))


def box(kind, left, top, right, bottom):
    return record(kind, struct.pack("<iiii", left, top, right, bottom))


def line(x0, y0, x1, y1):
    return record(27, struct.pack("<ii", x0, y0)) + record(54, struct.pack("<ii", x1, y1))


def font(index, height, weight, face):
    name = face.encode("utf-16-le").ljust(64, b"\0")
    logfont = struct.pack("<iiiiiBBBBBBBB", height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0)
    return record(82, struct.pack("<I", index) + logfont + name)


def text(x, y, string, colour=0):
    chars = string.encode("utf-16-le")
    if len(chars) % 4:
        chars += b"\0\0"
    offset = 8 + 28 + 40  # record header, bounds, mode and scales, EMRTEXT
    emrtext = struct.pack("<iiIIiiiiII", x, y, len(string), offset, 0, 0, 0, 0, 0, 0)
    payload = struct.pack("<iiiiIff", 0, 0, 0, 0, 1, 1.0, 1.0) + emrtext + chars
    return record(24, struct.pack("<I", colour)) + record(84, payload)


def page(body, description, handles):
    desc = description.encode("utf-16-le") + b"\0\0"
    records = body + record(14, struct.pack("<III", 0, 16, 20))
    header_size = 108 + len(desc)
    n_records = 1
    pos = 0
    while pos < len(records):
        pos += struct.unpack_from("<I", records, pos + 4)[0]
        n_records += 1
    frame = (0, 0, 21000, 29700)
    header = struct.pack(
        "<II4i4iIIIIHHIIIiiii", 1, header_size, 0, 0, WIDTH - 1, HEIGHT - 1, *frame,
        0x464D4520, 0x10000, header_size + len(records), n_records, handles, 0,
        len(description) + 1, 108, 0, 1920, 1440, 508, 381)
    header += struct.pack("<IIIii", 0, 0, 0, 508000, 381000) + desc
    return header + records


def first_page():
    body = record(18, struct.pack("<I", 1))  # transparent text background
    body += pen(1, 0, 3, 0x00804000) + select(1) + brush(2, 0, 0x00F0E0C0) + select(2)
    body += box(43, 80, 80, WIDTH - 80, 240)
    body += font(3, -48, 700, "Arial") + select(3) + text(110, 120, "Quadrine sample page")
    body += font(4, -20, 400, "Times New Roman") + select(4)
    for i, words in enumerate([
            "A virtual printer that produces files instead of paper.",
            "This page was printed with quadrine-print and converted by quadrine.",
            "Shapes below: an ellipse, a hatched box and a fan of lines."]):
        body += text(110, 300 + 34 * i, words)
    body += brush(5, 0, 0x000080FF) + select(5) + box(42, 120, 460, 420, 700)
    body += brush(6, 2, 0x00C00000, 5) + select(6) + box(43, 470, 460, WIDTH - 120, 700)
    body += pen(7, 0, 1, 0) + select(7)
    for i in range(13):
        body += line(WIDTH // 2, 760, 80 + i * (WIDTH - 160) // 12, HEIGHT - 80)
    return page(body, "Quadrine\0sample page 1\0", 8)


def second_page():
    body = record(18, struct.pack("<I", 1))
    body += font(1, -32, 700, "Arial") + select(1) + text(80, 80, "Pages per month")
    body += pen(2, 0, 2, 0) + select(2) + line(100, 900, WIDTH - 80, 900) + line(100, 900, 100, 200)
    colours = [0x004080C0, 0x0040C080, 0x00C08040, 0x008040C0, 0x00C0C040, 0x0040C0C0]
    for i, value in enumerate([420, 610, 380, 650, 500, 560]):
        body += brush(3 + i, 0, colours[i]) + select(3 + i)
        left = 140 + i * 100
        body += box(43, left, 900 - value, left + 70, 900)
    body += font(10, -18, 400, "Courier New") + select(10)
    body += text(100, 940, "Jan    Feb    Mar    Apr    May    Jun")
    return page(body, "Quadrine\0sample page 2\0", 11)


here = os.path.dirname(os.path.abspath(__file__))
for name, data in [("sample-page1.emf", first_page()), ("sample-page2.emf", second_page())]:
    with open(os.path.join(here, name), "wb") as out:
        out.write(data)
