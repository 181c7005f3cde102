#!/usr/bin/env python3
"""Writes the PNG and BMP test pictures of this folder and, beside each, the pixels a decoder must
produce from it (<name>.expected). Uses only struct and zlib, so the files do not come from the
codec under test.

<name>.expected: int32 width, height, depth (24 or 32), little-endian, then the rows top-down,
width * depth / 8 bytes each, pixels blue, green, red(, alpha). Pixels a BMP file leaves unpainted
(RLE8 moves) are expected to keep the fill byte FILL of the test buffer. BMP files of kinds a
decoder need not read (see REFUSED_BMPS) get no .expected file: their decode must fail.

Run from anywhere: python3 make_images.py  (writes next to itself).
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FILL = 0xCD
W, H = 13, 7  # odd sizes: sub-byte rows end mid-byte, BMP rows need padding


def save(name, data, width, height, depth, rows):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
    with open(os.path.join(HERE, name + ".expected"), "wb") as f:
        f.write(struct.pack("<iii", width, height, depth))
        for row in rows:
            assert len(row) == width * depth // 8
            f.write(bytes(row))


# ---- PNG ----------------------------------------------------------------------------------------

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def pack_samples(samples, bit_depth):
    """One scanline's samples (already in channel order) as bytes."""
    if bit_depth == 8:
        return bytes(samples)
    if bit_depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    out, acc, n = bytearray(), 0, 0
    for s in samples:
        acc = (acc << bit_depth) | s
        n += bit_depth
        if n == 8:
            out.append(acc)
            acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_line(kind, line, prior, bpp):
    out = bytearray([kind])
    for i, x in enumerate(line):
        a = line[i - bpp] if i >= bpp else 0
        b = prior[i] if prior else 0
        c = prior[i - bpp] if prior and i >= bpp else 0
        pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
        out.append((x - pred) & 0xFF)
    return bytes(out)


