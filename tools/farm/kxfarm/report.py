"""The farm's report: one static HTML page of a run (kxrender-farm --report FILE.html).

The page has no script and loads nothing from the network. It shows the run
(scene, folder, times, retries, excluded nodes, status), a thumbnail of each
image of each frame, a table of the work items and the last lines of every
failure. A PNG image is shown from its own file, by a link relative to the
report's folder; a PPM image gets a small PNG thumbnail written next to the
report, into REPORT.files/ for REPORT.html; a missing or unreadable image gets
a labelled placeholder. Everything taken from the run (names, node names,
lines of standard error) is escaped: control characters and bytes that are
not UTF-8 are shown as \\xHH, as kxrender --list-images shows names.
"""

import html
import os
import struct
import tempfile
import urllib.parse
import zlib

from .images import shown

THUMB = 160  # thumbnails fit a box of THUMB x THUMB pixels
LONG_ROW = 1 << 20  # pixels of a PPM row read at once, at most
STYLE = """
body { font: 14px sans-serif; margin: 16px; color: #222; background: #fff; }
h1 { font-size: 20px; } h2 { font-size: 17px; margin-top: 24px; }
table { border-collapse: collapse; } td, th { border: 1px solid #bbb; padding: 2px 8px; text-align: left; }
table.run th { background: #eee; } td.n { text-align: right; }
.frames { display: flex; flex-wrap: wrap; gap: 12px; align-items: flex-start; }
figure { margin: 0; padding: 6px; border: 1px solid #bbb; }
figcaption { max-width: 330px; overflow-wrap: anywhere; }
img { image-rendering: pixelated; display: block; }
.none { width: 160px; height: 120px; background: #ddd; color: #444; display: flex;
        align-items: center; justify-content: center; text-align: center; }
.failed { color: #a00; } pre { background: #f4f4f4; padding: 6px; overflow-x: auto; }
"""


def _text(value):
    """VALUE as text for the page: control characters and stray bytes as \\xHH, HTML-escaped."""
    if value is None:
        return ""
    if not isinstance(value, str):
        value = str(value)
    out = []
    for c in value:
        o = ord(c)
        if o < 0x20 and c != "\t" or o == 0x7F or 0x80 <= o <= 0x9F:
            out.append(f"\\x{o:02x}")
        elif 0xD800 <= o <= 0xDFFF:
            out.append(f"\\x{o - 0xDC00:02x}" if o >= 0xDC80 else f"\\u{o:04x}")
        else:
            out.append(c)
    return html.escape("".join(out), quote=True)


def _name(name):
    """An image or file name for the page, shown as --list-images shows it."""
    try:
        return html.escape(shown(name), quote=True)
    except (TypeError, UnicodeError):
        return _text(name)


def _str(value):
    return value if isinstance(value, str) else str(value)


def _seconds(value):
    try:
        return f"{float(value):.2f}"
    except (TypeError, ValueError):
        return "?"


