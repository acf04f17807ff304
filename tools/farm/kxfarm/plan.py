"""Planning: the images of a run -> frames -> work items.

A work item is a whole frame (kxrender --frames F) or a band of rows of a
frame (--frames F --region 0 y0 W y1). Frames are cut into bands only when
there are fewer frames than worker slots, or when asked (--regions N > 1),
and only frames whose images all share one size that is not empty. Bands
are cut by estimated cost: the seconds per row measured on the bands of
earlier frames of that size, equal rows until there are any. The images'
bytes never depend on where a frame is cut.
"""

import bisect


class Item:
    """One piece of work: a frame, or a band of rows of one."""

    def __init__(self, number, frame, region, images):
        self.number = number
        self.frame = frame
        self.region = region  # (x0, y0, x1, y1), or None for the whole frame
        self.images = images  # [(name, width, height)] of the frame
        self.attempt = 0  # the number of its latest offer
        self.failures = 0  # attempts that ended with a failure (not lost)
        self.state = "planned"  # planned, offered, done, failed
        self.node = ""
        self.seconds = 0.0
        self.cpu = 0.0
        self.done_attempt = 0  # the attempt whose outputs were taken

    def where(self):
        """"frame 5" or "frame 5, region 0 60 320 120"."""
        if self.region is None:
            return f"frame {self.frame}"
        return f"frame {self.frame}, region " + " ".join(str(v) for v in self.region)


def frames_of(images):
    """{frame: [(name, width, height)]} of {name: (frame, width, height)}, names sorted."""
    frames = {}
    for name, (frame, width, height) in images.items():
        frames.setdefault(frame, []).append((name, width, height))
    for entries in frames.values():
        entries.sort()
    return dict(sorted(frames.items()))


def band_size(entries):
    """(width, height) when the frame's images can be cut into bands, else None."""
    sizes = {(w, h) for _, w, h in entries}
    if len(sizes) != 1:
        return None
    width, height = sizes.pop()
    return (width, height) if width > 0 and height > 0 else None


def bands_per_frame(frames, slots, regions):
    """How many bands each frame is cut into: --regions when above 1, else
    enough to give every slot work when there are fewer frames than slots."""
    if regions > 1:
        return regions
    if 0 < frames < slots:
        return -(-slots // frames)
    return 1


def cut(height, bands, rows_cost=None):
    """[(y0, y1)] of bands that cover rows 0..height-1 once each, in order,
    each of at least one row, of about equal cost (rows_cost: the estimated
    cost of each row; equal rows without it)."""
    bands = max(1, min(bands, height))
    if not rows_cost or len(rows_cost) != height or sum(rows_cost) <= 0:
        edges = [k * height // bands for k in range(bands + 1)]
    else:
        total = []
        running = 0.0
        for c in rows_cost:
            running += max(c, 0.0)
            total.append(running)  # total[y]: the cost of rows 0..y
        edges = [0]
        for k in range(1, bands):
            y = bisect.bisect_left(total, running * k / bands) + 1
            edges.append(min(max(y, edges[-1] + 1), height - (bands - k)))
        edges.append(height)
    return [(edges[k], edges[k + 1]) for k in range(bands)]


class Costs:
    """The measured seconds per row of bands, per image size: the latest
    measure of each row wins."""

    def __init__(self):
        self.rows = {}  # (width, height) -> [seconds per row, or None]

    def measured(self, size, y0, y1, seconds):
        rows = self.rows.setdefault(size, [None] * size[1])
        per_row = seconds / max(1, y1 - y0)
        for y in range(y0, y1):
            rows[y] = per_row

    def estimate(self, size):
        """The cost of each row, or None while some row was never measured."""
        rows = self.rows.get(size)
        if rows is None or any(r is None for r in rows):
            return None
        return rows


class Planner:
    """Hands out the items of a run, frame by frame as they are wanted, so
    that later frames are cut with what earlier ones cost and the list the
    workers read stays short."""

    def __init__(self, frames, slots, regions):
        self.frames = frames  # {frame: [(name, width, height)]}
        self.bands = bands_per_frame(len(frames), slots, regions)
        self.pending = list(frames)  # frames not planned yet
        self.items = []
        self.costs = Costs()

    def more(self, wanted):
        """Plans frames until at least `wanted` new items exist; the new items."""
        new = []
        while self.pending and len(new) < wanted:
            frame = self.pending.pop(0)
            entries = self.frames[frame]
            size = band_size(entries)
            if size is None or self.bands == 1:
                regions = [None]
            else:
                width, height = size
                regions = [(0, y0, width, y1) for y0, y1 in cut(height, self.bands, self.costs.estimate(size))]
            for region in regions:
                item = Item(len(self.items), frame, region, entries)
                self.items.append(item)
                new.append(item)
        return new

    def measured(self, item):
        """Learns from a finished band what its rows cost."""
        if item.region is not None:
            size = band_size(item.images)
            self.costs.measured(size, item.region[1], item.region[3], item.seconds)

    def total(self):
        """The number of items of the whole run (planned or still to plan)."""
        later = 0
        for frame in self.pending:
            size = band_size(self.frames[frame])
            later += 1 if size is None or self.bands == 1 else min(self.bands, size[1])
        return len(self.items) + later