def scanlines(sub_rows, bit_depth, channels):
    """Filtered scanlines of one (sub-)image; the filter type cycles 0..4 over the rows."""
    bpp = max(1, channels * bit_depth // 8)
    out, prior = b"", None
    for y, samples in enumerate(sub_rows):
        line = pack_samples(samples, bit_depth)
        out += filter_line(y % 5, line, prior, bpp)
        prior = line
    return out


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def make_png(pixels, bit_depth, colour_type, palette=None, trns=None, interlace=False):
    """pixels: rows of per-pixel sample tuples (palette index for type 3)."""
    height, width = len(pixels), len(pixels[0])
    channels = CHANNELS[colour_type]
    raw = b""
    if interlace:
        for x0, y0, dx, dy in ADAM7:
            sub = [[s for px in pixels[y][x0::dx] for s in px] for y in range(y0, height, dy)]
            if sub and sub[0]:
                raw += scanlines(sub, bit_depth, channels)
    else:
        raw = scanlines([[s for px in row for s in px] for row in pixels], bit_depth, channels)
    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 1 if interlace else 0))
    if palette is not None:
        data += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if trns is not None:
        data += chunk(b"tRNS", trns)
    # Two IDAT chunks: the decoder has to join them.
    z = zlib.compress(raw, 9)
    data += chunk(b"IDAT", z[: len(z) // 2]) + chunk(b"IDAT", z[len(z) // 2:])
    data += chunk(b"IEND", b"")
    return data


def to8(v, bit_depth):
    if bit_depth == 16:
        return v >> 8  # the high byte
    return v * 255 // ((1 << bit_depth) - 1)


def sample(x, y, c, bit_depth):
    top = (1 << bit_depth) - 1
    v = (x * 37 + y * 91 + c * 53 + x * y * 7) % (top + 1)
    if (x + y + c) % 11 == 0:
        v = top  # the largest value occurs
    return v


def png_case(name, colour_type, bit_depth, interlace=False, trns=None, width=W, height=H):
    channels = CHANNELS[colour_type]
    palette = None
    if colour_type == 3:
        count = 1 << bit_depth
        palette = [((i * 67) & 0xFF, (i * 29 + 5) & 0xFF, (255 - i * 13) & 0xFF) for i in range(count)]
        pixels = [[(sample(x, y, 0, bit_depth),) for x in range(width)] for y in range(height)]
    else:
        pixels = [[tuple(sample(x, y, c, bit_depth) for c in range(channels)) for x in range(width)]
                  for y in range(height)]
    rows = []
    for prow in pixels:
        row = []
        for px in prow:
            if colour_type == 3:
                r, g, b = palette[px[0]]
                row += [b, g, r]  # transparency dropped
            elif colour_type in (0, 4):
                g = to8(px[0], bit_depth)
                row += [g, g, g] + ([to8(px[1], bit_depth)] if colour_type == 4 else [])
            else:
                r, g, b = (to8(v, bit_depth) for v in px[:3])
                row += [b, g, r] + ([to8(px[3], bit_depth)] if colour_type == 6 else [])
        rows.append(row)
    depth = 32 if colour_type in (4, 6) else 24
    save(name, make_png(pixels, bit_depth, colour_type, palette, trns, interlace), width, height, depth, rows)


def write_pngs():
    for bd in (1, 2, 4, 8, 16):
        png_case("grey%d.png" % bd, 0, bd)
    for bd in (1, 2, 4, 8):
        png_case("palette%d.png" % bd, 3, bd)
    for bd in (8, 16):
        png_case("rgb%d.png" % bd, 2, bd)
        png_case("grey_alpha%d.png" % bd, 4, bd)
        png_case("rgba%d.png" % bd, 6, bd)
    png_case("palette8_trns.png", 3, 8, trns=bytes(range(0, 256, 3)))
    png_case("grey8_trns.png", 0, 8, trns=struct.pack(">H", 0))
    png_case("rgb8_trns.png", 2, 8, trns=struct.pack(">HHH", 255, 255, 255))
    png_case("rgba8_interlaced.png", 6, 8, interlace=True, width=19, height=11)
    png_case("grey4_interlaced.png", 0, 4, interlace=True, width=19, height=11)
    png_case("palette2_interlaced.png", 3, 2, interlace=True, width=19, height=11)
    png_case("rgb16_interlaced.png", 2, 16, interlace=True, width=19, height=11)
    png_case("rgb8_tiny_interlaced.png", 2, 8, interlace=True, width=3, height=2)


# ---- BMP ----------------------------------------------------------------------------------------

def bmp_file(width, height, bits, palette, pixel_bytes, compression=0, masks=None, header_size=40):
    """A BMP file; a negative height marks top-down rows. masks: the red, green and blue masks of a
    bit-field picture, stored right after a 40-byte header or inside a larger one."""
    palette_bytes = b"".join(bytes([b, g, r, 0]) for (b, g, r) in palette)
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression, len(pixel_bytes), 2835,
                       2835, len(palette), 0)
    if masks is not None:
        info += struct.pack("<III", *masks)
    info += b"\0" * (header_size - len(info))
    offset = 14 + len(info) + len(palette_bytes)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixel_bytes), 0, 0, offset)
    return header + info + palette_bytes + pixel_bytes


def bmp_rows(width, height, bits, values, top_down=False):
    """values[y][x] top-down; packed bottom-up (or top-down), padded to 4 bytes."""
    out = b""
    for y in (range(height) if top_down else reversed(range(height))):
        row = values[y]
        if bits == 16:
            line = b"".join(struct.pack("<H", v) for v in row)
        elif bits == 32 and isinstance(row[0], int):
            line = b"".join(struct.pack("<I", v) for v in row)
        elif bits in (24, 32):
            line = b"".join(bytes(v) for v in row)
        else:
            line = pack_samples(row, bits)
        out += line + b"\0" * (-len(line) % 4)
    return out


def bmp_palette(count):
    return [((i * 41 + 3) & 0xFF, (i * 97) & 0xFF, (200 - i * 7) & 0xFF) for i in range(count)]