def _png(width, height, rows):
    """A PNG file (bytes) of 8-bit RGB ROWS (bytes each)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def _fit(width, height):
    """The size at which an image of WIDTH x HEIGHT is shown: fitting the thumbnail box."""
    scale = min(THUMB / width, THUMB / height)
    return max(1, round(width * scale)), max(1, round(height * scale))


def _ppm_header(f):
    """(width, height, maxval, offset of the pixels) of a binary PPM, or None."""
    head = f.read(64)
    fields = []
    pos = 2
    while len(fields) < 3:
        while pos < len(head) and head[pos:pos + 1].isspace() or head[pos:pos + 1] == b"#":
            if head[pos:pos + 1] == b"#":
                end = head.find(b"\n", pos)
                if end < 0:
                    return None
                pos = end
            pos += 1
        start = pos
        while pos < len(head) and head[pos:pos + 1].isdigit():
            pos += 1
        if pos == start or pos >= len(head) or not head[pos:pos + 1].isspace():
            return None
        fields.append(int(head[start:pos]))
        pos += 1
    return fields[0], fields[1], fields[2], pos


def _ppm_thumbnail(path):
    """(PNG bytes, thumbnail width, height) of the PPM image at PATH, or (None, why)."""
    with open(path, "rb") as f:
        if f.read(2) != b"P6":
            return None, "not a PNG or PPM image"
        f.seek(0)
        header = _ppm_header(f)
        if header is None:
            return None, "damaged PPM header"
        width, height, maxval, offset = header
        if width == 0 or height == 0:
            return None, f"empty image ({width} x {height})"
        if not 0 < maxval < 256:
            return None, "PPM of 16-bit samples"
        if os.fstat(f.fileno()).st_size < offset + width * height * 3:
            return None, "PPM image cut short"
        tw, th = min(width, THUMB), min(height, THUMB)
        tw, th = (tw, max(1, round(height * tw / width))) if width >= height else \
                 (max(1, round(width * th / height)), th)
        columns = [(x * width // tw) * 3 for x in range(tw)]
        rows = []
        for y in range(th):
            start = offset + (y * height // th) * width * 3
            row = bytearray(tw * 3)
            if width <= LONG_ROW:
                f.seek(start)
                line = f.read(width * 3)
                for k, c in enumerate(columns):
                    row[3 * k:3 * k + 3] = line[c:c + 3]
            else:  # a row too long to hold: only its sampled pixels are read
                for k, c in enumerate(columns):
                    f.seek(start + c)
                    row[3 * k:3 * k + 3] = f.read(3)
            if maxval != 255:
                row = bytearray(min(255, v * 255 // maxval) for v in row)
            rows.append(bytes(row))
        return _png(tw, th, rows), tw, th


def _png_size(path):
    """(width, height) of the PNG image at PATH, or None when it is not one."""
    with open(path, "rb") as f:
        head = f.read(24)
    if len(head) < 24 or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def _link(target, base):
    """A relative URL from the folder BASE to the file TARGET."""
    return urllib.parse.quote(os.fsencode(os.path.relpath(target, base)))


def _placeholder(label, name):
    return f'<div class="none" title="{_name(name)}">{html.escape(label)}</div>'


class _Thumbnails:
    """Writes the thumbnails of PPM images into the report's files folder."""

    def __init__(self, report):
        base, _ = os.path.splitext(os.path.basename(report))
        self.base = os.path.dirname(report)
        self.folder = os.path.join(self.base, base + ".files")
        self.written = []

    def picture(self, name, folder):
        """The HTML of the thumbnail of the image NAME (relative to FOLDER or absolute)."""
        path = os.path.join(folder, name)
        try:
            size = _png_size(path)
            if size is not None and 0 in size:
                return _placeholder(f"empty image ({size[0]} x {size[1]})", name)
            if size is not None:
                w, h = _fit(*size)
                return f'<img src="{_link(path, self.base)}" width="{w}" height="{h}" alt="{_name(name)}">'
            thumbnail = _ppm_thumbnail(path)
        except FileNotFoundError:
            return _placeholder("missing", name)
        except OSError as e:
            return _placeholder(f"cannot be read: {e.strerror or e}", name)
        if thumbnail[0] is None:
            return _placeholder(thumbnail[1], name)
        data, tw, th = thumbnail
        os.makedirs(self.folder, exist_ok=True)
        file = os.path.join(self.folder, f"{len(self.written) + 1:04d}.png")
        with open(file, "wb") as f:
            f.write(data)
        self.written.append(os.path.basename(file))
        w, h = _fit(tw, th)
        return f'<img src="{_link(file, self.base)}" width="{w}" height="{h}" alt="{_name(name)}">'

    def tidy(self):
        """Removes thumbnails an earlier report left that this one does not use."""
        try:
            names = os.listdir(self.folder)
        except OSError:
            return
        for n in names:
            if n.endswith(".png") and len(n) == 8 and n[:4].isdigit() and n not in self.written:
                try:
                    os.remove(os.path.join(self.folder, n))
                except OSError:
                    pass


def _status(status):
    if status == 0:
        return "0: every image complete"
    if isinstance(status, int) and status > 128:
        return f"{status}: stopped by signal {status - 128}"
    return f"{_text(status)}: images missing or the run not done"


