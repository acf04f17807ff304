#!/usr/bin/env python3
"""kxrender-farm's HTML report as a browser shows it (Debian's chromium, headless).

    report_test.py KXRENDER SOURCE_DIR

A run of three frames is reported: frame 1 a PNG image with a hostile name
(<b>, &amp;, a quote, %41), frame 2 a PPM image, frame 3 missing under a name
with a line feed, a Latin-1 byte and <i>; one failure whose last lines hold
<script> and an escape sequence. The images are rendered by the real kxrender,
each of one flat colour. The page's DOM must show every text literally (and
hold no element the names or lines could have smuggled in), and a screenshot
must show each image's thumbnail as a rectangle of its colour at the size the
page gives it. Fails, never passes, when chromium is missing.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

KXRENDER, SOURCE = os.path.abspath(sys.argv[1]), sys.argv[2]
sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(SOURCE, "tools", "farm"))
from kxfarm.report import write_report  # noqa: E402

PNG_NAME = "<b>&amp;'%41 0001.png"
GONE = os.fsdecode(b"gone\n\xe9<i>x</i>.ppm")
SCENE = """Display "{name}" "{kind}" "rgb"
Format {w} {h}
FrameBegin {frame}
Background {colour}
WorldBegin
WorldEnd
FrameEnd
"""
failures = []


def check(what, ok):
    print(("ok: " if ok else "FAIL: ") + what)
    if not ok:
        failures.append(what)


def read_png(path):
    """(width, height, rows of RGB bytes) of an 8-bit RGB or RGBA PNG, not interlaced."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG file"
    pos, idat = 8, []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, f"{path}: unexpected PNG form"
        elif kind == b"IDAT":
            idat.append(body)
        pos += 12 + length
    raw = zlib.decompress(b"".join(idat))
    bpp = 3 if colour == 2 else 4
    stride = width * bpp
    prev = bytearray(stride)
    rows = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                c = prev[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        rows.append(bytes(v for i, v in enumerate(line) if i % bpp < 3) if bpp == 4 else bytes(line))
    return width, height, rows


def rectangle_of(rows, colour):
    """(width, height, count) of the bounding box of the pixels of COLOUR and how many there are."""
    xs, ys, count = [], [], 0
    for y, row in enumerate(rows):
        start = 0
        while True:
            i = row.find(colour, start)
            if i < 0:
                break
            if i % 3 == 0:
                xs.append(i // 3)
                ys.append(y)
                count += 1
                start = i + 3
            else:
                start = i + 1
    if not count:
        return 0, 0, 0
    return max(xs) - min(xs) + 1, max(ys) - min(ys) + 1, count


def chromium(work, *options):
    command = [shutil.which("chromium"), "--headless", "--no-sandbox", "--disable-gpu",
               f"--user-data-dir={work}/profile", "--force-device-scale-factor=1",
               "--force-color-profile=srgb", "--hide-scrollbars", *options,
               "file://" + os.path.join(work, "out", "report.html")]
    return subprocess.run(command, capture_output=True, timeout=120, env=dict(os.environ, HOME=work))


def main():
    if not shutil.which("chromium"):
        print("FAIL: chromium is not installed (Debian chromium, tools/install-deps.sh test)")
        return 1
    with tempfile.TemporaryDirectory(prefix="kx-report-test.") as work:
        for scene, values in (("a.kx", dict(name=PNG_NAME[:-8], kind="PNG", w=48, h=32, frame=1, colour="0.8 0.1 0.2")),
                              ("b.kx", dict(name="shot", kind="PNM", w=30, h=40, frame=2, colour="0.1 0.3 0.9"))):
            with open(os.path.join(work, scene), "w") as f:
                f.write(SCENE.format(**values))
            subprocess.run([KXRENDER, scene], cwd=work, check=True)
        run = {"scene": os.path.join(work, "a.kx"), "folder": work, "started": "2026-12-10T13:10:00",
               "wall": 12.5, "cpu": 20.25, "retries": 1, "excluded": ["n3"], "status": 1,
               "frames": [{"frame": 1, "images": [PNG_NAME], "state": "done"},
                          {"frame": 2, "images": [os.path.join(work, "shot0002.ppm")], "state": "skipped"},
                          {"frame": 3, "images": [GONE], "state": "failed"}],
               "items": [{"item": 0, "frame": 1, "region": None, "node": "n1", "seconds": 1.5, "cpu": 1.25,
                          "attempts": 1, "state": "done"},
                         {"item": 1, "frame": 3, "region": [0, 0, 30, 20], "node": "n3", "seconds": 0.1,
                          "cpu": 0.0, "attempts": 3, "state": "failed"}],
               "failures": [{"item": 1, "frame": 3, "node": "n3", "attempt": 3, "what": "exit status 3",
                             "lines": ["Error in a.kx on line 7: <script>alert(1)</script>",
                                       "\x1b[31mred\x1b[0m"]}]}
        os.mkdir(os.path.join(work, "out"))
        write_report(os.path.join(work, "out", "report.html"), run)
        with open(os.path.join(work, "out", "report.html"), "rb") as f:
            page = f.read()
        check("the page runs nothing and loads nothing from the network",
              b"<script" not in page.lower() and b"http:" not in page and b"https:" not in page)
        check("one thumbnail written, for the PPM image",
              os.listdir(os.path.join(work, "out", "report.files")) == ["0001.png"])

        dom = chromium(work, "--dump-dom")
        text = dom.stdout.decode("utf-8", "replace")
        check(f"chromium --dump-dom (status {dom.returncode})", dom.returncode == 0 and "</html>" in text)
        for shown in ["n1", "n3", "Excluded nodes</th><td>n3", "whole frame", "0 0 30 20",
                      "&lt;b&gt;&amp;amp;'%41 0001.png", "gone\\x0a\\xe9&lt;i&gt;x&lt;/i&gt;.ppm",
                      ">missing<", "frame 3: failed", "2 of 3 complete",
                      "item 1, frame 3, node n3, attempt 3: exit status 3",
                      "<pre>Error in a.kx on line 7: &lt;script&gt;alert(1)&lt;/script&gt;\n\\x1b[31mred\\x1b[0m</pre>"]:
            check(f"the page shows {shown!r}", shown in text)
        check("no element smuggled in by a name or a line",
              "<b>" not in text and "<i>" not in text and "<script" not in text)

        shot = chromium(work, "--window-size=700,700", f"--screenshot={work}/shot.png")
        check(f"chromium --screenshot (status {shot.returncode})",
              shot.returncode == 0 and os.path.exists(f"{work}/shot.png"))
        if os.path.exists(f"{work}/shot.png"):
            width, height, rows = read_png(f"{work}/shot.png")
            for name, kind, size in ((PNG_NAME, "PNG", (160, 107)), ("shot0002.ppm", "PPM", (120, 160))):
                colour = bytes(int(255.999 * float(v)) for v in
                               ("0.8 0.1 0.2" if kind == "PNG" else "0.1 0.3 0.9").split())
                w, h, count = rectangle_of(rows, colour)
                check(f"the {kind} image's thumbnail is drawn: a {size[0]} x {size[1]} rectangle of "
                      f"{tuple(colour)} (seen {w} x {h}, {count} pixels)", (w, h) == size and count == w * h)
    if failures:
        print(f"FAIL: {len(failures)} check(s) failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
