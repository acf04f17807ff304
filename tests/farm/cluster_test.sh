#!/bin/bash
# kxrender-farm on a Slurm cluster of three nodes on this machine
# (tools/slurm-cluster.sh, started once here with SlurmdTimeout=20 and stopped
# at the end), with the 24-frame ray-traced animation tests/farm/orbit.kx:
#   1. a clean run (a kxrender made a second slower, so that the run lasts
#      some seconds): status 0, the images of one machine byte for byte,
#      work on every node (the report names n1, n2 and n3), the summary line;
#   2. the same run, with node n2 powered off (its slurmd and tasks killed
#      at once) as soon as it starts rendering: status 0, the same images,
#      n2 excluded, and the run ends within 30 s of the clean run's time;
#   3. Ctrl-C once some frames are complete: status 130; --resume then renders
#      only the frames that were not complete (the others' files are left as
#      they were), --verify says every image is current, and names the one
#      image changed afterwards;
#   4. two farms in one folder: the same scene twice at once, the second
#      refused with one line and status 1 and the first complete; two scenes
#      writing different images at once, both complete.
#
#   cluster_test.sh BUILD_DIR SOURCE_DIR
# Exit status 77 (skipped) with the reason when the cluster cannot be run
# here (not root); 1 when it cannot start or a check fails.
set -uo pipefail

build=$1
source=$2
scene=$source/tests/farm/orbit.kx
farm=$build/kxrender-farm
# The cluster, its folder and the checks (tests/farm/test_cluster.sh).
. "$source/tests/farm/test_cluster.sh"
export KX_SLURMD_TIMEOUT=20
start_test_cluster kx-cluster-test "the Slurm cluster of three nodes" "$source/tools/slurm-cluster.sh" start 3

