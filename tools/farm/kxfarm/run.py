"""The farm's loop: offers work items in the run's folder, keeps workers
(one Slurm job array) pulling them, follows their records and heartbeats,
hands out again the work of failed or lost workers, puts finished frames
in place and records them in the manifest.

An item is done when its outputs are in RUN/out and check out, whatever
Slurm says of the job. The run's files are looked at every 0.05 s, Slurm
every 2 s, the heartbeats every second.
"""

import bisect
import json
import os
import shlex
import shutil
import subprocess
import sys
import time

from . import images as names
from . import slurm
# The worker imports nothing of the package; the farm shares its one writer.
from .worker import write_whole

PROGRAM = "kxrender-farm"
FILES_EVERY = 0.05
BEATS_EVERY = 1.0
SLURM_EVERY = 2.0
LOST_AFTER = 15.0  # seconds without a heartbeat
NODE_FAILURES = 3  # different items failed on a node that exclude it
EMPTY_SUBMISSIONS = 3  # submissions in a row whose workers all ended having rendered nothing
LINES = 10
MAX_ARRAY = 1000  # Slurm's default MaxArraySize is 1001


class Failed(Exception):
    """The run cannot go on: one line of why."""


def remove(path):
    try:
        os.remove(path)
    except OSError:
        pass


