#!/bin/bash
# kxrender-farm against a real Slurm cluster of one node (tools/slurm-local.sh,
# started here and stopped at the end):
#   1. a 24-frame ray-traced animation in 4 regions a frame (96 tasks) gives
#      the images of a render on this machine, byte for byte;
#   2. a task that fails once is submitted again and the run succeeds;
#   3. a task that fails every time ends the run with its report and status 1,
#      and leaves no image (and no region file) of its frame.
# The wall times of the farm and of this machine are printed.
#
#   farm_test.sh BUILD_DIR SOURCE_DIR
# Exit status 77 (skipped) with the reason when the cluster cannot be started
# here (not root).
set -uo pipefail

build=$1
source=$2
scene=$source/tests/farm/orbit.kx
fails=0

if [ "$(id -u)" != 0 ]; then
    echo "SKIPPED: the single-node Slurm cluster needs root to start its daemons"
    exit 77
fi

work=$(mktemp -d /tmp/kx-farm-test.XXXXXX)
chmod 755 "$work"  # munged, as the munge user, reaches the cluster's folder
cluster=$work/cluster
cleanup() {
    "$source/tools/slurm-local.sh" stop "$cluster"
    rm -rf "$work"
}
trap cleanup EXIT

"$source/tools/slurm-local.sh" start "$cluster" >"$work/start.log" 2>&1
status=$?
if [ $status = 77 ]; then
    cat "$work/start.log"
    exit 77
fi
[ $status = 0 ] || { cat "$work/start.log"; echo "FAIL: the cluster did not start"; exit 1; }
export SLURM_CONF=$cluster/slurm.conf
# The farm runs the kxrender on the PATH (the submitting machine's, which the
# tasks inherit): this build's.
export PATH=$build:$PATH

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

# The images of one machine.
mkdir "$work/local"
t0=$(date +%s.%N)
(cd "$work/local" && "$build/kxrender" "$scene") || { echo "FAIL: the local render"; exit 1; }
t1=$(date +%s.%N)

# 1. 96 tasks.
mkdir "$work/farm"
t2=$(date +%s.%N)
(cd "$work/farm" && "$build/kxrender-farm" --regions 4 --poll 0.5 "$scene") >"$work/farm.out" 2>"$work/farm.err"
status=$?
t3=$(date +%s.%N)
cat "$work/farm.err"
check "the farm run ends with status 0" [ $status = 0 ]
check "it names its tasks" grep -qx "kxrender-farm: 24 images of 24 frames in 96 tasks" "$work/farm.err"
check "it reports them complete" grep -qE "^kxrender-farm: 24 images complete in [0-9.]+ s \(96 tasks, 0 submitted again\)$" "$work/farm.err"
check "the farm wrote the 24 images and nothing else" \
    [ "$(cd "$work/farm" && ls -A)" = "$(cd "$work/local" && ls -A)" ]
same=0
for f in "$work"/local/orbit*.ppm; do
    cmp -s "$f" "$work/farm/$(basename "$f")" && same=$((same + 1))
done
check "all 24 images are those of the local render ($same equal)" [ $same = 24 ]
python3 -c "print('wall time: one machine %.1f s, the farm (96 tasks on the one-node cluster) %.1f s'
                 % ($t1 - $t0, $t3 - $t2))"

# A kxrender that fails for the task of frame 5, region 0 60 320 120: once
# (while the mark file is missing) or every time.
cat >"$work/flaky" <<EOF
#!/bin/sh
if [ "\$2 \$4 \$5 \$6 \$7" = "\$KX_FARM_TEST_FAIL" ]; then
    if [ "\$KX_FARM_TEST_ONCE" != 1 ] || [ ! -e "$work/failed-once" ]; then
        touch "$work/failed-once"
        echo "injected failure of frame \$2" >&2
        exit 3
    fi
fi
exec "$build/kxrender" "\$@"
EOF
chmod +x "$work/flaky"

# 2. Once.
mkdir "$work/once"
(cd "$work/once" && KX_FARM_TEST_FAIL="5 0 60 320 120" KX_FARM_TEST_ONCE=1 \
    "$build/kxrender-farm" --frames 4-6 --regions 4 --poll 0.5 --kxrender "$work/flaky" "$scene") \
    >"$work/once.out" 2>"$work/once.err"
status=$?
cat "$work/once.err"
check "a task failing once: status 0" [ $status = 0 ]
check "it was submitted again" grep -qE "^kxrender-farm: 3 images complete in [0-9.]+ s \(12 tasks, 1 submitted again\)$" "$work/once.err"
check "it failed once indeed" [ -e "$work/failed-once" ]
same=0
for f in orbit0004.ppm orbit0005.ppm orbit0006.ppm; do
    cmp -s "$work/local/$f" "$work/once/$f" && same=$((same + 1))
done
check "frames 4 to 6 are those of the local render" [ $same = 3 ]
check "nothing else is left" [ "$(cd "$work/once" && ls -A | tr '\n' ' ')" = "orbit0004.ppm orbit0005.ppm orbit0006.ppm " ]

# 3. Every time.
mkdir "$work/always"
(cd "$work/always" && KX_FARM_TEST_FAIL="5 0 60 320 120" \
    "$build/kxrender-farm" --frames 4-6 --regions 4 --retries 1 --poll 0.5 --kxrender "$work/flaky" "$scene") \
    >"$work/always.out" 2>"$work/always.err"
status=$?
cat "$work/always.err"
check "a task failing every time: status 1" [ $status = 1 ]
check "its report names frame, region, task, attempts and exit code" grep -qx \
    "kxrender-farm: frame 5, region 0 60 320 120 (task 5) failed after 2 attempts: exit code 3:0" "$work/always.err"
check "and ends with its standard error" grep -qx "    injected failure of frame 5" "$work/always.err"
check "the run says which frame has no image" grep -qE \
    "^kxrender-farm: 2 of 3 images complete in [0-9.]+ s; no image for frame 5; task logs in $work/always/\.kxrender-farm\.[0-9]+$" \
    "$work/always.err"
check "frames 4 and 6 are complete, frame 5 left no file" \
    [ "$(cd "$work/always" && ls | tr '\n' ' ')" = "orbit0004.ppm orbit0006.ppm " ]

# The daemons go with the cluster.
pids=$(cat "$cluster"/munged.pid "$cluster"/slurmctld.pid "$cluster"/slurmd.pid)
"$source/tools/slurm-local.sh" stop "$cluster"
left=$(for p in $pids; do [ -d "/proc/$p" ] && echo "$p"; done)
check "the cluster's three daemons are stopped ($(echo $pids))" [ -z "$left" ] && [ "$(echo $pids | wc -w)" = 3 ]

[ $fails = 0 ] || { echo "$fails checks failed"; exit 1; }
echo "all farm checks passed"