def _header(run):
    excluded = run.get("excluded") or []
    frames = run.get("frames") or []
    done = sum(1 for f in frames if f.get("state") in ("done", "skipped"))
    rows = [("Scene", _name(run.get("scene", ""))), ("Folder", _name(run.get("folder", ""))),
            ("Started", _text(run.get("started", ""))), ("Wall time", _seconds(run.get("wall")) + " s"),
            ("CPU time", _seconds(run.get("cpu")) + " s"), ("Retries", _text(run.get("retries", 0))),
            ("Excluded nodes", ", ".join(_text(n) for n in excluded) if excluded else "none"),
            ("Frames", f"{done} of {len(frames)} complete"), ("Status", _status(run.get("status")))]
    return ('<table class="run">\n' +
            "".join(f"<tr><th>{k}</th><td>{v}</td></tr>\n" for k, v in rows) + "</table>\n")


def _frames(run, thumbnails):
    folder = _str(run.get("folder") or ".")
    out = ['<h2>Frames</h2>\n<div class="frames">\n']
    for f in run.get("frames") or []:
        state = f.get("state", "")
        pictures = []
        for name in f.get("images") or []:
            pictures.append(thumbnails.picture(_str(name), folder))
            pictures.append(f"<div>{_name(name)}</div>")
        css = ' class="failed"' if state == "failed" else ""
        out.append(f'<figure>{"".join(pictures)}<figcaption{css}>frame {_text(f.get("frame", ""))}: '
                   f'{_text(state)}</figcaption></figure>\n')
    out.append("</div>\n")
    return "".join(out)


def _items(run):
    out = ["<h2>Work items</h2>\n<table>\n<tr><th>Item</th><th>Frame</th><th>Region</th><th>Node</th>"
           "<th>Seconds</th><th>CPU s</th><th>Attempts</th><th>State</th></tr>\n"]
    for i in run.get("items") or []:
        region = i.get("region")
        region = "whole frame" if not region else " ".join(_text(v) for v in region)
        css = ' class="failed"' if i.get("state") == "failed" else ""
        out.append(f'<tr{css}><td class="n">{_text(i.get("item", ""))}</td><td class="n">{_text(i.get("frame", ""))}'
                   f'</td><td>{region}</td><td>{_text(i.get("node", ""))}</td>'
                   f'<td class="n">{_seconds(i.get("seconds"))}</td><td class="n">{_seconds(i.get("cpu"))}</td>'
                   f'<td class="n">{_text(i.get("attempts", ""))}</td><td>{_text(i.get("state", ""))}</td></tr>\n')
    out.append("</table>\n")
    return "".join(out)


def _failures(run):
    failures = run.get("failures") or []
    out = [f"<h2>Failures ({len(failures)})</h2>\n"]
    if not failures:
        out.append("<p>none</p>\n")
    for k in failures:
        lines = k.get("lines") or []
        out.append(f'<h3 class="failed">item {_text(k.get("item", ""))}, frame {_text(k.get("frame", ""))}, '
                   f'node {_text(k.get("node", ""))}, attempt {_text(k.get("attempt", ""))}: '
                   f'{_text(k.get("what", ""))}</h3>\n')
        out.append("<pre>" + "\n".join(_text(line) for line in lines) + "</pre>\n" if lines
                   else "<p>(nothing on its standard error)</p>\n")
    return "".join(out)


def write_report(path, run):
    """Writes the report of RUN (the dict the farm builds) to PATH, whole; raises OSError only."""
    path = os.path.abspath(path)
    thumbnails = _Thumbnails(path)
    body = (f'<h1>kxrender-farm: {_name(os.path.basename(_str(run.get("scene", ""))))}</h1>\n' +
            _header(run) + _frames(run, thumbnails) + _items(run) + _failures(run))
    page = ('<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            '<meta http-equiv="Content-Security-Policy" content="default-src \'none\'; img-src \'self\' file:; '
            'style-src \'unsafe-inline\'">\n'
            f'<title>kxrender-farm: {_name(os.path.basename(_str(run.get("scene", ""))))}</title>\n'
            f"<style>{STYLE}</style>\n</head>\n<body>\n{body}</body>\n</html>\n")
    folder = os.path.dirname(path)
    fd, temporary = tempfile.mkstemp(prefix=".report.", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(page)
        mask = os.umask(0)
        os.umask(mask)
        os.chmod(temporary, 0o666 & ~mask)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise
    thumbnails.tidy()