def write_bmps():
    # Each uncompressed kind twice: bottom-up as bits<N>.bmp and top-down (negative height) as
    # topdown_bits<N>.bmp, with the same pixels expected.
    def both(name, bits, palette, vals, expected, **kw):
        save(name, bmp_file(W, H, bits, palette, bmp_rows(W, H, bits, vals), **kw), W, H, 24, expected)
        save("topdown_" + name, bmp_file(W, -H, bits, palette, bmp_rows(W, H, bits, vals, top_down=True), **kw),
             W, H, 24, expected)

    # 1 bit: a colourful palette that the decoder must ignore (0 black, 1 white).
    vals = [[(x * 3 + y) % 2 for x in range(W)] for y in range(H)]
    pal = [(0, 0, 255), (0, 255, 0)]
    both("bits1.bmp", 1, pal, vals, [[c for v in r for c in ((255,) * 3 if v else (0,) * 3)] for r in vals])

    for bits, count in ((4, 16), (8, 256)):
        pal = bmp_palette(count)
        vals = [[(x * 7 + y * 5) % count for x in range(W)] for y in range(H)]
        both("bits%d.bmp" % bits, bits, pal, vals, [[c for v in r for c in pal[v]] for r in vals])

    # 8 bits with a short palette (20 entries) followed directly by the pixels.
    pal = bmp_palette(20)
    vals = [[(x + y * 3) % 20 for x in range(W)] for y in range(H)]
    save("bits8_short_palette.bmp", bmp_file(W, H, 8, pal, bmp_rows(W, H, 8, vals)), W, H, 24,
         [[c for v in r for c in pal[v]] for r in vals])

    vals = [[((x * 5) & 31) | ((y * 9 & 31) << 5) | (((x + y) * 3 & 31) << 10) for x in range(W)] for y in range(H)]
    vals[0][0] = 0x7C00  # pure red
    vals[0][1] = 0xFFFF  # the unused top bit is ignored
    both("bits16.bmp", 16, [], vals,
         [[c for v in r for c in ((v & 31) * 8, (v >> 5 & 31) * 8, (v >> 10 & 31) * 8)] for r in vals])

    vals = [[((x * 19) & 0xFF, (y * 33) & 0xFF, (x * y * 5) & 0xFF) for x in range(W)] for y in range(H)]
    both("bits24.bmp", 24, [], vals, [[c for v in r for c in v] for r in vals])

    vals = [[((x * 19) & 0xFF, (y * 33) & 0xFF, (x * y * 5) & 0xFF, (x * 11) & 0xFF) for x in range(W)]
            for y in range(H)]
    both("bits32.bmp", 32, [], vals, [[c for v in r for c in v[:3]] for r in vals])

    # Bit fields: 5-6-5 at 16 bits (masks after a 40-byte header), and 10-10-10 at 32 bits with
    # the masks inside a 124-byte header, top-down. Narrower channels are widened by shifting left,
    # wider ones keep their top 8 bits.
    vals = [[((x * 3 + y) & 31) << 11 | ((x * 5 + y * 7) & 63) << 5 | ((x * y) & 31) for x in range(W)]
            for y in range(H)]
    vals[0][0] = 0xFFFF
    save("bits16_565.bmp", bmp_file(W, H, 16, [], bmp_rows(W, H, 16, vals), compression=3,
                                    masks=(0xF800, 0x07E0, 0x001F)), W, H, 24,
         [[c for v in r for c in ((v & 31) << 3, (v >> 5 & 63) << 2, (v >> 11) << 3)] for r in vals])
    vals = [[((x * 77 + y) & 1023) << 20 | ((x * 13 + y * 91) & 1023) << 10 | ((x * y * 29) & 1023) | (x & 3) << 30
             for x in range(W)] for y in range(H)]
    save("topdown_bits32_fields.bmp", bmp_file(W, -H, 32, [], bmp_rows(W, H, 32, vals, top_down=True),
                                               compression=3, masks=(0x3FF00000, 0x000FFC00, 0x000003FF),
                                               header_size=124), W, H, 24,
         [[c for v in r for c in ((v & 1023) >> 2, (v >> 10 & 1023) >> 2, (v >> 20 & 1023) >> 2)] for r in vals])

    # RLE8 on a 10 x 6 picture. File lines count from the bottom.
    w, h = 10, 6
    pal = bmp_palette(32)
    rle = bytes([
        4, 1,             # line 0: 4 pixels of 1
        0, 3, 2, 3, 4, 0,  # literal 2 3 4, padded
        0, 0,             # end of line
        12, 5,            # line 1: a run of 12, cut at the right edge
        0, 0,
        0, 2, 3, 1,       # line 2: move right 3, up 1 -> line 3, x 3
        2, 7,             # line 3: 7 7 at x 3, 4
        0, 4, 8, 9, 10, 11,  # literal of 4 (even, no pad) at x 5..8
        0, 0,
        0, 0,             # line 4 left empty
        0, 5, 1, 2, 3, 4, 5, 0,  # line 5: literal of 5, padded
        0, 1,             # end of picture
        9, 9,             # after the end: ignored
    ])
    grid = [[None] * w for _ in range(h)]  # [file line][x]

    def paint(line, x, v):
        if 0 <= x < w and 0 <= line < h:
            grid[line][x] = v
    for x in range(4):
        paint(0, x, 1)
    for i, v in enumerate((2, 3, 4)):
        paint(0, 4 + i, v)
    for x in range(12):
        paint(1, x, 5)
    paint(3, 3, 7)
    paint(3, 4, 7)
    for i, v in enumerate((8, 9, 10, 11)):
        paint(3, 5 + i, v)
    for i, v in enumerate((1, 2, 3, 4, 5)):
        paint(5, i, v)
    rows = []
    for y in range(h):  # top-down
        line = h - 1 - y
        rows.append([c for v in grid[line] for c in ((FILL,) * 3 if v is None else pal[v])])
    save("rle8.bmp", bmp_file(w, h, 8, pal, rle, compression=1), w, h, 24, rows)

    # Kinds the decoder does not read: their decode must fail (no .expected file).
    for name, data in refused_bmps(rle).items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