class Farm:
    def __init__(self, options, scene, folder, run, planner, slots, manifest, scene_sha):
        self.o = options
        self.scene = scene
        self.folder = folder
        self.run = run
        self.planner = planner
        self.slots = slots
        self.manifest = manifest
        self.scene_sha = scene_sha
        self.items = planner.items
        self.frame_items = {}  # frame -> [items]
        self.frames_done = set()
        self.frames_failed = set()
        self.jobs = []  # job ids, in order
        self.workers = {}  # "job.index" -> (state, node) as Slurm last said
        self.productive = set()  # workers that sent a record
        self.nodes_seen = set()  # nodes that sent a record
        self.empty = 0  # submissions in a row that rendered nothing
        self.lost = set()  # workers taken for lost
        self.excluded = []
        self.node_failures = {}
        self.records_seen = set()
        self.failures = []  # for the report and the end
        self.retries = 0
        self.cpu = 0.0
        self.times = []  # the seconds of the items done, sorted
        self.shown = ""
        self.terminal = sys.stderr.isatty()
        self.start = time.monotonic()

    def path(self, *parts):
        return os.path.join(self.run, *parts)

    # ---- setting up, offering ----

    def setup(self, kxrender):
        for sub in ("todo", "claims", "out", "log", "done", "beat", "exclude"):
            os.mkdir(self.path(sub))
        shutil.copyfile(os.path.join(os.path.dirname(os.path.abspath(__file__)), "worker.py"),
                        self.path("worker.py"))
        write_whole(self.path("job"), json.dumps({"kxrender": kxrender, "scene": self.scene}) + "\n")
        write_whole(self.path("clock"), "")

    def limit(self):
        """The time limit of one kxrender run: 20 times the median item so
        far, at least 120 s."""
        times = self.times
        return max(120.0, 20 * times[len(times) // 2]) if times else 120.0

    def group(self):
        """How many items a worker takes at once into one kxrender run
        (whole frames, or the same band of several frames): up to 4 while
        there are many left per slot, 1 towards the end, so that kxrender's
        start is paid less often and the last items still spread over every
        worker."""
        left = len(self.planner.pending) + sum(1 for i in self.items if i.state in ("planned", "offered"))
        return max(1, min(4, left // (4 * self.slots)))

    def offer(self, item):
        item.attempt += 1
        item.state = "offered"
        entry = {"frame": item.frame, "region": list(item.region) if item.region else None,
                 "limit": round(self.limit(), 1)}
        if item.attempt == 1:
            entry["group"] = self.group()
            entry["images"] = [name for name, _, _ in item.images if not os.path.isabs(name)]
        write_whole(self.path("todo", f"{item.number}.{item.attempt}"), json.dumps(entry) + "\n")

    def withdraw(self, item):
        remove(self.path("todo", f"{item.number}.{item.attempt}"))

    def plan_more(self):
        """Keeps items on offer while frames remain, up to 16 per worker
        slot (4 on a big cluster), so that no worker waits for the loop to plan more; planned
        several frames at a time when half are taken, so that their bands
        share one cut and can go to a worker together."""
        waiting = sum(1 for i in self.items if i.state == "offered")
        wanted = max(4 * self.slots, min(16 * self.slots, 256))
        if self.planner.pending and waiting <= wanted // 2:
            for item in self.planner.more(wanted - waiting):
                self.frame_items.setdefault(item.frame, []).append(item)
                self.offer(item)

    # ---- workers ----

    def submit(self):
        left = sum(1 for i in self.items if i.state == "offered") + (self.planner.total() - len(self.items))
        self.slots, nodes = slurm.slots(self.o.partition, self.o.cpus_per_task, self.excluded)
        if self.excluded and not nodes:
            raise Failed("every node that takes work is excluded: " + ", ".join(self.excluded))
        count = max(1, min(left, self.slots, MAX_ARRAY))
        script = self.path(f"worker.{len(self.jobs)}.sh")
        q = shlex.quote
        # Debian's python3 when the node has it: a python3 found on the PATH
        # may be a wrapper that takes longer to start than an item to render.
        worker = f"-S {q(self.path('worker.py'))} {q(self.run)} {q(self.folder)}"
        write_whole(script, "#!/bin/sh\n"
                    f"[ -x /usr/bin/python3 ] && exec /usr/bin/python3 {worker}\n"
                    f"exec python3 {worker}\n")
        options = [f"--array=0-{count - 1}", f"--job-name={PROGRAM}", "--no-requeue", "--ntasks=1",
                   f"--cpus-per-task={self.o.cpus_per_task}",
                   "--output=" + slurm.pattern_safe(self.path("log")) + "/worker.%A.%a",
                   "--time=" + (self.o.time_limit or self.default_time(left, count))]
        for flag, value in (("partition", self.o.partition), ("account", self.o.account), ("qos", self.o.qos),
                            ("mem", self.o.mem)):
            if value:
                options.append(f"--{flag}={value}")
        if self.excluded:
            options.append("--exclude=" + ",".join(self.excluded))
        options += self.o.sbatch_arg or []
        job = slurm.submit(script, options)
        self.jobs.append(job)
        for index in range(count):
            self.workers[f"{job}.{index}"] = ("PENDING", "")

    def default_time(self, items, workers):
        """Slurm's limit for a worker: its share of the items at their time
        limit each, at least 10 minutes."""
        minutes = int((-(-items // workers) + 1) * self.limit() / 60) + 1
        return str(max(10, minutes))

    def watch_slurm(self):
        states = slurm.tasks(self.jobs)
        if states is None:
            return  # the controller does not answer: the files still tell
        for name in self.workers:
            job, index = name.split(".")
            state, node = states.get((job, int(index)), ("GONE", self.workers[name][1]))
            self.workers[name] = (state, node)
            if state == "NODE_FAIL" and name not in self.lost:
                self.worker_lost(name, node, "its node failed (NODE_FAIL)")
            elif (state in slurm.ENDED or state == "GONE") and name not in self.lost \
                    and os.path.exists(self.path("beat", name)):
                # Ended without a word (killed): what it held goes out again.
                self.worker_lost(name, node, f"its worker ended ({state})", exclude=False)
        alive = [n for n, (s, _) in self.workers.items()
                 if s not in slurm.ENDED and s not in ("GONE", "COMPLETING") and n not in self.lost]
        if not alive and not self.settled():
            if not self.productive & set(self.workers):
                self.empty += 1
                if self.empty >= EMPTY_SUBMISSIONS:
                    raise Failed(f"the workers ended without rendering anything (their logs: {self.shown_run()}/log)")
            else:
                self.empty = 0
            self.workers = {}
            self.submit()

    def check_beats(self):
        """Workers whose heartbeat is older than LOST_AFTER, against the
        clock file the farm touches here: both times are the storage's own.
        (Files are opened before their times are read: on NFS an open
        fetches fresh attributes, a bare stat may give cached ones.)"""
        os.utime(self.path("clock"))
        with open(self.path("clock"), "rb") as f:
            now = os.fstat(f.fileno()).st_mtime
        try:
            beats = os.listdir(self.path("beat"))
        except OSError:
            return
        for name in beats:
            if name.startswith(".") or name in self.lost:
                continue
            try:
                with open(self.path("beat", name), encoding="utf-8", errors="surrogateescape") as f:
                    if now - os.fstat(f.fileno()).st_mtime <= LOST_AFTER:
                        continue
                    node = f.readline().strip()
            except OSError:
                continue
            self.worker_lost(name, node)

    def worker_lost(self, name, node, why="lost (no heartbeat)", exclude=True):
        """A worker that stopped answering: its item goes out again (not
        counted against --retries) and its node is left out of the run."""
        self.lost.add(name)
        try:
            with open(self.path("beat", name), encoding="utf-8", errors="surrogateescape") as f:
                offers = f.read().split("\n")[1].split()
        except (OSError, IndexError):
            offers = []
        if node and exclude:
            self.exclude(node)
        for offer in offers:
            number, _, attempt = offer.partition(".")
            if number.isdigit() and attempt.isdigit() and int(number) < len(self.items):
                item = self.items[int(number)]
                if item.state == "offered" and item.attempt == int(attempt):
                    self.hand_out_again(item, node, why)

    def hand_out_again(self, item, node, why, lines=None):
        """Offers an item anew, not counted against --retries."""
        self.failures.append({"item": item.number, "frame": item.frame, "node": node, "attempt": item.attempt,
                              "what": why, "lines": [str(s) for s in lines or []]})
        self.retries += 1
        self.withdraw(item)
        self.offer(item)

    def exclude(self, node):
        if node and node not in self.excluded:
            self.excluded.append(node)
            write_whole(self.path("exclude", node), "")

    # ---- records ----

    def outputs(self, item, attempt):
        """[(where the output is, image name, width, height)] of an attempt."""
        out = []
        for name, width, height in item.images:
            where = name if os.path.isabs(name) else os.path.join(self.run, "out", f"{item.number}.{attempt}", name)
            if item.region is not None:
                where += ".region-" + "-".join(str(v) for v in item.region)
            out.append((where, name, width, height))
        return out

    def look(self):
        try:
            records = os.listdir(self.path("done"))
        except OSError:
            return
        for record in records:
            if record.startswith(".") or record in self.records_seen:
                continue
            number, _, attempt = record.partition(".")
            try:
                with open(self.path("done", record), encoding="utf-8") as f:
                    entry = json.load(f)
                item = self.items[int(number)]
                attempt = int(attempt)
                entry["cpu"] = float(entry.get("cpu", 0))
                entry["seconds"] = float(entry.get("seconds", 0))
                entry["node"] = str(entry.get("node", ""))
                entry["group"] = int(entry.get("group", 1))
                entry["lines"] = [str(line) for line in entry.get("lines", [])]
            except (OSError, ValueError, IndexError, TypeError, AttributeError):
                continue
            self.records_seen.add(record)
            self.productive.add(entry.get("worker", ""))
            self.nodes_seen.add(entry.get("node", ""))
            self.cpu += float(entry.get("cpu", 0))
            self.took(item, attempt, entry)

    def took(self, item, attempt, entry):
        if item.state in ("done", "failed"):
            return
        status = entry.get("status")
        ok = status == 0 and all(names.complete(w, wd, ht, item.region) for w, _, wd, ht in self.outputs(item, attempt))
        if ok:
            self.withdraw(item)
            item.state = "done"
            item.done_attempt = attempt
            item.node = entry.get("node", "")
            item.seconds = float(entry.get("seconds", 0))
            item.cpu = float(entry.get("cpu", 0))
            bisect.insort(self.times, item.seconds)
            self.planner.measured(item)
            self.frame_check(item.frame)
            return
        if attempt != item.attempt:
            return  # an older attempt, given up already
        node = entry.get("node", "")
        if status == "stopped":  # its worker was stopped, not the item's fault
            self.hand_out_again(item, node, "its worker was stopped")
            return
        if entry.get("group", 1) > 1 and status != 0:
            # Rendered with other frames: tried again on its own, not counted.
            self.hand_out_again(item, node, f"its group of {entry['group']} frames failed", entry.get("lines"))
            return
        if status == 0:
            what = "its outputs are missing or incomplete"
        elif status == "time limit":
            what = "killed at its time limit"
        elif isinstance(status, int) and status < 0:
            what = f"killed by signal {-status}"
        else:
            what = f"exit status {status}"
        self.failures.append({"item": item.number, "frame": item.frame, "node": node, "attempt": attempt,
                              "what": what, "lines": [str(s) for s in entry.get("lines", [])]})
        item.failures += 1
        # A node is left out when 3 different items failed there (one item
        # that fails everywhere says nothing of the node).
        self.node_failures.setdefault(node, set()).add(item.number)
        if len(self.node_failures[node]) >= NODE_FAILURES:
            self.exclude(node)
        self.withdraw(item)
        if item.failures <= self.o.retries:
            self.retries += 1
            self.offer(item)
            return
        item.state = "failed"
        item.node = node
        self.failures[-1]["final"] = True
        self.frame_failed(item.frame)

    # ---- frames ----

    def frame_failed(self, frame):
        self.frames_failed.add(frame)
        for other in self.frame_items.get(frame, []):
            if other.state == "offered":
                self.withdraw(other)
                other.state = "failed"
        self.clean_frame(frame)

    def clean_frame(self, frame):
        for item in self.frame_items.get(frame, []):
            for attempt in range(1, item.attempt + 1):
                shutil.rmtree(self.path("out", f"{item.number}.{attempt}"), ignore_errors=True)

    def frame_check(self, frame):
        items = self.frame_items.get(frame, [])
        if frame in self.frames_failed or any(i.state != "done" for i in items):
            return
        if items[0].region is None:
            for where, name, _, _ in self.outputs(items[0], items[0].done_attempt):
                if where != name:
                    parent = os.path.dirname(name)
                    if parent:
                        os.makedirs(parent, exist_ok=True)
                    os.replace(where, name)
        else:
            for k, (name, _, _) in enumerate(items[0].images):
                parts = [self.outputs(i, i.done_attempt)[k][0] for i in items]
                run = subprocess.run([self.o.assemble, "-o", name] + parts, cwd=self.folder,
                                     capture_output=True, stdin=subprocess.DEVNULL)
                if run.returncode != 0:
                    lines = run.stderr.decode("utf-8", "replace").splitlines()[-LINES:]
                    self.failures.append({"item": items[0].number, "frame": frame, "node": "", "attempt": 0,
                                          "what": f"the regions of {names.shown(name)} cannot be joined",
                                          "lines": lines, "final": True})
                    self.frame_failed(frame)
                    return
        for name, _, _ in self.planner.frames[frame]:
            self.manifest.record(name, frame, name, self.scene, self.scene_sha)
        self.frames_done.add(frame)
        self.clean_frame(frame)

    # ---- the loop ----

    def settled(self):
        return not self.planner.pending and all(i.state in ("done", "failed") for i in self.items)

    def loop(self):
        self.plan_more()
        self.submit()
        next_beats = next_slurm = time.monotonic()
        while not self.settled():
            self.look()
            self.plan_more()
            now = time.monotonic()
            if now >= next_beats:
                self.check_beats()
                next_beats = now + BEATS_EVERY
            if now >= next_slurm:
                self.watch_slurm()
                next_slurm = now + SLURM_EVERY
            self.progress()
            time.sleep(FILES_EVERY)
        self.progress(final=True)
        self.stop_workers()

    def stop_workers(self, wait=0.0):
        """Tells the workers to end and cancels the job; with wait, waits
        that long at most for its tasks to be gone (so that none writes into
        the run's folder after it is removed)."""
        try:
            write_whole(self.path("finished"), "")
        except OSError:
            pass
        slurm.cancel(self.jobs)
        end = time.monotonic() + wait
        while time.monotonic() < end:
            states = slurm.tasks(self.jobs)
            if states is not None and all(s in slurm.ENDED for s, _ in states.values()):
                break
            time.sleep(0.2)

    def shown_run(self):
        return names.shown(os.path.relpath(self.run, self.folder))

    # ---- telling ----

    def progress(self, final=False):
        if not self.terminal:
            return
        total = self.planner.total()
        done = sum(1 for i in self.items if i.state == "done")
        failed = sum(1 for i in self.items if i.state == "failed")
        nodes = {node for state, node in self.workers.values() if state == "RUNNING" and node}
        nodes = sorted((nodes | self.nodes_seen) - set(self.excluded) - {""})
        text = (f"{done} of {total} items, {len(self.frames_done)} of {len(self.planner.frames)} frames, "
                f"{failed} failed, nodes: {','.join(nodes) or 'none'}")
        if done:
            left = (time.monotonic() - self.start) / done * (total - done - failed)
            text += f", about {left:.0f} s left"
        if text != self.shown:
            sys.stderr.write(f"\r{PROGRAM}: {text}\033[K")
            sys.stderr.flush()
            self.shown = text
        if final:
            sys.stderr.write("\n")
            sys.stderr.flush()

    def reports(self):
        """The lines that tell of each item failed for good."""
        lines = []
        for f in self.failures:
            if not f.get("final"):
                continue
            item = self.items[f["item"]]
            tries = item.attempt
            lines.append(f"{item.where()} (item {item.number}) failed after {tries} attempt{'s' if tries > 1 else ''}: "
                         f"{f['what']}" + (f" on {f['node']}" if f["node"] else ""))
            if f["lines"]:
                lines.append(f"  last lines of its standard error ({self.shown_run()}/log/{item.number}.{f['attempt']}):")
                lines.extend("    " + names.shown(line) for line in f["lines"])
        return lines
