#!/bin/bash
# kxrender-farm against a real Slurm cluster of one node (tools/slurm-local.sh,
# started here and stopped at the end):
#   1. the 24-frame ray-traced animation, in whole frames in a folder named
#      like sbatch's patterns (shots%x), and in 4 regions a frame, gives the
#      images of a render on this machine, byte for byte, and leaves nothing
#      but them and the farm's manifest;
#   2. a work item that fails once is handed out again and the run succeeds;
#   3. an item that fails every time ends the run with its report and status
#      1, leaves no image of its frame and keeps the run's folder;
#   4. a Latin-1 image name with a % in it (in regions) and a Format 0 0 scene
#      give the files of the plain run.
# The wall times of the farm and of this machine are printed.
#
#   farm_test.sh BUILD_DIR SOURCE_DIR
# Exit status 77 (skipped) with the reason when the cluster cannot be started
# here (not root).
set -uo pipefail

build=$1
source=$2
scene=$source/tests/farm/orbit.kx
# The cluster, its folder and the checks (tests/farm/test_cluster.sh).
. "$source/tests/farm/test_cluster.sh"
start_test_cluster kx-farm-test "the single-node Slurm cluster" "$source/tools/slurm-local.sh" start

# The last line of a run that completed FRAMES of TOTAL after RETRIES.
summary() {
    echo "^kxrender-farm: $1 of $2 frames complete in [0-9.]+ s \(CPU [0-9.]+ s, $3 retries, excluded: none\)"
}
# What a farm leaves beside its images: the manifest, and no run's folder.
leftovers() { (cd "$1/.kxrender-farm" && ls -A . runs | tr '\n' ' '); }
clean=".: manifest runs runs.lock  runs: "

# The images of one machine.
mkdir "$work/local"
t0=$(date +%s.%N)
(cd "$work/local" && "$build/kxrender" "$scene") || { echo "FAIL: the local render"; exit 1; }
t1=$(date +%s.%N)

# 1. Whole frames, then 4 regions a frame.
mkdir "$work/shots%x" "$work/farm"
(cd "$work/shots%x" && "$build/kxrender-farm" "$scene") >"$work/whole.out" 2>"$work/whole.err"
status=$?
t2=$(date +%s.%N)
cat "$work/whole.err"
[ $status = 0 ] && tail -n 1 "$work/whole.err" | grep -qE "$(summary 24 24 0)\$"
expect "whole frames in shots%x: status 0 and the summary"
(cd "$work/farm" && "$build/kxrender-farm" --regions 4 "$scene") >"$work/farm.out" 2>"$work/farm.err"
status=$?
t3=$(date +%s.%N)
cat "$work/farm.err"
[ $status = 0 ] && tail -n 1 "$work/farm.err" | grep -qE "$(summary 24 24 0)\$"
expect "4 regions a frame: status 0 and the summary"
for run in "shots%x" farm; do
    [ "$(cd "$work/$run" && ls)" = "$(cd "$work/local" && ls)" ] && [ "$(leftovers "$work/$run")" = "$clean" ]
    expect "$run: the 24 images and the manifest, nothing else"
    same=0
    for f in "$work"/local/orbit*.ppm; do
        cmp -s "$f" "$work/$run/$(basename "$f")" && same=$((same + 1))
    done
    [ $same = 24 ]
    expect "$run: all 24 images are those of the local render ($same equal)"
done
python3 -c "print('wall time: one machine %.1f s; the farm on the one-node cluster: whole frames %.1f s, '
                 '4 regions a frame %.1f s' % ($t1 - $t0, $t2 - $t1, $t3 - $t2))"

# A kxrender that fails for the band of frame 5 that starts at row 0 (alone
# or with other frames): once (while the mark file is missing) or every time.
cat >"$work/flaky" <<EOF
#!/bin/sh
if [ "\$3 \$5" = "--region 0" ] && echo ",\$2," | grep -q ",5,"; then
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
(cd "$work/once" && KX_FARM_TEST_ONCE=1 \
    "$build/kxrender-farm" --frames 4-6 --regions 4 --kxrender "$work/flaky" "$scene") \
    >"$work/once.out" 2>"$work/once.err"
status=$?
cat "$work/once.err"
[ $status = 0 ] && [ -e "$work/failed-once" ] && tail -n 1 "$work/once.err" | grep -qE "$(summary 3 3 1)\$"
expect "an item failing once: status 0 after 1 retry"
same=0
for f in orbit0004.ppm orbit0005.ppm orbit0006.ppm; do
    cmp -s "$work/local/$f" "$work/once/$f" && same=$((same + 1))
