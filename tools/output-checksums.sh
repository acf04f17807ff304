#!/bin/sh
# Renders scene files with a kxrender binary and prints one checksum line per
# scene over its standard output, standard error, exit status and every file
# it wrote. Two binaries that print the same lines render alike.
#   tools/output-checksums.sh BINARY SCENE...
# With THREADS=N in the environment each scene is first given
# 'OptionReal "Threads" N' for the engine it starts in and after every
# 'Engine "direct"' and 'Engine "raytrace"', on the same line, so that line
# numbers and the scene's own output stay as they were: the lines of a run
# with any N compare with those of a run without it.
set -u
bin=$(realpath "$1")
shift
for scene in "$@"; do
  path=$(realpath "$scene")
  work=$(mktemp -d)
  name=$(basename "$path")
  sum=$(cd "$work" && cp -r "$(dirname "$path")"/. . && ls -1 > .before &&
        if [ -n "${THREADS:-}" ]; then
          option="OptionReal \"Threads\" $THREADS"
          sed -e "1s/^/$option /" \
              -e "s/Engine \"direct\"/& $option/g" \
              -e "s/Engine \"raytrace\"/& $option/g" "$path" > .scene &&
          cp .scene "$name"
        fi &&
        { "$bin" "$name" > .stdout 2> .stderr; echo $? > .status; } &&
        ls -1 | grep -vxF -f .before > .written;
        { cat .stdout .stderr .status
          while read -r f; do echo "$f"; cat "$f"; done < .written; } | sha256sum | cut -c1-16)
  echo "$sum  $scene"
  rm -rf "$work"
done
