#!/bin/bash
# A Slurm cluster of N nodes on this machine, for the farm's tests across
# nodes: one munged, one slurmctld and N slurmd (nodes n1 .. nN), started as
# root without systemd, with their configuration, state, sockets and logs in
# one folder. Each slurmd runs in a process namespace of its own (unshare
# --pid), so that a node with all its tasks can be killed at once, like a
# machine powered off.
#
#   tools/slurm-cluster.sh start N [FOLDER]  install Slurm and munge if missing
#                                           (tools/install-deps.sh cluster),
#                                           write the configuration, start
#                                           the daemons, wait for the N nodes
#   tools/slurm-cluster.sh stop [FOLDER]     stop what start started (and only
#                                           that), cancel what is left
#   tools/slurm-cluster.sh kill NODE [FOLDER]    kill node NODE (n1 .. nN): its
#                                           slurmd and every task on it, at once
#   tools/slurm-cluster.sh revive NODE [FOLDER]  start the node again and wait
#                                           until it takes jobs
#   tools/slurm-cluster.sh env [FOLDER]      print the setting the Slurm
#                                           commands need: export SLURM_CONF=...
#
# FOLDER defaults to /tmp/kx-cluster. KX_SLURMD_TIMEOUT (seconds, default
# 300, Slurm's own default) is the time after which slurmctld takes a silent
# node for dead. Every node shows the CPUs of the whole machine. The Slurm
# commands find this cluster through SLURM_CONF=FOLDER/slurm.conf.
#
# Exit status: 0; 77 when the cluster cannot be run here (not root), with the
# reason on standard error; 1 when starting fails (the daemons' logs are in
# FOLDER); 2 for a wrong command line.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
me=slurm-cluster
action=${1:-}
count=
node=
case $action in
    start) count=${2:-}; dir=${3:-/tmp/kx-cluster} ;;
    kill | revive) node=${2:-}; dir=${3:-/tmp/kx-cluster} ;;
    *) dir=${2:-/tmp/kx-cluster} ;;
esac
conf=$dir/slurm.conf

