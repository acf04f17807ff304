#!/bin/bash
# A Slurm cluster of one node on this machine, for trying kxrender-farm and
# for its quick tests: tools/slurm-cluster.sh with one node (n1).
#
#   tools/slurm-local.sh start [FOLDER]   install Slurm and munge if missing
#                                        (tools/install-deps.sh cluster),
#                                        write the configuration, start the
#                                        daemons and wait for the node
#   tools/slurm-local.sh stop [FOLDER]    stop the daemons it started (and
#                                        only those), cancel what is left
#   tools/slurm-local.sh env [FOLDER]     print the setting the Slurm commands
#                                        need: export SLURM_CONF=...
#
# FOLDER defaults to /tmp/kx-slurm. The Slurm commands find this cluster
# through SLURM_CONF=FOLDER/slurm.conf.
#
# Exit status: 0; 77 when the cluster cannot be started here (not root), with
# the reason on standard error; 1 when starting fails (the daemons' logs are
# in FOLDER).
cluster=$(dirname "$0")/slurm-cluster.sh
dir=${2:-/tmp/kx-slurm}
case ${1:-} in
    start) exec "$cluster" start 1 "$dir" ;;
    stop | env) exec "$cluster" "$1" "$dir" ;;
    *) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
