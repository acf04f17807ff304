#!/usr/bin/env bash
# How the renderer's cost grows with the work. Two tables:
#  - the ray tracer on 100 to 100,000 spheres: parse, tree build and trace;
#  - both drawing engines on PolySet grids of 20,000 to 1,800,000 quads:
#    parse, build (ray tracer), draw or trace, and the peak memory of the
#    process against the size of the mesh's vertex and index data.
# The scenes are written by bench/scaling_scenes.py into a scratch folder and
# rendered by the real program. Times come from the renderer's statistics
# line (OptionBool "Statistics": the time from WorldBegin to the image
# written) and from the wall clock around the process; peak memory is the
# maximum resident size that /usr/bin/time reports. How each column is
# obtained is printed under the tables. Figures only: nothing here passes or
# fails.
#
# usage: bench/scaling.sh [path/to/kxrender]     (default: build/kxrender)
# env:   REPS=5 (best of; the parse runs 2 x REPS; meshes of a million quads and more once)
#        SPHERES="100 1000 10000 100000"  MESHES="20000 180000 1800000"  KEEP=1 (keep the scratch folder)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$(realpath "${1:-$ROOT/build/kxrender}")
REPS=${REPS:-5}
WIDTH=640 HEIGHT=480
SPHERES=${SPHERES:-"100 1000 10000 100000"}
MESHES=${MESHES:-"20000 180000 1800000"}
ONCE_FROM=1000000  # meshes of at least this many quads run once
[ -x "$BIN" ] || { echo "no renderer at $BIN" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "scaling: /usr/bin/time is missing (tools/install-deps.sh bench)" >&2; exit 1; }
command -v python3 >/dev/null || { echo "scaling: python3 is missing" >&2; exit 1; }
WORK=$(mktemp -d /tmp/kx-scaling.XXXXXX)
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT
GEN=("python3" "$ROOT/bench/scaling_scenes.py")

SPHERE_VIEW='CameraEye 26 20 34
CameraAt 0 0 0
CameraFOV 40
Background 0.1 0.1 0.15'
SPHERE_LIGHTS='AmbientLight 1 1 1 0.2
PointLight 30 40 35  1 1 1  3000
Ka 0.3
Kd 0.8'
MESH_VIEW='CameraEye 0 -14 12
CameraAt 0 0 0
CameraFOV 45
Background 0.1 0.1 0.15'
MESH_LIGHTS='AmbientLight 1 1 1 0.2
FarLight 0 -1 -1  1 1 1  1
Ka 0.3
Kd 0.8
Color 0.8 0.6 0.4'

# scene ENGINE SIZE VIEW LIGHTS BODY KIND OUT: KIND "full" draws BODY in the
# world; "parse" reads it into an object definition never instanced and draws an
# empty world; "empty" has the empty world alone. SIZE is "W H".
scene() {
  local engine=$1 size=$2 view=$3 lights=$4 body=$5 kind=$6
  {
    printf 'Engine "%s"\nDisplay "scaling" "PNM" "rgb"\nFormat %s\n%s\n' "$engine" "$size" "$view"
    if [ "$kind" = parse ]; then
      echo 'ObjectBegin "geometry"'
      cat "$body"
      echo 'ObjectEnd'
    fi
    printf 'OptionBool "Statistics" on\nWorldBegin\n'
    if [ "$kind" = full ]; then
      printf '%s\n' "$lights"
      cat "$body"
    fi
    echo 'WorldEnd'
  } >"$7"
}

us_now() { echo "${EPOCHREALTIME/./}"; }

# run SCENE REPS: sets WALL and FRAME (ms, best of REPS: the process and its
# statistics line), RSS (KB, largest),
# HEIGHT_SEEN (tree height on the statistics line) and STATUS.
run() {
  local t0 t1 wall frame rss
  WALL="" FRAME="" RSS=0 HEIGHT_SEEN="-" STATUS=0
  for ((r = 0; r < $2; r++)); do
    t0=$(us_now)
    (cd "$WORK" && /usr/bin/time -f "%M" -o "$WORK/rss.txt" "$BIN" "$1" >/dev/null 2>"$WORK/err.txt")
    local status=$?
    t1=$(us_now)
    [ $status = 0 ] || STATUS=$status
    wall=$(awk -v us=$((t1 - t0)) 'BEGIN { printf "%.1f", us / 1000 }')
    frame=$(awk '/^Statistics:/ { printf "%.1f", $4 * 1000; exit }' "$WORK/err.txt")
    HEIGHT_SEEN=$(awk '/^Statistics:/ { for (i = 1; i < NF; i++) if ($i == "height") h = $(i + 1) } END { print h == "" ? "-" : h }' "$WORK/err.txt")
    rss=$(tail -1 "$WORK/rss.txt")
    [[ $rss =~ ^[0-9]+$ ]] && [ "$rss" -gt "$RSS" ] && RSS=$rss
    if [ -z "$WALL" ] || awk -v a="$wall" -v b="$WALL" 'BEGIN { exit !(a < b) }'; then WALL=$wall; fi
    if [ -z "$FRAME" ] || awk -v a="${frame:-0}" -v b="$FRAME" 'BEGIN { exit !(a < b) }'; then FRAME=${frame:-0}; fi
  done
}

