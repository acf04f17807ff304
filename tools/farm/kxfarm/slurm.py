"""The farm's calls to Slurm: sbatch, squeue, sinfo and scancel.

They find the cluster as they always do (/etc/slurm/slurm.conf,
SLURM_CONF), and sbatch reads its SBATCH_* environment variables as usual.
"""

import re
import subprocess

# States in which a task no longer runs.
ENDED = {"COMPLETED", "FAILED", "CANCELLED", "TIMEOUT", "NODE_FAIL", "OUT_OF_MEMORY", "PREEMPTED",
         "BOOT_FAIL", "DEADLINE", "REVOKED", "SPECIAL_EXIT"}
# Node states (sinfo %t, with its marks) of nodes that take work.
_UP = re.compile(r"(idle|mix|alloc|comp|plnd)[*~#!%$@^-]?")


class SlurmError(Exception):
    """A Slurm command could not be run or refused: one line of why."""


def pattern_safe(path):
    """A path for sbatch's --output and the like, which expand %x, %j, ...:
    every % written %%."""
    return path.replace("%", "%%")


def array_spec(indices):
    """0,1,2,5 as "0-2,5"."""
    parts = []
    start = prev = None
    for i in sorted(indices):
        if prev is not None and i == prev + 1:
            prev = i
            continue
        if start is not None:
            parts.append(f"{start}-{prev}" if prev > start else f"{start}")
        start = prev = i
    if start is not None:
        parts.append(f"{start}-{prev}" if prev > start else f"{start}")
    return ",".join(parts)


def _run(command):
    try:
        return subprocess.run(command, capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
    except OSError as e:
        raise SlurmError(f"cannot run {command[0]}: {e.strerror}") from None
    except subprocess.TimeoutExpired:
        raise SlurmError(f"{command[0]} did not answer within 60 s") from None


def _text(data):
    return data.decode("utf-8", "replace").strip()


def submit(script, options):
    """Submits the batch script with sbatch's options; the job id."""
    run = _run(["sbatch", "--parsable"] + options + [script])
    if run.returncode != 0:
        why = _text(run.stderr).splitlines()
        raise SlurmError("sbatch refused the job: " + (why[0] if why else f"exit status {run.returncode}"))
    job = _text(run.stdout).split(";")[0]
    if not job.isdigit():
        raise SlurmError(f"sbatch gave no job id: {job!r}")
    return job


def slots(partition, cpus_per_task, excluded):
    """How many tasks of cpus_per_task CPUs the nodes that take work hold at
    once (at least 1 when sinfo cannot tell), and their names."""
    command = ["sinfo", "-h", "-N", "-o", "%N %c %t"] + ([f"--partition={partition}"] if partition else [])
    try:
        run = _run(command)
    except SlurmError:
        return 1, []
    if run.returncode != 0:
        return 1, []
    count, nodes = 0, []
    for line in _text(run.stdout).splitlines():
        fields = line.split()
        if len(fields) == 3 and fields[0] not in excluded and fields[0] not in nodes and _UP.fullmatch(fields[2]):
            nodes.append(fields[0])
            count += int(fields[1]) // cpus_per_task if fields[1].isdigit() else 0
    return max(1, count), nodes


def tasks(jobs):
    """{(job, array index): (state, node)} of the jobs' tasks, or None when
    the controller does not answer. A job it no longer knows is left out."""
    if not jobs:
        return {}
    try:
        run = _run(["squeue", "-h", "-r", "-t", "all", "-j", ",".join(jobs), "-o", "%F %K %T %N"])
    except SlurmError:
        return None
    if run.returncode != 0:
        if b"Invalid job id" in run.stderr:
            return {}
        return None
    found = {}
    for line in _text(run.stdout).splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[1].isdigit():
            found[(fields[0], int(fields[1]))] = (fields[2], fields[3] if len(fields) > 3 else "")
    return found


def cancel(jobs):
    """Cancels the jobs (what is left of them); quietly."""
    if jobs:
        try:
            _run(["scancel", "--quiet"] + list(jobs))
        except SlurmError:
            pass