now() { date +%s.%N; }
seconds() { python3 -c "import sys; print('%.1f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }

# The number of images of folder $2 equal to those of folder $1 (its .ppm).
same_images() {
    local f same=0
    for f in "$1"/*.ppm; do
        cmp -s "$f" "$2/$(basename "$f")" && same=$((same + 1))
    done
    echo $same
}

# The images a farm left in folder $1, its state folder apart.
images_of() { (cd "$1" && ls | grep -v '^report') | tr '\n' ' '; }

# Waits up to $1 seconds for COMMAND... to succeed.
wait_for() {
    local deadline=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt $deadline ] || return 1
        sleep 0.05
    done
}

summary_re() {  # summary_re DONE TOTAL RETRIES EXCLUDED: the last line of a run
    echo "^kxrender-farm: $1 of $2 frames complete in [0-9.]+ s \(CPU [0-9.]+ s, $3 retries, excluded: $4\)$"
}

# The images of one machine, of orbit.kx and of a copy writing other names.
sed 's/^Display "orbit"/Display "other"/' "$scene" >"$work/other.kx"
mkdir "$work/local"
(cd "$work/local" && "$build/kxrender" "$scene" && "$build/kxrender" "$work/other.kx") ||
    { echo "FAIL: the local render"; exit 1; }
all=$(images_of "$work/local")
orbits=$( (cd "$work/local" && ls orbit*.ppm) | tr '\n' ' ')
[ "$(echo $orbits | wc -w)" = 24 ] || { echo "FAIL: orbit.kx should write 24 images: $orbits"; exit 1; }

# A kxrender that takes a second longer, so that a run lasts a few seconds,
# and that marks, on a node, that the node has started work.
cat >"$work/slow" <<EOF
#!/bin/sh
[ -n "\${SLURMD_NODENAME:-}" ] && touch "$work/started.\$SLURMD_NODENAME"
sleep 1
exec "$build/kxrender" "\$@"
EOF
chmod +x "$work/slow"

# 1. A clean run.
mkdir "$work/clean"
t0=$(now)
(cd "$work/clean" && "$farm" "$scene" --kxrender "$work/slow" --report report.html) \
    >"$work/clean.out" 2>"$work/clean.err"
status=$?
t1=$(now)
clean=$(seconds "$t0" "$t1")
cat "$work/clean.err"
check "a clean run ends with status 0" [ $status = 0 ]
check "its last line is the summary" grep -qE "$(summary_re 24 24 0 none)" <(tail -n 1 "$work/clean.err")
check "its 24 images are those of one machine" [ "$(same_images "$work/local" "$work/clean")" = 24 ]
check "it wrote those images, nothing else" [ "$(images_of "$work/clean")" = "$orbits" ]
check "and its report" [ -s "$work/clean/report.html" ]
for n in n1 n2 n3; do
    check "work went to node $n (the report names it)" grep -qw $n "$work/clean/report.html"
done

# 2. A node powered off while it works.
rm -f "$work"/started.*
mkdir "$work/lost"
t0=$(now)
(cd "$work/lost" && exec "$farm" "$scene" --kxrender "$work/slow") >"$work/lost.out" 2>"$work/lost.err" &
pid=$!
if wait_for 60 test -e "$work/started.n2"; then
    "$source/tools/slurm-cluster.sh" kill n2 "$cluster"
    echo "n2 powered off $(seconds "$t0" "$(now)") s into the run"
else
    echo "FAIL: no work started on n2 within 60 s"
    fails=$((fails + 1))
fi
wait $pid
status=$?
t1=$(now)
lost=$(seconds "$t0" "$t1")
cat "$work/lost.err"
check "with n2 lost, the run ends with status 0" [ $status = 0 ]
check "n2 is excluded (summary)" grep -qE "$(summary_re 24 24 '[0-9]+' n2)" <(tail -n 1 "$work/lost.err")
check "its 24 images are those of one machine" [ "$(same_images "$work/local" "$work/lost")" = 24 ]
check "it wrote those images, nothing else" [ "$(images_of "$work/lost")" = "$orbits" ]
echo "wall time: one clean run $clean s, with n2 lost $lost s"
check "the loss costs at most 30 s ($lost s against $clean s)" \
    python3 -c "import sys; sys.exit(float(sys.argv[1]) > float(sys.argv[2]) + 30)" "$lost" "$clean"
"$source/tools/slurm-cluster.sh" revive n2 "$cluster"
check "n2 revived takes work again" timeout 30 sbatch --quiet --wait -w n2 -o /dev/null --wrap true

# 3. Ctrl-C, then --resume and --verify.
mkdir "$work/resume"
complete() { [ "$(cd "$work/resume" && ls orbit*.ppm 2>/dev/null | wc -l)" -ge 3 ]; }
(cd "$work/resume" && exec "$farm" "$scene") >"$work/stopped.out" 2>"$work/stopped.err" &
pid=$!
wait_for 60 complete
kill -INT $pid
wait $pid
status=$?
cat "$work/stopped.err"
check "Ctrl-C stops the run with status 130" [ $status = 130 ]
no_jobs() { [ -z "$(squeue -h -t PENDING,RUNNING)" ]; }
check "no job of it is left" wait_for 10 no_jobs
# The images the manifest holds as complete are those --verify does not name.
(cd "$work/resume" && "$farm" "$scene" --verify) >"$work/verify1.out" 2>&1
kept=
missing=0
for f in $orbits; do
    if [ -e "$work/resume/$f" ] && ! grep -qF "$f" "$work/verify1.out"; then
        kept="$kept $f"
        stat -c "$f %i %Y" "$work/resume/$f" >>"$work/kept"
    else
        missing=$((missing + 1))
    fi
done
echo "stopped with $((24 - missing)) frames complete, $missing left"
check "the run was stopped with frames complete" [ -n "$kept" ]
check "and frames left" [ $missing -gt 0 ]
(cd "$work/resume" && "$farm" "$scene" --resume) >"$work/resume.out" 2>"$work/resume.err"
status=$?
cat "$work/resume.err"
check "--resume ends with status 0" [ $status = 0 ]
check "its summary counts all 24 frames complete" grep -qE "$(summary_re 24 24 0 none)" <(tail -n 1 "$work/resume.err")
check "the frames complete before were not rendered again" \
    [ "$(for f in $kept; do stat -c "$f %i %Y" "$work/resume/$f"; done)" = "$(cat "$work/kept")" ]
check "the 24 images are those of one machine" [ "$(same_images "$work/local" "$work/resume")" = 24 ]
(cd "$work/resume" && "$farm" "$scene" --verify) >"$work/verify2.out" 2>&1
status=$?
check "--verify then: status 0" [ $status = 0 ]
printf '\x55' | dd of="$work/resume/orbit0007.ppm" bs=1 seek=100 conv=notrunc status=none
(cd "$work/resume" && "$farm" "$scene" --verify) >"$work/verify3.out" 2>&1
status=$?
cat "$work/verify3.out"
check "--verify on a changed image: status 1" [ $status = 1 ]
check "it prints one line for that image, then its summary" [ "$(grep -c . "$work/verify3.out")" = 2 ]
check "naming it" grep -qF orbit0007.ppm <(head -n 1 "$work/verify3.out")

# 4. Two farms in one folder. The first renders slowly enough to be running
# when the second starts.
mkdir "$work/twice"
(cd "$work/twice" && exec "$farm" "$scene" --kxrender "$work/slow") >"$work/first.out" 2>"$work/first.err" &
pid=$!
claimed() { compgen -G "$work/twice/.kxrender-farm/runs/*/images" >/dev/null; }
wait_for 60 claimed
(cd "$work/twice" && "$farm" "$scene") >"$work/second.out" 2>"$work/second.err"
status=$?
other=$(basename "$(dirname "$(compgen -G "$work/twice/.kxrender-farm/runs/*/images" | head -n 1)")")
cat "$work/second.err"
check "the same scene twice at once: the second farm is refused with status 1" [ $status = 1 ]
check "in one line naming the first farm's run" [ "$(cat "$work/second.err")" = \
    "kxrender-farm: orbit0001.ppm is being written by another farm (.kxrender-farm/runs/$other)" ]
wait $pid
status=$?
cat "$work/first.err"
check "the first farm ends with status 0" [ $status = 0 ]
check "and its 24 images are those of one machine" [ "$(same_images "$work/local" "$work/twice")" = 24 ]

mkdir "$work/both"
(cd "$work/both" && exec "$farm" "$scene") >"$work/both1.out" 2>"$work/both1.err" &
pid1=$!
(cd "$work/both" && exec "$farm" "$work/other.kx") >"$work/both2.out" 2>"$work/both2.err" &
pid2=$!
wait $pid1
status1=$?
wait $pid2
status2=$?
cat "$work/both1.err" "$work/both2.err"
check "two scenes at once in one folder: both end with status 0" [ "$status1 $status2" = "0 0" ]
check "the 48 images are those of one machine" [ "$(same_images "$work/local" "$work/both")" = 48 ]
check "and nothing else is left" [ "$(images_of "$work/both")" = "$all" ]

# The daemons go with the cluster.
pids=$(cat "$cluster"/munged.pid "$cluster"/slurmctld.pid "$cluster"/n[0-9]*.pid)
"$source/tools/slurm-cluster.sh" stop "$cluster"
left=$(for p in $pids; do [ -d "/proc/$p" ] && [ "$(cut -d' ' -f3 "/proc/$p/stat" 2>/dev/null)" != Z ] && echo "$p"; done)
check "the cluster had its five processes ($(echo $pids))" [ "$(echo $pids | wc -w)" = 5 ]
check "they are stopped" [ -z "$left" ]
check "nothing runs in a node any more" [ -z "$(pgrep -f "slurmd -D -f $cluster/slurm.conf")" ]

[ $fails = 0 ] || { echo "$fails checks failed"; exit 1; }
echo "all checks across nodes passed"
