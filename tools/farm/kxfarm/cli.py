"""kxrender-farm's command line: renders a kx scene on a Slurm cluster.

The images go to the current folder (FOLDER), as kxrender run there would
write them; the farm's state is in FOLDER/.kxrender-farm: the manifest of
the images written, and runs/<scene>.<time>.<random>/, the private folder
of each run (its work items, claims, heartbeats, logs and region files),
removed when the run succeeds and kept, and named, when it fails.
"""

import argparse
import fcntl
import os
import random
import shutil
import signal
import string
import subprocess
import sys
import time

from . import images as names
from . import manifest as manifests
from . import plan
from . import run
from . import slurm

PROGRAM = "kxrender-farm"
STATE = ".kxrender-farm"


class Stopped(Exception):
    def __init__(self, signum):
        super().__init__(signum)
        self.signum = signum


def sibling(name):
    """A program beside the entry script (installed or built together), else from PATH."""
    here = os.path.dirname(os.path.realpath(sys.argv[0]))
    path = os.path.join(here, name)
    return path if os.access(path, os.X_OK) else name


def read_arguments(argv, version):
    p = argparse.ArgumentParser(prog=PROGRAM, description="Renders a kx scene on a Slurm cluster.")
    p.add_argument("scene")
    p.add_argument("--frames", help="the frames to render, as kxrender --frames takes them (default: all)")
    p.add_argument("--regions", type=int, default=1, help="bands of rows per frame (default 1: whole frames)")
    p.add_argument("--retries", type=int, default=2, help="attempts again of a failed work item (default 2)")
    p.add_argument("--resume", action="store_true", help="leave out the frames whose images are current")
    p.add_argument("--verify", action="store_true", help="check the images against the manifest; submit nothing")
    p.add_argument("--report", metavar="FILE.html", help="write a report of the run")
    p.add_argument("--account", help="sbatch --account")
    p.add_argument("--qos", help="sbatch --qos")
    p.add_argument("--mem", help="sbatch --mem (per worker)")
    p.add_argument("--cpus-per-task", type=int, default=1, help="CPUs of each worker (default 1)")
    p.add_argument("--partition", help="the Slurm partition (default: the cluster's default)")
    p.add_argument("--time-limit", help="time limit of each worker, as sbatch --time takes it")
    p.add_argument("--sbatch-arg", action="append", metavar="ARG", help="one more argument for sbatch")
    p.add_argument("--kxrender", default="kxrender", help="kxrender as the nodes run it (default: from PATH)")
    p.add_argument("--assemble", default=sibling("kxrender-assemble"), help="kxrender-assemble")
    p.add_argument("--version", action="version", version=f"{PROGRAM} {version}")
    a = p.parse_args(argv)
    if a.regions < 1:
        p.error("--regions needs a number of at least 1")
    if a.retries < 0:
        p.error("--retries needs a number of at least 0")
    if a.cpus_per_task < 1:
        p.error("--cpus-per-task needs a number of at least 1")
    return a


def list_images(args, scene, folder):
    """{name: (frame, width, height)} of the frames asked for, drawing nothing."""
    command = [args.kxrender, "--list-images"] + (["--frames", args.frames] if args.frames else []) + [scene]
    try:
        listed = subprocess.run(command, cwd=folder, capture_output=True, stdin=subprocess.DEVNULL)
    except OSError as e:
        raise run.Failed(f"cannot run {args.kxrender}: {e.strerror}") from None
    if listed.returncode != 0:
        sys.stderr.write(listed.stderr.decode("utf-8", "replace"))
        raise run.Failed(f"kxrender --list-images failed on {names.shown(scene)} "
                         f"(exit status {listed.returncode}): nothing submitted")
    return names.parse_list(listed.stdout)


