#!/bin/bash
# A Slurm cluster of one node on this machine, for trying kxrender-farm and
# for its tests: munged, slurmctld and slurmd started as root without
# systemd, with their configuration, state, sockets and logs in one folder.
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
# FOLDER defaults to /tmp/kx-slurm. The cluster's own munge socket lives
# there too, so a munged the system runs is left alone. The Slurm commands
# find this cluster through SLURM_CONF=FOLDER/slurm.conf.
#
# Exit status: 0; 77 when the cluster cannot be started here (not root), with
# the reason on standard error; 1 when starting fails (the daemons' logs are
# in FOLDER).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
action=${1:-}
dir=${2:-/tmp/kx-slurm}
conf=$dir/slurm.conf

usage() { sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }

# The process of a pid file, if it still runs the program named.
running() {
    local pidfile=$1 program=$2 pid
    [ -s "$pidfile" ] || return 1
    pid=$(cat "$pidfile")
    [ -r "/proc/$pid/cmdline" ] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q "$program" || return 1
    echo "$pid"
}

stop_one() {
    local pidfile=$1 program=$2 pid
    pid=$(running "$pidfile" "$program") || { rm -f "$pidfile"; return 0; }
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 50); do
        [ -d "/proc/$pid" ] || break
        sleep 0.1
    done
    [ -d "/proc/$pid" ] && kill -KILL "$pid" 2>/dev/null
    rm -f "$pidfile"
}

stop() {
    if running "$dir/slurmctld.pid" slurmctld >/dev/null; then
        SLURM_CONF=$conf scancel --quiet --full --signal=KILL --user=root 2>/dev/null
        SLURM_CONF=$conf scancel --quiet --user=root 2>/dev/null
    fi
    stop_one "$dir/slurmd.pid" slurmd
    stop_one "$dir/slurmctld.pid" slurmctld
    stop_one "$dir/munged.pid" munged
}

start() {
    if [ "$(id -u)" != 0 ]; then
        echo "slurm-local: the single-node cluster runs its daemons as root; not root here" >&2
        exit 77
    fi
    "$here/install-deps.sh" cluster || exit 1
    # What an earlier start may have left.
    stop
    rm -rf "$dir/state" "$dir/spool"
    mkdir -p "$dir/state" "$dir/spool" "$dir/munge" || exit 1
    chmod 755 "$dir"

    if ! setpriv --reuid=munge --regid=munge --init-groups test -x "$dir"; then
        echo "slurm-local: the munge user cannot reach $dir (a folder on its way is private)" >&2
        exit 1
    fi
    # munged runs as the munge user, with a key only it can read.
    chown munge:munge "$dir/munge"
    chmod 700 "$dir/munge"
    if [ ! -s "$dir/munge/munge.key" ]; then
        dd if=/dev/urandom of="$dir/munge/munge.key" bs=1024 count=1 status=none || exit 1
    fi
    chown munge:munge "$dir/munge/munge.key"
    chmod 400 "$dir/munge/munge.key"
    # Its socket folder must belong to it; munged checks.
    mkdir -p "$dir/munge/run"
    chown munge:munge "$dir/munge/run"
    chmod 755 "$dir/munge/run"
    # The socket lies in a folder anyone can reach, so that the node's job
    # steps (any user) can ask munged.
    chmod 711 "$dir/munge"
    local socket=$dir/munge/run/munge.socket
    setpriv --reuid=munge --regid=munge --init-groups /usr/sbin/munged --foreground --force \
        --socket="$socket" --key-file="$dir/munge/munge.key" --pid-file="$dir/munge/run/munged.pid" \
        --log-file="$dir/munge/munged.log" --seed-file="$dir/munge/munged.seed" \
        >"$dir/munged.out" 2>&1 &
    echo $! >"$dir/munged.pid"

    # Ports nothing listens on yet (the usual 6817 and 6818 may belong to a
    # cluster the machine runs).
    local ports=() port=16817
    while [ ${#ports[@]} -lt 2 ] && [ $port -lt 17817 ]; do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || ports+=("$port")
        port=$((port + 1))
    done

    # The node as slurmd sees this machine, under the name localhost.
    local node
    node=$(/usr/sbin/slurmd -C 2>/dev/null | head -n 1 | sed -e 's/^NodeName=[^ ]* //' -e 's/ RealMemory=[0-9]*//')
    cat >"$conf" <<EOF
# A cluster of one node, written by tools/slurm-local.sh.
ClusterName=kxlocal
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=${ports[0]}
SlurmdPort=${ports[1]}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.daemon.pid
SlurmdPidFile=$dir/slurmd.daemon.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=batch_sched_delay=0
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
MinJobAge=600
KillWait=5
NodeName=localhost NodeAddr=127.0.0.1 $node State=UNKNOWN
PartitionName=local Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
    # slurmd always starts its cgroup plugin; a system without /sys (a chroot)
    # has no cgroup file system to detect, so version 1 is named, mounted
    # nowhere and used for nothing.
    mkdir -p "$dir/cgroup"
    cat >"$dir/cgroup.conf" <<EOF
CgroupPlugin=cgroup/v1
CgroupMountpoint=$dir/cgroup
CgroupAutomount=no
ConstrainCores=no
ConstrainRAMSpace=no
ConstrainDevices=no
EOF

    # munged answers before the Slurm daemons need it.
    for _ in $(seq 50); do
        [ -S "$socket" ] && break
        sleep 0.1
    done
    [ -S "$socket" ] || { echo "slurm-local: munged did not start (see $dir/munged.out, $dir/munge/munged.log)" >&2; stop; exit 1; }

    /usr/sbin/slurmctld -D -i -f "$conf" >"$dir/slurmctld.out" 2>&1 &
    echo $! >"$dir/slurmctld.pid"
    /usr/sbin/slurmd -D -f "$conf" -N localhost >"$dir/slurmd.out" 2>&1 &
    echo $! >"$dir/slurmd.pid"

    # Ready when the node takes jobs; given up after 60 s, or at once when a
    # daemon has ended.
    local state= deadline=$((SECONDS + 60))
    while [ $SECONDS -lt $deadline ]; do
        state=$(SLURM_CONF=$conf timeout 5 sinfo -h -n localhost -o %T 2>/dev/null)
        case $state in idle | mixed | allocated) break ;; esac
        running "$dir/slurmctld.pid" slurmctld >/dev/null && running "$dir/slurmd.pid" slurmd >/dev/null \
            || { state="a daemon ended"; break; }
        sleep 0.2
    done
    case $state in
        idle | mixed | allocated) ;;
        *)
            echo "slurm-local: the node did not come up (${state:-no answer}; logs in $dir):" >&2
            tail -n 5 "$dir/slurmctld.out" "$dir/slurmd.out" >&2
            stop
            exit 1
            ;;
    esac
    echo "slurm-local: cluster up; use it with: export SLURM_CONF=$conf"
}

case $action in
    start) start ;;
    stop) stop ;;
    env) echo "export SLURM_CONF=$conf" ;;
    *) usage ;;
esac
