# Sourced by the farm's cluster tests: the test's folder, a Slurm cluster of
# this machine in it (tools/slurm-cluster.sh) stopped and removed at the end,
# and the checks that count failures.
#
#   start_test_cluster PREFIX WHAT START_COMMAND...
# runs START_COMMAND with the cluster's folder after its arguments (such as
# "$source/tools/slurm-local.sh" start); needs build and source set; sets work, cluster and fails, and exports
# SLURM_CONF and a PATH that starts with this build (the nodes' tasks inherit
# it, so they run this build's kxrender). Not root: prints "SKIPPED: WHAT
# needs root to start its daemons" and exits 77; a cluster that does not
# start is a failure (exit 1).

start_test_cluster() {
    local prefix=$1 what=$2 status
    shift 2
    fails=0
    if [ "$(id -u)" != 0 ]; then
        echo "SKIPPED: $what needs root to start its daemons"
        exit 77
    fi
    work=$(mktemp -d "${TMPDIR:-/tmp}/$prefix.XXXXXX")
    chmod 755 "$work"  # munged, as the munge user, reaches the cluster's folder
    cluster=$work/cluster
    trap '"$source/tools/slurm-cluster.sh" stop "$cluster"; rm -rf "$work"' EXIT
    "$@" "$cluster" >"$work/start.log" 2>&1
    status=$?
    if [ $status = 77 ]; then
        cat "$work/start.log"
        exit 77
    fi
    [ $status = 0 ] || { cat "$work/start.log"; echo "FAIL: the cluster did not start"; exit 1; }
    export SLURM_CONF=$cluster/slurm.conf
    export PATH=$build:$PATH
}

check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        fails=$((fails + 1))
    fi
}

expect() {  # expect DESCRIPTION, right after the command that decides it
    if [ $? = 0 ]; then
        echo "ok: $1"
    else
        echo "FAIL: $1"
        fails=$((fails + 1))
    fi
}
