"""kxfarm: kxrender-farm, which renders a kx scene on a Slurm cluster.

One module per job: cli (the command line), plan (frames into work items),
slurm (the calls to Slurm), worker (runs on the nodes; imports nothing of
the package), run (the farm's loop), images (image names as listed and
shown), manifest (what was written, resume, --verify), report (--report).
"""
