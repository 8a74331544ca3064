"""PNG frames read with Python's standard library (8-bit RGB or RGBA, not
interlaced: what the demo's capture and Chromium write) and compared."""
import struct
import zlib


def read_png(path):
    """Returns (width, height, rows of RGB bytes)."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError(f"{path}: only 8-bit RGB or RGBA PNG is read")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = previous[x]
            c = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line) if channels == 3 else bytes(v for i, v in enumerate(line) if i % 4 != 3))
        previous = line
    return width, height, rows


def compare(path_a, path_b, threshold=16):
    """The mean absolute difference per channel (0-255), the share of pixels
    with a channel apart by more than `threshold`, the largest difference,
    and the bounding box (x0, y0, x1, y1) of the pixels that differ at all."""
    wa, ha, a = read_png(path_a)
    wb, hb, b = read_png(path_b)
    if (wa, ha) != (wb, hb):
        raise ValueError(f"{path_a} is {wa}x{ha}, {path_b} is {wb}x{hb}")
    total = far = largest = 0
    box = None
    for y, (ra, rb) in enumerate(zip(a, b)):
        if ra == rb:
            continue
        for x in range(wa):
            d = max(abs(ra[3 * x + k] - rb[3 * x + k]) for k in range(3))
            if d == 0:
                continue
            total += sum(abs(ra[3 * x + k] - rb[3 * x + k]) for k in range(3))
            far += d > threshold
            largest = max(largest, d)
            box = (x, y, x, y) if box is None else (min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y))
    pixels = wa * ha
    return {"mean": total / (pixels * 3), "share": far / pixels, "max": largest, "box": box}
