"""A worker of kxrender-farm: runs on a node as one task of the run's job
array, as `python3 -S RUN/worker.py RUN FOLDER`, and imports nothing of the
farm (the farm copies this one file into the run's folder).

It pulls work items from RUN/todo until the farm writes RUN/finished (or
its node is excluded, RUN/exclude/NODE):
  RUN/todo/N.A      an offer: attempt A of item N, one line of JSON
                    {"frame": F, "region": [x0, y0, x1, y1] or null, "limit": S,
                     "group": G, "images": [relative names of a whole frame]}
  RUN/claims/N.A    made (mkdir, atomic) by the worker that takes the offer;
                    an offer of G > 1 takes up to G - 1 more of the same
                    region (or whole frames) with it, into one kxrender run
  RUN/out/N.A/      its outputs, kxrender --frames F [--region ...] -o there
  RUN/log/N.A       kxrender's standard error (and output)
  RUN/done/N.A      its record, written whole (rename): node, worker,
                    seconds, CPU seconds, exit status, last lines of the log
  RUN/beat/WORKER   the worker's heartbeat, touched every 3 s: its node and
                    the offers it is working on
                    (removed when the worker ends)
RUN/job holds what every item shares: {"kxrender": ..., "scene": ...}.
A kxrender run longer than its offer's limit is killed (status "time limit");
a worker stopped (SIGTERM) kills its kxrender and records "stopped".
"""

import json
import os
import resource
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

BEAT = 3.0
IDLE = 0.05
LINES = 10


def write_whole(path, text):
    temporary = os.path.join(os.path.dirname(path), "." + os.path.basename(path) + ".new")
    with open(temporary, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write(text)
    os.replace(temporary, path)


def last_lines(path):
    try:
        with open(path, "rb") as f:
            f.seek(0, os.SEEK_END)
            f.seek(max(0, f.tell() - 8192))
            data = f.read()
    except OSError:
        return []
    return [line.decode("utf-8", "replace") for line in data.splitlines()[-LINES:]]


class Worker:
    def __init__(self, run, folder):
        self.run = run
        self.folder = folder
        self.node = os.environ.get("SLURMD_NODENAME") or socket.gethostname()
        job = os.environ.get("SLURM_ARRAY_JOB_ID") or os.environ.get("SLURM_JOB_ID") or str(os.getpid())
        self.name = f"{job}.{os.environ.get('SLURM_ARRAY_TASK_ID', '0')}"
        self.beat = os.path.join(run, "beat", self.name)
        with open(os.path.join(run, "job"), encoding="utf-8", errors="surrogateescape") as f:
            self.job = json.load(f)
        self.tried = set()
        self.stopping = False

    def path(self, *parts):
        return os.path.join(self.run, *parts)

    def say(self, offer):
        write_whole(self.beat, f"{self.node}\n{offer}\n")

    def heartbeat(self):
        while not self.stopping:
            try:
                os.utime(self.beat)
            except OSError:
                pass
            time.sleep(BEAT)

    def over(self):
        return os.path.exists(self.path("finished")) or os.path.exists(self.path("exclude", self.node))

    def claim(self):
        """The offers [(name, item)] this worker now owns: one, or up to the
        first one's "group" whole frames to render in one kxrender run."""
        try:
            offers = os.listdir(self.path("todo"))
        except OSError:
            return []
        offers = [o for o in offers if not o.startswith(".") and o not in self.tried]
        offers.sort(key=lambda o: tuple(int(p) for p in o.split(".") if p.isdigit()))
        taken = []
        for offer in offers:
            try:
                with open(self.path("todo", offer), encoding="utf-8") as f:
                    item = json.load(f)
            except (OSError, ValueError):
                continue
            if taken and (item.get("region") != taken[0][1].get("region") or item.get("group", 1) < 2):
                continue  # not one to join this group
            self.tried.add(offer)
            try:
                os.mkdir(self.path("claims", offer))
            except OSError:
                continue
            taken.append((offer, item))
            if len(taken) >= taken[0][1].get("group", 1):
                break
        return taken

    def render(self, group):
        self.say(" ".join(offer for offer, _ in group))
        first = group[0][0]
        out = self.path("out", first if len(group) == 1 else first + ".group")
        log = self.path("log", first)
        item = group[0][1]
        command = [self.job["kxrender"], "--frames", ",".join(str(i["frame"]) for _, i in group)]
        if item.get("region"):
            command += ["--region"] + [str(v) for v in item["region"]]
        command += ["-o", out, self.job["scene"]]
        limit = sum(i.get("limit") or 0 for _, i in group) or None
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        with open(log, "wb") as f:
            try:
                child = subprocess.Popen(command, cwd=self.folder, stdin=subprocess.DEVNULL, stdout=f, stderr=f,
                                         start_new_session=True)
            except OSError as e:
                f.write(f"cannot run {command[0]}: {e.strerror}\n".encode())
                child = None
                status = 127
            if child is not None:
                try:
                    status = child.wait(timeout=limit)
                except subprocess.TimeoutExpired:
                    os.killpg(child.pid, signal.SIGKILL)
                    child.wait()
                    status = "time limit"
                    f.write(f"killed after {limit} s\n".encode())
                except BaseException:  # the worker is stopped: so is its kxrender,
                    os.killpg(child.pid, signal.SIGKILL)  # and the items go out again
                    self.records(group, "stopped", 0, 0, [])
                    raise
        seconds = time.monotonic() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
        if len(group) > 1:
            # Each frame's images (or region files) where the farm looks for
            # them: in the folder of its own item.
            ending = ".region-" + "-".join(str(v) for v in item["region"]) if item.get("region") else ""
            for offer, i in group:
                for name in i.get("images", []):
                    target = self.path("out", offer, name + ending)
                    try:
                        os.makedirs(os.path.dirname(target), exist_ok=True)
                        os.replace(os.path.join(out, name + ending), target)
                    except OSError:
                        pass
            shutil.rmtree(out, ignore_errors=True)
        self.records(group, status, seconds, cpu, last_lines(log))
        self.say("-")

    def records(self, group, status, seconds, cpu, lines):
        """One record per item of the group, the time shared out."""
        for offer, _ in group:
            record = {"node": self.node, "worker": self.name, "seconds": round(seconds / len(group), 4),
                      "cpu": round(cpu / len(group), 4), "status": status, "lines": lines, "group": len(group)}
            write_whole(self.path("done", offer), json.dumps(record) + "\n")

    def work(self):
        self.say("-")
        threading.Thread(target=self.heartbeat, daemon=True).start()
        try:
            while not self.over():
                taken = self.claim()
                if not taken:
                    time.sleep(IDLE)
                    continue
                self.render(taken)
        finally:
            # A worker that ends (even stopped by Slurm) says so: only one
            # that vanishes, with its node, leaves a heartbeat that ages.
            self.stopping = True
            try:
                os.remove(self.beat)
            except OSError:
                pass


def main():
    if len(sys.argv) != 3:
        print("usage: worker.py RUN FOLDER", file=sys.stderr)
        return 2
    try:
        Worker(sys.argv[1], sys.argv[2]).work()
    except OSError as e:
        print(f"kxrender-farm worker: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    sys.exit(main())
