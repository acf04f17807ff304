"""Image names as kxrender --list-images prints them, and as the farm shows them.

In a listed name a backslash is written \\\\; each control byte (0x00-0x1f,
0x7f), each byte that is not part of valid UTF-8 and both bytes of the UTF-8
forms of U+0080..U+009F are written \\xHH; everything else is as is. The farm
undoes exactly that, keeps a name as a str (os.fsdecode, so bytes that are
not UTF-8 survive as surrogates) and shows it escaped the same way.
"""

import os
import re

_ESCAPE = re.compile(rb"\\(\\|x[0-9a-f]{2})")
_PPM = re.compile(rb"P6\s+([0-9]+)\s+([0-9]+)\s+255\s")
_LINE = re.compile(rb"image (-?[0-9]+) ([0-9]+) ([0-9]+) (.+)", re.DOTALL)


def unescape(raw: bytes) -> bytes:
    """The bytes of a name as --list-images escaped it."""
    def one(m):
        code = m.group(1)
        return b"\\" if code == b"\\" else bytes([int(code[1:], 16)])
    return _ESCAPE.sub(one, raw)


def shown(name: str) -> str:
    """A name escaped as --list-images escapes it: safe on a terminal, one line."""
    out = []
    for ch in name:
        code = ord(ch)
        if 0xDC80 <= code <= 0xDCFF:  # a byte that was not UTF-8
            out.append(f"\\x{code - 0xDC00:02x}")
        elif code < 0x20 or code == 0x7F:
            out.append(f"\\x{code:02x}")
        elif 0x80 <= code <= 0x9F:
            out.extend(f"\\x{b:02x}" for b in ch.encode("utf-8"))
        elif ch == "\\":
            out.append("\\\\")
        else:
            out.append(ch)
    return "".join(out)


def parse_list(stdout: bytes) -> dict:
    """{name: (frame, width, height)} of the image lines of --list-images."""
    images = {}
    for line in stdout.split(b"\n"):
        m = _LINE.fullmatch(line)
        if m:
            name = os.fsdecode(unescape(m.group(4)))
            images[name] = (int(m.group(1)), int(m.group(2)), int(m.group(3)))
    return images


def complete(path: str, width: int, height: int, region=None) -> bool:
    """Whether the file at path looks whole: an image of its header's size
    (PPM), ended by its last chunk (PNG), or a region file holding every
    pixel its header promises. An empty image (width or height 0) only has
    to exist."""
    try:
        size = os.path.getsize(path)
        if width == 0 or height == 0:
            return True
        with open(path, "rb") as f:
            head = f.read(65536)
            if region is not None:
                end = head.find(b"\npixels\n")
                if not head.startswith(b"KXREGION 1\n") or end < 0:
                    return False
                x0, y0, x1, y1 = region
                return size == end + 8 + (x1 - x0) * (y1 - y0) * 3
            if head.startswith(b"\x89PNG"):
                f.seek(max(0, size - 12))
                return f.read(12)[4:8] == b"IEND"
            m = _PPM.match(head)
            if m:
                w, h = int(m.group(1)), int(m.group(2))
                return (w, h) == (width, height) and size == m.end() + w * h * 3
    except (OSError, ValueError):
        return False
    return size > 0