def claim_run(folder, scene, images):
    """Makes the run's own folder, holding its lock; refuses images that a
    running farm in this folder writes. (the folder, the open lock)"""
    runs = os.path.join(folder, STATE, "runs")
    os.makedirs(runs, exist_ok=True)
    mine = {names.shown(n) for n in images}
    with open(os.path.join(folder, STATE, "runs.lock"), "a") as guard:
        fcntl.flock(guard, fcntl.LOCK_EX)
        for other in sorted(os.listdir(runs)):
            try:
                with open(os.path.join(runs, other, "lock"), "rb") as held:
                    try:
                        fcntl.flock(held, fcntl.LOCK_SH | fcntl.LOCK_NB)
                        continue  # nobody runs there
                    except BlockingIOError:
                        pass
                with open(os.path.join(runs, other, "images"), encoding="utf-8") as f:
                    theirs = set(f.read().split("\n"))
            except OSError:
                continue
            shared = sorted(mine & theirs)
            if shared:
                raise run.Failed(f"{shared[0]} is being written by another farm ({STATE}/runs/{other})")
        stem = os.path.splitext(os.path.basename(scene))[0]
        letters = string.ascii_lowercase + string.digits
        while True:
            where = os.path.join(runs, f"{stem}.{time.strftime('%Y%m%d-%H%M%S')}."
                                       + "".join(random.choices(letters, k=6)))
            try:
                os.mkdir(where, 0o755)
                break
            except FileExistsError:
                continue
        lock = open(os.path.join(where, "lock"), "w")
        fcntl.flock(lock, fcntl.LOCK_EX)
        with open(os.path.join(where, "images"), "w", encoding="utf-8") as f:
            f.write("".join(n + "\n" for n in sorted(mine)))
    return where, lock


def summary(farm, frames_total, skipped, seconds):
    complete = len(farm.frames_done) + skipped if farm else skipped
    cpu = farm.cpu if farm else 0.0
    retries = farm.retries if farm else 0
    excluded = ",".join(farm.excluded) if farm and farm.excluded else "none"
    return (f"{PROGRAM}: {complete} of {frames_total} frames complete in {seconds:.1f} s "
            f"(CPU {cpu:.1f} s, {retries} retries, excluded: {excluded})")


def report_dict(args, farm, frames, skipped, folder, started, seconds, status):
    done = farm.frames_done if farm else set()
    states = {}
    for frame in frames:
        states[frame] = "skipped" if frame in skipped else "done" if frame in done else "failed"
    items = []
    for i in (farm.items if farm else []):
        items.append({"item": i.number, "frame": i.frame, "region": list(i.region) if i.region else None,
                      "node": i.node, "seconds": i.seconds, "cpu": i.cpu, "attempts": i.attempt,
                      "state": "done" if i.state == "done" else "failed"})
    return {"scene": args.scene, "folder": folder, "started": started, "wall": seconds,
            "cpu": farm.cpu if farm else 0.0, "retries": farm.retries if farm else 0,
            "excluded": list(farm.excluded) if farm else [], "status": status,
            "frames": [{"frame": f, "images": [n for n, _, _ in frames[f]], "state": states[f]} for f in frames],
            "items": items,
            "failures": [{k: f[k] for k in ("item", "frame", "node", "attempt", "what", "lines")}
                         for f in (farm.failures if farm else [])]}


