#!/bin/bash
# Runs the fuzz targets of a build (see fuzz/CMakeLists.txt).
#   fuzz/run.sh BUILD SECONDS [TARGET...]   fuzz each target for SECONDS
#   fuzz/run.sh --smoke BUILD SECONDS       replay every corpus file and
#                                           regression scene, then fuzz each
#                                           target for SECONDS
# Each target keeps its growing corpus in BUILD/fuzz-corpus/<target>; inputs
# that fail are written to BUILD/fuzz-artifacts/. The status is non-zero when
# any target found a crash, a hang, a leak or a sanitizer report. The scene
# targets' dictionary is made by the build, from the command list
# (BUILD/fuzz/kx.dict).
set -uo pipefail
cd "$(dirname "$0")/.."
smoke=0
if [ "${1:-}" = "--smoke" ]; then smoke=1; shift; fi
build=${1:?build folder}
seconds=${2:?seconds}
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(scene echo texture png jpeg import)

src=$(pwd)
mkdir -p "$build/fuzz-artifacts"
status=0
for t in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$t"
  case $t in
    texture) seeds=("$src/fuzz/corpus/texture" "$src/examples/textures"); dict=fuzz/texture.dict ;;
    png|jpeg|import) seeds=("$src/fuzz/corpus/$t"); dict=fuzz/$t.dict ;;
    *) seeds=("$src/fuzz/corpus/scene" "$src/tests/regression"); dict=$build/fuzz/kx.dict ;;
  esac
  [ "$t" = echo ] && seeds+=("$src/fuzz/corpus/echo")
  existing=()
  for s in "${seeds[@]}"; do [ -d "$s" ] && existing+=("$s"); done
  corpus="$build/fuzz-corpus/$t"
  mkdir -p "$corpus"
  options=(-timeout=1 -rss_limit_mb=2048 -max_len=16384 -close_fd_mask=3 -print_final_stats=1
           "-artifact_prefix=$build/fuzz-artifacts/$t-" "-dict=$dict")
  # The importer's child stops the library after 2 s of processor time.
  [ "$t" = import ] && options[0]=-timeout=10
  if [ $smoke = 1 ]; then
    # Every kept input must still run cleanly.
    echo "== fuzz_$t: replaying ${existing[*]}"
    "$bin" -runs=0 "${options[@]}" "${existing[@]}" 2>&1 | tail -n 3 || status=1
    # Slower machines get more room before an input counts as a hang.
    [ "$t" = import ] || options[0]=-timeout=5
  fi
  echo "== fuzz_$t: fuzzing for $seconds s"
  "$bin" -max_total_time="$seconds" "${options[@]}" "$corpus" "${existing[@]}" > "$build/fuzz-$t.log" 2>&1 ||
    status=1
  grep -E '^(stat::|Done|SUMMARY|==[0-9]+==ERROR)' "$build/fuzz-$t.log"
  grep -E '^#[0-9]+' "$build/fuzz-$t.log" | tail -n 1
done
if [ $status != 0 ]; then
  echo "fuzzing found failures; inputs in $build/fuzz-artifacts/" >&2
fi
exit $status
