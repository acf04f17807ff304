#!/usr/bin/env bash
# Whole-scene timings of the renderer: the performance anchor scenes (made
# by the anchors' gen_scenes.py when the shared folder is there) and every
# example, each rendered in a scratch folder. One line per scene: the best
# wall time of REPS runs, the peak memory of the process, and the frame's
# shaded pixels or rays per second from the renderer's own statistics
# (OptionBool "Statistics", added before the first WorldBegin). Ray-traced
# scenes run twice: with every core (the default) and with one thread.
# Figures only: nothing here passes or fails.
#
# usage: bench/scenes.sh [path/to/kxrender]     (default: build/kxrender)
# env:   REPS=3  ANCHORS=../shared/anchors  KEEP=1 (keep the scratch folder)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$(realpath "${1:-$ROOT/build/kxrender}")
REPS=${REPS:-3}
ANCHORS=${ANCHORS:-$ROOT/../shared/anchors}
[ -x "$BIN" ] || { echo "no renderer at $BIN" >&2; exit 1; }
WORK=$(mktemp -d /tmp/kx-scenes.XXXXXX)
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/scenes" "$WORK/out"
ln -s "$ROOT/examples" "$WORK/examples"  # examples name their maps ../examples/...

if [ -f "$ANCHORS/gen_scenes.py" ] && python3 "$ANCHORS/gen_scenes.py" "$WORK/scenes" >/dev/null 2>&1; then
  :
else
  echo "(anchor scenes not available: only the examples are timed)" >&2
fi

# The scene with the statistics switched on; with a thread count, that too.
prepare() {  # scene threads out
  awk -v threads="$2" '
    /^[ \t]*Engine[ \t]/ && threads != "" { print; print "OptionReal \"Threads\" " threads; next }
    /^[ \t]*WorldBegin/ && !done { print "OptionBool \"Statistics\" on"; done = 1 }
    { print }' "$1" > "$3"
}

ms_now() { echo "${EPOCHREALTIME/./}"; }
HAVE_TIME=0
[ -x /usr/bin/time ] && HAVE_TIME=1

run_one() {  # label scene
  local label=$1 scene=$2 best="" rss="-" t0 t1 us err status
  err="$WORK/err.txt"
  for ((r = 0; r < REPS; r++)); do
    t0=$(ms_now)
    if [ $HAVE_TIME = 1 ]; then
      (cd "$WORK/out" && /usr/bin/time -f "%M" -o "$WORK/rss.txt" "$BIN" "$scene" >/dev/null 2>"$err")
    else
      (cd "$WORK/out" && "$BIN" "$scene" >/dev/null 2>"$err")
    fi
    status=$?
    t1=$(ms_now)
    us=$((t1 - t0))
    if [ -z "$best" ] || [ "$us" -lt "$best" ]; then best=$us; fi
    [ $HAVE_TIME = 1 ] && rss=$(tail -1 "$WORK/rss.txt")
  done
  # "Statistics: frame F, T s, polygons P, pixels shaded N" or "..., rays cast R, ..."
  awk -v label="$label" -v wall="$best" -v rss="$rss" -v status="$status" '
    /^Statistics:/ {
      for (i = 1; i <= NF; i++) {
        if ($(i + 1) ~ /^s,?$/ && $i ~ /^[0-9.]+$/) secs += $i
        if ($i == "shaded") { v = $(i + 1); sub(/,/, "", v); pixels += v }
        if ($i == "cast") { v = $(i + 1); sub(/,/, "", v); rays += v }
      }
    }
    END {
      rate = "-"
      if (secs > 0 && rays > 0) rate = sprintf("%.2f Mrays/s", rays / secs / 1e6)
      else if (secs > 0 && pixels > 0) rate = sprintf("%.2f Mfragments/s", pixels / secs / 1e6)
      printf "%-34s %9.1f ms %9s KB  %s%s\n", label, wall / 1000, rss, rate, status == 0 ? "" : "  (exit " status ")"
    }' "$err"
}

printf "%-34s %12s %12s  %s\n" "scene" "wall (best)" "peak memory" "rate (frame time)"
for scene in "$WORK"/scenes/*.kx "$ROOT"/examples/*.kx; do
  [ -f "$scene" ] || continue
  name=$(basename "$scene" .kx)
  prepare "$scene" "" "$WORK/$name.kx"
  run_one "$name" "$WORK/$name.kx"
  if grep -q '^[[:space:]]*Engine[[:space:]]*"raytrace"' "$scene"; then
    prepare "$scene" 1 "$WORK/${name}_t1.kx"
    run_one "$name (1 thread)" "$WORK/${name}_t1.kx"
  fi
done
