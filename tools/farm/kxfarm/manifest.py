"""The farm's manifest: which image was rendered from which scene, and its bytes.

Each output folder has one manifest, FOLDER/.kxrender-farm/manifest, shared by
every scene rendered there. It is a text file of lines, one JSON object per
line, appended as each frame's images are put in place:

    {"name": "frame0001.png", "size": 52113, "sha256": "9f2c...", "frame": 1,
     "scene": "/shots/orbit.kx", "scene_sha256": "4be1...", "time": "2026-12-10T13:05:39Z"}

`name` and `scene` are written as kxrender --list-images writes names: the
bytes of the name, with a backslash as \\ and each control byte, each byte that
is not part of valid UTF-8, and both bytes of the UTF-8 encodings of U+0080 to
U+009F as \\xHH. Any name the file system can hold (Latin-1 bytes, line feeds)
therefore round-trips through the file, and the file stays readable text.

For a name, the last entry of the file wins. A line that is not such an
object (cut short by a crash, edited by hand) is skipped, never fatal; an
append first ends a cut line so that the new entry stands on a line of its
own. Appends hold an fcntl.flock on the manifest and are flushed and fsynced
before the lock is let go, so farms working in the same folder at the same
time can share the file.

An image is current when it exists, its size and SHA-256 are those of the
last entry for its name, and that entry was rendered from a scene file with
the same SHA-256 as the scene at hand.
"""

import fcntl
import hashlib
import json
import os
import re
import time

from .images import shown, unescape

PROGRAM = "kxrender-farm"
CHUNK = 1 << 20  # bytes read at a time when hashing
LONGEST_LINE = 1 << 16  # a longer line is damage, skipped without being held in memory
HEX64 = re.compile(r"[0-9a-f]{64}")


def _unescape(text):
    """The name (a str as os.fsdecode makes it) that shown() wrote as TEXT."""
    return os.fsdecode(unescape(text.encode("utf-8", "surrogateescape")))


def file_hash(path):
    """(size, hex SHA-256) of the file at PATH, read in chunks; raises OSError."""
    digest = hashlib.sha256()
    size = 0
    with open(path, "rb") as f:
        while True:
            chunk = f.read(CHUNK)
            if not chunk:
                break
            digest.update(chunk)
            size += len(chunk)
    return size, digest.hexdigest()


def scene_hash(path):
    """Hex SHA-256 of the bytes of the scene file at PATH; raises OSError."""
    return file_hash(path)[1]


def _entry(line):
    """The entry a manifest line holds, or None for a damaged line."""
    try:
        e = json.loads(line.decode("utf-8"))
    except (UnicodeDecodeError, ValueError, RecursionError):
        return None
    if not isinstance(e, dict):
        return None
    name, scene, frame, size = e.get("name"), e.get("scene"), e.get("frame"), e.get("size")
    sha, scene_sha = e.get("sha256"), e.get("scene_sha256")
    if not (isinstance(name, str) and isinstance(scene, str) and isinstance(sha, str)
            and isinstance(scene_sha, str) and type(frame) is int and type(size) is int and size >= 0
            and HEX64.fullmatch(sha) and HEX64.fullmatch(scene_sha)):
        return None
    try:
        name, scene = _unescape(name), _unescape(scene)
    except UnicodeError:  # a surrogate written by hand
        return None
    if not name:
        return None
    return {"name": name, "size": size, "sha256": sha, "frame": frame, "scene": scene,
            "scene_sha256": scene_sha, "time": e.get("time") if isinstance(e.get("time"), str) else ""}


