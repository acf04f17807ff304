#!/bin/bash
# The one list of Debian packages the project needs, by purpose, and the one
# place that installs them. Installs only what is missing.
#
#   tools/install-deps.sh GROUP...
#
# Groups:
#   program  build and run kxrender and its tools          (make demo)
#   test     build and run every test, windows under Xvfb  (make test)
#   bench    the micro-benchmarks and the timing scripts   (make bench)
#   fuzz     clang and libFuzzer                           (make fuzz)
#   cluster  Slurm and munge for a cluster on this machine (the farm tests,
#            tools/slurm-local.sh, tools/slurm-cluster.sh), Python for kxrender-farm
#   package  the Debian package and the check of its install
#            (make package, tools/check-install.sh)
#
# As root it runs apt-get itself, otherwise through sudo when sudo needs no
# password; where neither works it prints the apt-get line to run and exits 1.
set -euo pipefail

# The window libraries (freeglut, GL, X11) are not linked into kxrender but
# loaded when a scene first opens a window: their -dev packages give the
# headers the build needs and bring the run-time libraries with them.
packages_of() {
  case $1 in
    program) echo cmake make g++ pkg-config freeglut3-dev libgl1-mesa-dev libx11-dev libpng-dev \
                  libjpeg-dev libassimp-dev libstb-dev libosd-dev scdoc ;;
    test)    echo libgtest-dev xvfb xauth xdotool x11-apps assimp-testmodels groff-base python3 chromium ;;
    bench)   echo libbenchmark-dev time python3 ;;
    fuzz)    echo clang-14 libclang-rt-14-dev libfuzzer-14-dev ;;
    cluster) echo slurmctld slurmd slurm-client munge python3 ;;
    package) echo dpkg-dev file man-db ;;
    *) echo "install-deps: unknown group '$1' (program, test, bench, fuzz, cluster, package)" >&2; return 2 ;;
  esac
}

[ $# -gt 0 ] || { sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }

# munge's own set-up and daemon run as the munge user, which must be able to
# reach the root folder: a system made in a private temporary folder (mode
# 700, as mktemp makes them) gets the usual mode 755.
for group in "$@"; do
  if [ "$group" = cluster ] && [ "$(id -u)" = 0 ] && [ $(( 0$(stat -c %a /) & 1 )) = 0 ]; then
    echo "install-deps: the root folder is not searchable by other users (mode $(stat -c %a /)); setting 755"
    chmod 755 /
  fi
done

missing=()
for group in "$@"; do
  list=$(packages_of "$group") || exit 2
  for pkg in $list; do
    case " ${missing[*]-} " in *" $pkg "*) continue ;; esac
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$pkg")
  done
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" = 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo=(sudo)
else
  echo "install-deps: missing Debian packages; as root, run:" >&2
  echo "  apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { "${sudo[@]}" apt-get update -qq && \
       "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  tail -n 20 "$log" >&2
  echo "install-deps: apt-get failed; to retry by hand: apt-get install -y ${missing[*]}" >&2
  exit 1
fi
