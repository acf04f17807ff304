#!/bin/sh
# The house rules that a compiler does not check, over src/:
#  - the layers: a folder includes only from itself and from layers below it
#      core < display < interface < scene, surface < engines/* < shell
#    (folders of one rank do not include each other);
#  - no source file over 600 lines, nor any module of the farm's package
#    (tools/farm/kxfarm).
# Prints every breach and exits 1 when there is one.
#   tools/check-layers.sh [SRC_DIR]
src=${1:-$(dirname "$0")/../src}
cd "$src" || exit 2

rank() {
  case $1 in
    core) echo 0 ;;
    display) echo 1 ;;
    interface) echo 2 ;;
    scene | surface) echo 3 ;;
    engines/direct | engines/raytrace | engines/echo | engines/scan) echo 4 ;;
    shell) echo 5 ;;
    *) echo -1 ;;
  esac
}

# The folder (layer) a path under src/ belongs to.
layer() {
  case $1 in
    engines/*) echo "$1" | cut -d/ -f1-2 ;;
    *) echo "$1" | cut -d/ -f1 ;;
  esac
}

status=0
for file in $(find . -name '*.h' -o -name '*.cpp' -o -name '*.def' | sed 's|^\./||' | sort); do
  from=$(layer "$file")
  from_rank=$(rank "$from")
  if [ "$from_rank" -lt 0 ]; then
    echo "$file: in no layer (add its folder to tools/check-layers.sh)"
    status=1
    continue
  fi
  for included in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
    [ -f "$included" ] || continue  # a header beside the file, or not ours
    to=$(layer "$included")
    [ "$to" = "$from" ] && continue
    to_rank=$(rank "$to")
    if [ "$to_rank" -ge "$from_rank" ]; then
      echo "$file: includes $included ($to is not below $from)"
      status=1
    fi
  done
  lines=$(wc -l < "$file")
  if [ "$lines" -gt 600 ]; then
    echo "$file: $lines lines (at most 600: split it by job)"
    status=1
  fi
done
for file in ../tools/farm/kxfarm/*.py; do
  [ -f "$file" ] || continue
  lines=$(wc -l < "$file")
  if [ "$lines" -gt 600 ]; then
    echo "${file#../}: $lines lines (at most 600: split it by job)"
    status=1
  fi
done
exit $status