def render(args, scene, folder):
    """The whole run; its exit status."""
    start = time.monotonic()
    started = time.strftime("%Y-%m-%dT%H:%M:%S%z")
    if not os.path.isfile(scene):
        raise run.Failed(f"no scene file {names.shown(args.scene)}")
    images = list_images(args, scene, folder)
    if not images:
        raise run.Failed("the scene writes no image files" + (f" in the frames {args.frames}" if args.frames else ""))
    scene_sha = manifests.scene_hash(scene)
    manifest = manifests.Manifest(os.path.join(folder, STATE, "manifest"))
    if args.verify:
        lines, status = manifests.verify(manifest, images, folder, scene_sha)
        for line in lines:
            print(line)
        return status
    conf = os.environ.get("SLURM_CONF")
    if conf and not os.path.isfile(conf):
        # The Slurm commands would retry for a minute each before saying so.
        raise run.Failed(f"SLURM_CONF names {names.shown(conf)}, which is not a file: nothing submitted")
    for program in ("sbatch", "squeue", "scancel"):
        if not any(os.access(os.path.join(d, program), os.X_OK) for d in os.get_exec_path()):
            raise run.Failed(f"{program} is not installed here: {PROGRAM} runs on a machine that submits to Slurm")
    frames = plan.frames_of(images)
    skipped = set()
    if args.resume:
        skipped = {f for f, entries in frames.items()
                   if all(manifest.is_current(n, n, scene_sha) for n, _, _ in entries)}
    todo = {f: e for f, e in frames.items() if f not in skipped}
    farm = None
    status = 0
    where = lock = None
    try:
        if todo:
            where, lock = claim_run(folder, scene, {n: None for e in todo.values() for n, _, _ in e})
            slots, _ = slurm.slots(args.partition, args.cpus_per_task, [])
            planner = plan.Planner(todo, slots, args.regions)
            farm = run.Farm(args, scene, folder, where, planner, slots, manifest, scene_sha)
            farm.setup(args.kxrender)
            farm.loop()
            for line in farm.reports():
                print(line if line.startswith(" ") else f"{PROGRAM}: {line}", file=sys.stderr)
        status = 0 if len(skipped) + (len(farm.frames_done) if farm else 0) == len(frames) else 1
    except Stopped as e:
        status = 128 + e.signum
        if farm:
            farm.stop_workers(wait=5.0)
        print(("\n" if sys.stderr.isatty() else "") + f"{PROGRAM}: stopped; the job is cancelled, finished frames are kept",
              file=sys.stderr)
    except (run.Failed, slurm.SlurmError, OSError) as e:
        if farm:
            farm.stop_workers()
        if where is None or not farm or not farm.jobs:
            # Nothing was started: that one line is all.
            if where:
                shutil.rmtree(where, ignore_errors=True)
            raise
        print(f"{PROGRAM}: {one_line(e)}", file=sys.stderr)
        status = 1
    seconds = time.monotonic() - start
    if args.report:
        try:
            from . import report
            report.write_report(args.report, report_dict(args, farm, frames, skipped, folder, started, seconds,
                                                         status))
        except OSError as e:
            print(f"{PROGRAM}: cannot write the report {names.shown(args.report)}: {e.strerror}", file=sys.stderr)
            status = status or 1
    line = summary(farm, len(frames), len(skipped), seconds)
    if where and (status == 0 or status > 128):
        shutil.rmtree(where, ignore_errors=True)
    elif where:
        line += f"; the run's files are in {names.shown(os.path.relpath(where, folder))}"
    print(line, file=sys.stderr)
    if lock:
        lock.close()
    return status


def one_line(e):
    """The message of a failure, on one line."""
    if isinstance(e, OSError):
        where = f"{names.shown(e.filename)}: " if isinstance(e.filename, str) else ""
        return f"{where}{e.strerror or e}"
    return str(e)


def main(argv=None, version="unknown"):
    args = read_arguments(sys.argv[1:] if argv is None else argv, version)

    def stop(signum, _frame):
        raise Stopped(signum)

    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)
    try:
        return render(args, os.path.abspath(args.scene), os.getcwd())
    except Stopped as e:
        return 128 + e.signum
    except (run.Failed, slurm.SlurmError, OSError) as e:
        print(f"{PROGRAM}: {one_line(e)}", file=sys.stderr)
    except UnicodeError as e:
        print(f"{PROGRAM}: a name that cannot be written here: {e.reason}", file=sys.stderr)
    except subprocess.SubprocessError as e:
        print(f"{PROGRAM}: {e}", file=sys.stderr)
    return 1