class Manifest:
    """The manifest at PATH (FOLDER/.kxrender-farm/manifest), loaded if it exists; raises
    OSError when it exists but cannot be read (damaged lines are only skipped)."""

    def __init__(self, path):
        self.path = path
        # Relative image paths are taken from the output folder, the manifest's grandparent.
        self.folder = os.path.dirname(os.path.dirname(os.path.abspath(path)))
        self.entries = {}  # name -> the last entry for it
        self._offset = 0  # bytes of the file read so far (whole lines only)
        self._seen = None  # (size, mtime) of the file when last read
        self._refresh()

    def _look(self):
        """_refresh, keeping what is known when the file cannot be read now."""
        try:
            self._refresh()
        except OSError:
            pass

    def _image(self, image_path):
        return os.path.join(self.folder, image_path)

    def _read_from(self, f):
        """Takes in the lines of the open manifest F past what was read."""
        f.seek(self._offset)
        while True:
            line = f.readline(LONGEST_LINE + 1)
            if not line:
                return
            if not line.endswith(b"\n"):
                if len(line) <= LONGEST_LINE:
                    # The last line, without its line feed: taken if it is whole, and left
                    # unread so that it is read again once an append has ended it.
                    e = _entry(line)
                    if e is not None:
                        self.entries[e["name"]] = e
                    return
                while not line.endswith(b"\n"):  # damage: skipped without holding it
                    line = f.readline(CHUNK)
                    if not line:
                        return
            else:
                e = _entry(line[:-1])
                if e is not None:
                    self.entries[e["name"]] = e
            self._offset = f.tell()

    def _refresh(self):
        """Takes in what other farms appended since the last look."""
        try:
            st = os.stat(self.path)
        except FileNotFoundError:
            return
        if self._seen == (st.st_size, st.st_mtime_ns):
            return
        with open(self.path, "rb") as f:
            fcntl.flock(f, fcntl.LOCK_SH)
            try:
                st = os.fstat(f.fileno())
                self._read_from(f)
                self._seen = (st.st_size, st.st_mtime_ns)
            finally:
                fcntl.flock(f, fcntl.LOCK_UN)

    def record(self, name, frame, image_path, scene, scene_sha):
        """Appends an entry for the image now at IMAGE_PATH; raises OSError."""
        size, sha = file_hash(self._image(image_path))
        entry = {"name": shown(name), "size": size, "sha256": sha, "frame": int(frame),
                 "scene": shown(scene), "scene_sha256": scene_sha,
                 "time": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime())}
        line = (json.dumps(entry, ensure_ascii=False) + "\n").encode("utf-8")
        folder = os.path.dirname(self.path)
        if folder:
            os.makedirs(folder, exist_ok=True)
        fd = os.open(self.path, os.O_RDWR | os.O_CREAT | os.O_APPEND | os.O_CLOEXEC, 0o666)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX)
            end = os.fstat(fd).st_size
            if end > 0 and os.pread(fd, 1, end - 1) != b"\n":
                line = b"\n" + line  # ends a line cut short by a crash
            written = 0
            while written < len(line):
                written += os.write(fd, line[written:])
            os.fsync(fd)
            if end == 0 and folder:
                _sync_folder(folder)
        finally:
            os.close(fd)  # lets go of the lock
        self.entries[name] = {"name": name, "size": size, "sha256": sha, "frame": int(frame),
                              "scene": scene, "scene_sha256": scene_sha, "time": entry["time"]}

    def last(self, name):
        """The last entry for NAME (a dict), or None."""
        self._look()
        return self.entries.get(name)

    def check(self, name, image_path, scene_sha):
        """What is wrong with the image NAME at IMAGE_PATH: None when it is current, else
        "missing", "unreadable", "unknown", "size", "sha256" or "stale"."""
        path = self._image(image_path)
        try:
            st = os.stat(path)
        except FileNotFoundError:
            return "missing"
        except OSError:
            return "unreadable"
        e = self.last(name)
        if e is None:
            return "unknown"
        if st.st_size != e["size"]:
            return "size"
        try:
            size, sha = file_hash(path)
        except OSError:
            return "unreadable"
        if size != e["size"]:
            return "size"
        if sha != e["sha256"]:
            return "sha256"
        if e["scene_sha256"] != scene_sha:
            return "stale"
        return None

    def is_current(self, name, image_path, scene_sha):
        """True when the image exists and is what the last entry for NAME says, rendered
        from a scene of hash SCENE_SHA."""
        return self.check(name, image_path, scene_sha) is None


def _sync_folder(folder):
    try:
        fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    except OSError:
        return
    try:
        os.fsync(fd)
    except OSError:
        pass
    finally:
        os.close(fd)


WHY = {
    "missing": "",
    "unreadable": ": cannot be read",
    "unknown": ": not in the manifest",
    "size": ": size differs from the manifest",
    "sha256": ": SHA-256 differs from the manifest",
    "stale": ": rendered from another version of the scene",
}
WORD = {"missing": "missing", "unreadable": "unreadable", "unknown": "unknown", "size": "changed",
        "sha256": "changed", "stale": "stale"}


def verify(manifest, images, folder, scene_sha):
    """Checks every image of IMAGES ({name: (frame, width, height)}) in FOLDER against the
    manifest: (the lines to print on standard output, the exit status)."""
    lines = []
    for name in sorted(images, key=lambda n: (images[n][0], os.fsencode(n))):
        frame = images[name][0]
        what = manifest.check(name, os.path.join(folder, name), scene_sha)
        if what is not None:
            lines.append(f"{WORD[what]} {shown(name)} (frame {frame}){WHY[what]}")
    bad = len(lines)
    summary = f"{PROGRAM}: {len(images) - bad} of {len(images)} images verified"
    lines.append(summary + (f"; {bad} not" if bad else ""))
    return lines, 1 if bad else 0
