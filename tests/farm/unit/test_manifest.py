"""The farm's manifest: what makes an image current, damage, odd names, --verify."""

import hashlib
import json
import multiprocessing
import os
import tempfile
import unittest

from kxfarm import manifest
from kxfarm.manifest import Manifest, verify

SCENE_A = hashlib.sha256(b"scene A").hexdigest()
SCENE_B = hashlib.sha256(b"scene B").hexdigest()


def _append_many(path, worker, count):
    m = Manifest(path)
    folder = os.path.dirname(os.path.dirname(path))
    for i in range(count):
        name = f"w{worker}-{i:03d}.ppm"
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"P6\n1 1\n255\n" + bytes([worker, i % 256, 7]))
        m.record(name, i, name, "/scenes/s.kx", SCENE_A)


class ManifestTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.folder = self.tmp.name
        self.path = os.path.join(self.folder, ".kxrender-farm", "manifest")

    def tearDown(self):
        self.tmp.cleanup()

    def image(self, name, data):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data)

    def lines(self):
        with open(self.path, "rb") as f:
            return f.read().split(b"\n")

    def test_an_image_is_current_until_its_bytes_or_its_scene_change(self):
        self.image("frame0001.ppm", b"P6\n2 1\n255\n" + bytes(6))
        self.assertEqual(manifest.scene_hash(os.path.join(self.folder, "frame0001.ppm")),
                         hashlib.sha256(b"P6\n2 1\n255\n" + bytes(6)).hexdigest())
        m = Manifest(self.path)
        self.assertFalse(m.is_current("frame0001.ppm", "frame0001.ppm", SCENE_A))
        m.record("frame0001.ppm", 1, "frame0001.ppm", "/scenes/orbit.kx", SCENE_A)
        self.assertTrue(m.is_current("frame0001.ppm", "frame0001.ppm", SCENE_A))
        again = Manifest(self.path)  # as a later run reads it
        self.assertTrue(again.is_current("frame0001.ppm", os.path.join(self.folder, "frame0001.ppm"), SCENE_A))
        self.assertEqual(again.check("frame0001.ppm", "frame0001.ppm", SCENE_B), "stale")
        self.assertEqual(again.last("frame0001.ppm")["scene"], "/scenes/orbit.kx")
        self.image("frame0001.ppm", b"P6\n2 1\n255\n" + bytes(5) + b"\x01")  # one byte changed
        self.assertEqual(again.check("frame0001.ppm", "frame0001.ppm", SCENE_A), "sha256")
        self.image("frame0001.ppm", b"P6\n2 1\n255\n" + bytes(5))
        self.assertEqual(again.check("frame0001.ppm", "frame0001.ppm", SCENE_A), "size")
        again.record("frame0001.ppm", 1, "frame0001.ppm", "/scenes/orbit.kx", SCENE_B)  # the later entry wins
        self.assertTrue(m.is_current("frame0001.ppm", "frame0001.ppm", SCENE_B))  # seen by the other object too
        self.assertFalse(Manifest(self.path).is_current("frame0001.ppm", "frame0001.ppm", SCENE_A))
        os.remove(os.path.join(self.folder, "frame0001.ppm"))
        self.assertEqual(m.check("frame0001.ppm", "frame0001.ppm", SCENE_B), "missing")

    def test_damaged_lines_are_skipped_and_later_appends_stand_on_their_own_line(self):
        self.image("a.png", b"first")
        self.image("b.png", b"second")
        Manifest(self.path).record("a.png", 1, "a.png", "s.kx", SCENE_A)
        Manifest(self.path).record("b.png", 2, "b.png", "s.kx", SCENE_A)
        whole = self.lines()[1]
        with open(self.path, "ab") as f:  # garbage, a huge line, then a line cut short by a crash
            f.write(b"\x00\xff not json\n[1, 2]\n{\"name\": \"a.png\"}\n" + b"x" * 200000 + b"\n")
            f.write(whole[:len(whole) // 2])
        m = Manifest(self.path)
        self.assertEqual(sorted(m.entries), ["a.png", "b.png"])
        self.assertTrue(m.is_current("a.png", "a.png", SCENE_A))
        self.image("c.png", b"third")
        m.record("c.png", 3, "c.png", "s.kx", SCENE_A)
        lines = self.lines()
        self.assertEqual(lines[-1], b"")
        self.assertEqual(lines[-3], whole[:len(whole) // 2])
        self.assertEqual(json.loads(lines[-2])["name"], "c.png")
        again = Manifest(self.path)
        self.assertEqual(sorted(again.entries), ["a.png", "b.png", "c.png"])
        self.assertTrue(all(again.is_current(n, n, SCENE_A) for n in again.entries))

    def test_latin1_and_line_feed_names_round_trip_on_one_line(self):
        names = [os.fsdecode(b"caf\xe9.png"), "two\nlines.png", "back\\x41slash.ppm", "\u00e9t\u00e9 \u0085.png"]
        m = Manifest(self.path)
        for k, name in enumerate(names):
            self.image(name, bytes([k]) * 10)
            m.record(name, k, name, os.fsdecode(b"/sc\xe8nes/a.kx"), SCENE_A)
        self.assertEqual(len(self.lines()), len(names) + 1)
        self.assertIn(b'"name": "caf\\\\xe9.png"', self.lines()[0])  # as --list-images shows it
        again = Manifest(self.path)
        self.assertEqual(sorted(again.entries), sorted(names))
        self.assertEqual(again.last(names[0])["scene"], os.fsdecode(b"/sc\xe8nes/a.kx"))
        self.assertTrue(all(again.is_current(n, n, SCENE_A) for n in names))
        self.assertEqual([manifest.shown(n) for n in names],
                         ["caf\\xe9.png", "two\\x0alines.png", "back\\\\x41slash.ppm", "\u00e9t\u00e9 \\xc2\\x85.png"])

    def test_farms_appending_at_once_lose_no_entry(self):
        m = Manifest(self.path)
        self.image("first.ppm", b"P6\n1 1\n255\n\0\0\0")
        m.record("first.ppm", 0, "first.ppm", "s.kx", SCENE_A)
        workers = [multiprocessing.Process(target=_append_many, args=(self.path, w, 40)) for w in range(4)]
        for w in workers:
            w.start()
        for w in workers:
            w.join()
        self.assertEqual([w.exitcode for w in workers], [0] * 4)
        self.assertEqual(len(self.lines()), 4 * 40 + 2)
        self.assertEqual(len(Manifest(self.path).entries), 4 * 40 + 1)
        self.assertTrue(m.is_current("w3-039.ppm", "w3-039.ppm", SCENE_A))

    def test_verify_names_each_image_that_is_not_current(self):
        latin1 = os.fsdecode(b"\xe9<\x1b[31m.png")
        for name in ("f0001.png", "f0002.png", "f0004.png", "f0005.png", latin1):
            self.image(name, name.encode("utf-8", "surrogateescape"))
        m = Manifest(self.path)
        for frame, name in ((1, "f0001.png"), (2, "f0002.png"), (3, "f0003.png"), (6, latin1)):
            if frame != 3:
                m.record(name, frame, name, "s.kx", SCENE_A)
        m.record("f0004.png", 4, "f0004.png", "s.kx", SCENE_B)
        self.image("f0002.png", b"f0002.pnG")
        images = {"f0001.png": (1, 4, 4), "f0002.png": (2, 4, 4), "f0003.png": (3, 4, 4),
                  "f0004.png": (4, 4, 4), "f0005.png": (5, 4, 4), latin1: (6, 4, 4)}
        lines, status = verify(Manifest(self.path), images, self.folder, SCENE_A)
        self.assertEqual(lines, [
            "changed f0002.png (frame 2): SHA-256 differs from the manifest",
            "missing f0003.png (frame 3)",
            "stale f0004.png (frame 4): rendered from another version of the scene",
            "unknown f0005.png (frame 5): not in the manifest",
            "kxrender-farm: 2 of 6 images verified; 4 not"])
        self.assertEqual(status, 1)
        del images["f0002.png"], images["f0003.png"], images["f0004.png"], images["f0005.png"]
        self.assertEqual(verify(m, images, self.folder, SCENE_A),
                         (["kxrender-farm: 2 of 2 images verified"], 0))
        os.remove(os.path.join(self.folder, latin1))
        self.assertEqual(verify(m, images, self.folder, SCENE_A),
                         (["missing \\xe9<\\x1b[31m.png (frame 6)", "kxrender-farm: 1 of 2 images verified; 1 not"], 1))


if __name__ == "__main__":
    unittest.main()