def refused_bmps(rle8_pixels):
    w, h = 4, 2
    pal16 = bmp_palette(16)
    tiny_png = make_png([[(200, 40, 40), (40, 200, 40)]], 8, 2)
    return {
        "rle4.bmp": bmp_file(w, h, 4, pal16, bytes([4, 0x12, 0, 0, 4, 0x34, 0, 1]), compression=2),
        "bits2.bmp": bmp_file(w, h, 2, bmp_palette(4), bytes([0x1B, 0, 0, 0, 0xE4, 0, 0, 0])),
        "bits64.bmp": bmp_file(w, h, 64, [], bytes(range(64))),
        "bits7.bmp": bmp_file(w, h, 7, [], bytes(8)),
        "bits0.bmp": bmp_file(w, h, 0, [], bytes(8)),
        # Embedded JPEG and PNG: the pixels are a whole compressed picture (bit count 0).
        "jpeg.bmp": bmp_file(2, 1, 0, [], bytes([0xFF, 0xD8, 0xFF, 0xE0, 0, 16]) + b"JFIF\0" + bytes(11) +
                             bytes([0xFF, 0xD9]), compression=4),
        "png.bmp": bmp_file(2, 1, 0, [], tiny_png, compression=5),
        "png_bits24.bmp": bmp_file(2, 1, 24, [], tiny_png, compression=5),
        # Known compressions at bit counts they do not apply to, and an unknown one.
        "bits24_rle8.bmp": bmp_file(w, h, 24, [], bytes([2, 1, 0, 1])),
        "bits24_compression9.bmp": bmp_file(w, h, 24, [], bytes(24), compression=9),
        "bits8_bitfields.bmp": bmp_file(w, h, 8, bmp_palette(4), bytes(8), compression=3,
                                        masks=(0xE0, 0x1C, 0x03)),
        # Bit-field masks that are not one run of bits, or that reach beyond the pixel.
        "bits16_split_mask.bmp": bmp_file(w, h, 16, [], bytes(16), compression=3, masks=(0xF00F, 0x07E0, 0x0010)),
        "bits16_wide_mask.bmp": bmp_file(w, h, 16, [], bytes(16), compression=3, masks=(0x1F800, 0x07E0, 0x001F)),
        # Run-length pictures are bottom-up by definition: a top-down one is refused.
        "topdown_rle8.bmp": bmp_file(10, -6, 8, bmp_palette(32), rle8_pixels, compression=1),
        # OS/2 headers (12 and 64 bytes).
        "os2.bmp": b"BM" + struct.pack("<IHHI", 26 + 24, 0, 0, 26) + struct.pack("<IHHHH", 12, 4, 2, 1, 24) + bytes(24),
        "os2_64.bmp": bmp_file(w, h, 24, [], bytes(24), header_size=64),
    }

if __name__ == "__main__":
    write_pngs()
    write_bmps()
