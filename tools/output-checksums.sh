#!/bin/sh
# Renders scene files with a kxrender binary and prints one checksum line per
# scene over its standard output, standard error, exit status and every file
# it wrote. Two binaries that print the same lines render alike.
#   tools/output-checksums.sh BINARY SCENE...
set -u
bin=$(realpath "$1")
shift
for scene in "$@"; do
  path=$(realpath "$scene")
  work=$(mktemp -d)
  sum=$(cd "$work" && cp -r "$(dirname "$path")"/. . && ls -1 > .before &&
        { "$bin" "$path" > .stdout 2> .stderr; echo $? > .status; } &&
        ls -1 | grep -vxF -f .before > .written;
        { cat .stdout .stderr .status
          while read -r f; do echo "$f"; cat "$f"; done < .written; } | sha256sum | cut -c1-16)
  echo "$sum  $scene"
  rm -rf "$work"
done