usage() { sed -n '2,29p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }

need_root() {
    if [ "$(id -u)" != 0 ]; then
        echo "$me: the cluster runs its daemons as root; not root here" >&2
        exit 77
    fi
}

# The process of a pid file, if it still runs the command line given.
running() {
    local pidfile=$1 command=$2 pid
    [ -s "$pidfile" ] || return 1
    pid=$(cat "$pidfile")
    [ -r "/proc/$pid/cmdline" ] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "$command" || return 1
    echo "$pid"
}

# Whether process $1 has ended (a zombie, not yet reaped, has ended).
gone() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
    stat=${stat##*) }
    [ "${stat%% *}" = Z ]
}

wait_gone() {  # wait_gone PID: up to 5 s
    for _ in $(seq 100); do
        gone "$1" && return 0
        sleep 0.05
    done
    return 1
}

stop_one() {
    local pidfile=$1 command=$2 pid
    pid=$(running "$pidfile" "$command") || { rm -f "$pidfile"; return 0; }
    kill -TERM "$pid" 2>/dev/null
    wait_gone "$pid" || kill -KILL "$pid" 2>/dev/null
    rm -f "$pidfile"
}

# The nodes a configuration names, one a line.
nodes() {
    [ -f "$conf" ] && sed -n 's/^NodeName=\(n[0-9]*\) .*/\1/p' "$conf"
}

node_command() { echo "/usr/sbin/slurmd -D -f $conf -N $1"; }

# Kills node $1 at once: the first process of its namespace, whose end takes
# every other process of the namespace (slurmd, its job steps) with it.
kill_node() {
    local pid init
    pid=$(running "$dir/$1.pid" "$(node_command "$1")") || { rm -f "$dir/$1.pid"; return 0; }
    init=$(cat "/proc/$pid/task/$pid/children" 2>/dev/null)
    init=${init%% *}
    if [ -n "$init" ]; then
        kill -KILL "$init" 2>/dev/null
    fi
    # unshare itself ends when its child has; should it not, it goes too.
    wait_gone "$pid" || { kill -KILL "$pid" 2>/dev/null; wait_gone "$pid"; }
    rm -f "$dir/$1.pid"
}

# What runs first in a node's namespaces (of processes and of mounts): a
# /proc of the namespace's own processes, then the command. The proc file
# system is mounted here rather than by unshare --mount-proc, which first
# makes every mount private and so fails in a chroot, where / is no mount
# point; only /proc is made private, so that nothing mounted in the node
# reaches the machine's mounts.
node_shell='mount --make-rprivate /proc && mount -t proc proc /proc || exit 1; "$@" & wait $!'

start_node() {
    rm -f "$dir/spool/$1/slurmd.pid"
    mkdir -p "$dir/spool/$1"
    # The namespace's first process is a shell that waits for slurmd and
    # reaps the orphans of the namespace (slurmd does not: each job step
    # would stay a zombie).
    unshare --pid --fork --mount --propagation unchanged /bin/bash -c "$node_shell" kx-node \
        /usr/sbin/slurmd -D -f "$conf" -N "$1" >>"$dir/$1.out" 2>&1 </dev/null &
    echo $! >"$dir/$1.pid"
}

# Waits until every node named takes jobs; given up after 60 s, or at once
# when slurmctld or a node's namespace has ended. Prints what is wrong.
wait_ready() {
    local deadline=$((SECONDS + 60)) states n ok
    while [ $SECONDS -lt $deadline ]; do
        states=$(SLURM_CONF=$conf timeout 5 sinfo -h -N -o '%N %T' 2>/dev/null)
        ok=1
        for n in "$@"; do
            grep -qE "^$n (idle|mixed|allocated|completing)$" <<<"$states" || ok=0
        done
        [ $ok = 1 ] && return 0
        running "$dir/slurmctld.pid" slurmctld >/dev/null || { echo "slurmctld ended"; return 1; }
        for n in "$@"; do
            running "$dir/$n.pid" "$(node_command "$n")" >/dev/null || { echo "the slurmd of $n ended"; return 1; }
        done
        sleep 0.2
    done
    echo "${states:-no answer}" | tr '\n' ' '
    return 1
}

stop() {
    local n
    if running "$dir/slurmctld.pid" slurmctld >/dev/null; then
        SLURM_CONF=$conf timeout 10 scancel --quiet --full --signal=KILL --user=root 2>/dev/null
        SLURM_CONF=$conf timeout 10 scancel --quiet --user=root 2>/dev/null
    fi
    for n in $(nodes); do
        kill_node "$n"
    done
    stop_one "$dir/slurmctld.pid" "/usr/sbin/slurmctld -D -i -f $conf"
    stop_one "$dir/munged.pid" munged
}

start() {
    need_root
    case $count in
        '' | *[!0-9]* | 0*) echo "$me: start needs a number of nodes (1 or more)" >&2; exit 2 ;;
    esac
    local timeout=${KX_SLURMD_TIMEOUT:-300}
    case $timeout in
        '' | *[!0-9]* | 0*) echo "$me: KX_SLURMD_TIMEOUT must be a number of seconds, not '$timeout'" >&2; exit 2 ;;
    esac
    "$here/install-deps.sh" cluster || exit 1
    if ! /usr/sbin/slurmd -C >/dev/null 2>&1; then
        echo "$me: slurmd does not run here" >&2
        exit 1
    fi
    if ! unshare --pid --fork --mount --propagation unchanged /bin/bash -c "$node_shell" kx-node true 2>/dev/null; then
        echo "$me: unshare --pid --fork --mount does not work here (no namespaces for the nodes)" >&2
        exit 1
    fi
    # What an earlier start may have left.
    stop
    rm -rf "$dir/state" "$dir/spool"
    rm -f "$dir"/n*.out "$dir"/n*.log
    mkdir -p "$dir/state" "$dir/spool" "$dir/munge" || exit 1
    chmod 755 "$dir"

    if ! setpriv --reuid=munge --regid=munge --init-groups test -x "$dir"; then
        echo "$me: the munge user cannot reach $dir (a folder on its way is private)" >&2
        exit 1
    fi
    # munged runs as the munge user, with a key only it can read, and a
    # socket in a folder anyone can reach (the nodes' job steps ask it).
    chown munge:munge "$dir/munge"
    chmod 700 "$dir/munge"
    if [ ! -s "$dir/munge/munge.key" ]; then
        dd if=/dev/urandom of="$dir/munge/munge.key" bs=1024 count=1 status=none || exit 1
    fi
    chown munge:munge "$dir/munge/munge.key"
    chmod 400 "$dir/munge/munge.key"
    mkdir -p "$dir/munge/run"
    chown munge:munge "$dir/munge/run"
    chmod 755 "$dir/munge/run"
    chmod 711 "$dir/munge"
    local socket=$dir/munge/run/munge.socket
    setpriv --reuid=munge --regid=munge --init-groups /usr/sbin/munged --foreground --force \
        --socket="$socket" --key-file="$dir/munge/munge.key" --pid-file="$dir/munge/run/munged.pid" \
        --log-file="$dir/munge/munged.log" --seed-file="$dir/munge/munged.seed" \
        >"$dir/munged.out" 2>&1 </dev/null &
    echo $! >"$dir/munged.pid"

    # Ports nothing listens on yet: one for slurmctld, one for each node,
    # from a random start, so that two clusters started at once (two test
    # runs) seldom pick the same.
    local ports=() port=$((16917 + RANDOM % 1000))
    local last=$((port + 1000))
    while [ ${#ports[@]} -le "$count" ] && [ $port -lt $last ]; do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || ports+=("$port")
        port=$((port + 1))
    done
    [ ${#ports[@]} -gt "$count" ] || { echo "$me: no free ports" >&2; stop; exit 1; }

    # Each node is the whole machine as slurmd sees it.
    local hardware i
    hardware=$(/usr/sbin/slurmd -C 2>/dev/null | head -n 1 |
        sed -e 's/^NodeName=[^ ]* //' -e 's/ RealMemory=[0-9]*//')
    {
        cat <<EOF
# A cluster of $count nodes on one machine, written by tools/slurm-cluster.sh.
ClusterName=kxcluster
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=${ports[0]}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool/%n
SlurmctldPidFile=$dir/slurmctld.daemon.pid
SlurmdPidFile=$dir/spool/%n/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/%n.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/affinity
TaskPluginParam=Cores
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=batch_sched_delay=0,bf_interval=1,bf_continue
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
SlurmdTimeout=$timeout
MinJobAge=600
KillWait=5
EOF
        for ((i = 1; i <= count; i++)); do
            echo "NodeName=n$i NodeAddr=127.0.0.1 Port=${ports[i]} $hardware State=UNKNOWN"
        done
        echo "PartitionName=cluster Nodes=n[1-$count] Default=YES MaxTime=INFINITE State=UP"
    } >"$conf"
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

    for _ in $(seq 50); do
        [ -S "$socket" ] && break
        sleep 0.1
    done
    [ -S "$socket" ] || { echo "$me: munged did not start (see $dir/munged.out, $dir/munge/munged.log)" >&2; stop; exit 1; }

    /usr/sbin/slurmctld -D -i -f "$conf" >"$dir/slurmctld.out" 2>&1 </dev/null &
    echo $! >"$dir/slurmctld.pid"
    local all=()
    for ((i = 1; i <= count; i++)); do
        start_node "n$i"
        all+=("n$i")
    done
    local why
    if ! why=$(wait_ready "${all[@]}"); then
        echo "$me: the nodes did not come up ($why; logs in $dir):" >&2
        tail -n 5 "$dir/slurmctld.out" "$dir"/n*.out >&2
        stop
        exit 1
    fi
    echo "$me: $count nodes up; use them with: export SLURM_CONF=$conf"
}

# A node of the running cluster, or the reason on stderr and status 2.
known_node() {
    if [ -z "$node" ] || ! nodes | grep -qx -- "$node"; then
        echo "$me: no node '$node' in the cluster of $dir" >&2
        exit 2
    fi
}

case $action in
    start) start ;;
    stop) need_root; stop ;;
    kill) need_root; known_node; kill_node "$node" ;;
    revive)
        need_root
        known_node
        running "$dir/slurmctld.pid" slurmctld >/dev/null || { echo "$me: the cluster of $dir is not running" >&2; exit 1; }
        kill_node "$node"
        start_node "$node"
        if ! why=$(wait_ready "$node"); then
            echo "$me: $node did not come back ($why; log in $dir/$node.log)" >&2
            exit 1
        fi
        ;;
    env) echo "export SLURM_CONF=$conf" ;;
    *) usage ;;
esac