calc() { awk "BEGIN { printf \"%.1f\", $1 }"; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# Program start and exit, per engine: an empty world of 1 x 1 pixel.
declare -A EMPTY
for engine in raytrace direct; do
  scene "$engine" "1 1" "$SPHERE_VIEW" "" /dev/null empty "$WORK/empty.kx"
  run "$WORK/empty.kx" $((2 * REPS))
  EMPTY[$engine]=$WALL
done
note() { [ "$STATUS" = 0 ] || printf '  (a run failed)'; }

echo "Ray tracer, spheres in a fixed cube, $WIDTH x $HEIGHT, one sample a pixel, a point light with shadows (best of $REPS)"
printf '%9s %9s %9s %9s %9s %9s %8s %7s\n' spheres "parse ms" "build ms" "trace ms" "frame ms" "wall ms" "peak MB" height
for n in $SPHERES; do
  "${GEN[@]}" spheres "$n" >"$WORK/body.kx"
  scene raytrace "1 1" "$SPHERE_VIEW" "$SPHERE_LIGHTS" "$WORK/body.kx" parse "$WORK/s.kx"
  run "$WORK/s.kx" $((2 * REPS)); parse=$(calc "$WALL - ${EMPTY[raytrace]}"); st=$STATUS
  scene raytrace "1 1" "$SPHERE_VIEW" "$SPHERE_LIGHTS" "$WORK/body.kx" full "$WORK/s.kx"
  run "$WORK/s.kx" "$REPS"; small=$FRAME; st=$((st | STATUS))
  scene raytrace "$WIDTH $HEIGHT" "$SPHERE_VIEW" "$SPHERE_LIGHTS" "$WORK/body.kx" full "$WORK/s.kx"
  run "$WORK/s.kx" "$REPS"; STATUS=$((st | STATUS))
  printf '%9s %9s %9s %9s %9s %9s %8s %7s%s\n' "$n" "$parse" "$(calc "$small - $parse")" \
    "$(calc "$FRAME - $small")" "$FRAME" "$WALL" "$(mib "$RSS")" "$HEIGHT_SEEN" "$(note)"
done

echo
echo "PolySet grid of quads, $WIDTH x $HEIGHT, a far light (best of $REPS; meshes of $ONCE_FROM quads and more once)"
printf '%9s %-8s %9s %9s %10s %9s %9s %8s %8s %9s\n' quads engine "parse ms" "build ms" "draw/trace" "frame ms" \
  "wall ms" "peak MB" "data MB" "peak/data"
for q in $MESHES; do
  reps=$REPS parse_reps=$((2 * REPS))
  [ "$q" -ge $ONCE_FROM ] && reps=1 parse_reps=1
  info=$("${GEN[@]}" mesh "$q" 2>&1 >"$WORK/body.kx")
  bytes=$(awk '{ print $6 }' <<<"$info")
  data=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')
  scene direct "1 1" "$MESH_VIEW" "$MESH_LIGHTS" "$WORK/body.kx" parse "$WORK/m.kx"
  run "$WORK/m.kx" "$parse_reps"; parse=$(calc "$WALL - ${EMPTY[direct]}"); parse_status=$STATUS
  for engine in direct raytrace; do
    st=$parse_status build="-" small=$parse
    if [ $engine = raytrace ]; then
      scene raytrace "1 1" "$MESH_VIEW" "$MESH_LIGHTS" "$WORK/body.kx" full "$WORK/m.kx"
      run "$WORK/m.kx" "$reps"; small=$FRAME build=$(calc "$FRAME - $parse"); st=$((st | STATUS))
    fi
    scene $engine "$WIDTH $HEIGHT" "$MESH_VIEW" "$MESH_LIGHTS" "$WORK/body.kx" full "$WORK/m.kx"
    run "$WORK/m.kx" "$reps"; STATUS=$((st | STATUS))
    printf '%9s %-8s %9s %9s %10s %9s %9s %8s %8s %9s%s\n' "$q" $engine "$parse" "$build" "$(calc "$FRAME - $small")" \
      "$FRAME" "$WALL" "$(mib "$RSS")" "$data" "$(awk -v k="$RSS" -v b="$bytes" 'BEGIN { printf "%.1f", k * 1024 / b }')" \
      "$(note)"
  done
  rm -f "$WORK/body.kx" "$WORK/m.kx"
done

cat <<'END'

How the columns are obtained (times in ms, MB = 2^20 bytes):
  frame      the statistics line: WorldBegin to the image written.
  wall       the whole process drawing at full size, from the clock around it.
  parse      wall time of the same geometry read into an object definition that is
             never instanced (an empty world of 1 x 1 pixel), less the wall time of
             an empty scene (program start and exit): reading the text and keeping
             the numbers.
  build      ray tracer: frame time of the scene at 1 x 1 pixel less parse: the
             objects made and put in the tree (a PolySet with its own face tree).
  trace      ray tracer: frame time at full size less frame time at 1 x 1 (separate
             runs: a second world in the same process would also count, in its
             frame, the freeing of the first one's tree).
  draw/trace direct engine: frame time less parse (it draws each command as read);
             ray tracer: trace, as above.
  peak       maximum resident size of the full-size run (/usr/bin/time %M).
  data       the mesh as the renderer holds it: 12 bytes a vertex, 20 a quad.
  height     height of the ray tracer's tree (statistics line).
Parse, build, trace and draw are differences of measured times: on a loaded
machine they carry its noise (a few ms, or a few per cent of the larger time),
and a difference smaller than that can come out near zero or negative.
END