done
[ $same = 3 ] && [ "$(cd "$work/once" && ls | tr '\n' ' ')" = "orbit0004.ppm orbit0005.ppm orbit0006.ppm " ] &&
    [ "$(leftovers "$work/once")" = "$clean" ]
expect "frames 4 to 6 are those of the local render; nothing else is left"

# 3. Every time.
mkdir "$work/always"
(cd "$work/always" && "$build/kxrender-farm" --frames 4-6 --regions 4 --retries 1 --kxrender "$work/flaky" "$scene") \
    >"$work/always.out" 2>"$work/always.err"
status=$?
cat "$work/always.err"
check "an item failing every time: status 1" [ $status = 1 ]
check "its report names frame, region, item, attempts, exit status and node" grep -qxE \
    "kxrender-farm: frame 5, region 0 0 320 [0-9]+ \(item [0-9]+\) failed after 2 attempts: exit status 3 on n1" \
    "$work/always.err"
check "and ends with its standard error" grep -qx "    injected failure of frame 5" "$work/always.err"
run=$(tail -n 1 "$work/always.err" | grep -E "$(summary 2 3 1); the run's files are in " | sed 's/.* are in //')
[[ $run =~ ^\.kxrender-farm/runs/orbit\.[0-9]{8}-[0-9]{6}\.[a-z0-9]{6}$ ]] && [ -d "$work/always/$run/log" ]
expect "the last line counts the frames and names the run's folder, which is kept"
[ "$(cd "$work/always" && ls | tr '\n' ' ')" = "orbit0004.ppm orbit0006.ppm " ]
expect "frames 4 and 6 are complete, frame 5 left no file"

# 4. Names and sizes the plain run writes.
mkdir "$work/names" "$work/names.local"
{
    printf 'Engine "raytrace"\nDisplay "caf\351 %%x" "PNM" "rgb"\nFormat 16 8\nBackground 0.2 0.3 0.4\n'
    printf '%s\n' "FrameBegin 1" "WorldBegin" "Sphere 1 -1 1 360" "WorldEnd" "FrameEnd" \
            "FrameBegin 2" "WorldBegin" "WorldEnd" "FrameEnd"
} >"$work/latin1.kx"
printf 'Display "zero" "PNM" "rgb"\nFormat 0 0\nFrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\n' >"$work/zero.kx"
(cd "$work/names.local" && "$build/kxrender" "$work/latin1.kx" && "$build/kxrender" "$work/zero.kx")
(cd "$work/names" && "$build/kxrender-farm" --regions 2 "$work/latin1.kx" && "$build/kxrender-farm" "$work/zero.kx") \
    >"$work/names.out" 2>"$work/names.err"
status=$?
cat "$work/names.err"
[ $status = 0 ] && [ "$(ls "$work/names.local" | od -c)" = "$(ls "$work/names" | od -c)" ] &&
    [ "$(ls "$work/names" | wc -l)" = 3 ] && (cd "$work/names.local" && for f in *; do cmp "$f" "../names/$f" || exit 1; done)
expect "a Latin-1 name with %x, in regions, and Format 0 0: the files of the plain run"

# A SLURM_CONF that names no file is said at once (the Slurm commands
# would retry for a minute each).
(cd "$work" && SLURM_CONF=$work/none "$build/kxrender-farm" "$scene") >"$work/conf.out" 2>"$work/conf.err"
status=$?
[ $status = 1 ] && [ ! -s "$work/conf.out" ] && [ ! -e "$work/.kxrender-farm/runs" ] &&
    [ "$(cat "$work/conf.err")" = "kxrender-farm: SLURM_CONF names $work/none, which is not a file: nothing submitted" ]
expect "a SLURM_CONF naming no file: one line, status 1, nothing submitted"

# The daemons go with the cluster: munged, slurmctld and the node (its
# namespace, with slurmd in it).
pids=$(cat "$cluster"/munged.pid "$cluster"/slurmctld.pid "$cluster"/n1.pid)
daemons=$(echo $pids)
"$source/tools/slurm-local.sh" stop "$cluster"
# (A zombie has ended: this machine's init may be slow to reap it.)
left=$(for p in $pids; do [ -d "/proc/$p" ] && ! grep -q ') Z ' "/proc/$p/stat" && echo "$p"; done)
[ -z "$left" ] && [ "$(echo $pids | wc -w)" = 3 ] && ! pgrep -f "slurmd -D -f $cluster/" >/dev/null
expect "the cluster's daemons are stopped ($daemons)"

[ $fails = 0 ] || { echo "$fails checks failed"; exit 1; }
echo "all farm checks passed"
