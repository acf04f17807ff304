#!/bin/bash
# The Debian package as a user meets it (needs root, on Debian): builds it
# (make package), installs it with apt-get, then checks that
#   - every program of the package prints the build's version, which is the
#     package's version;
#   - every manual page of man/ is installed and `man` shows it;
#   - an example scene rendered by the installed kxrender gives the same
#     image bytes as the build's kxrender;
#   - so does a subdivision surface, which the installed kxrender refines
#     with the installed module (<libdir>/kxrender/kxrender-subdivide.so);
# and removes it with apt-get, checking that no file it installed is left.
#
#   tools/check-install.sh          (BUILD=folder to use another build folder)
#
# One line per check; a failure is one line "check-install: FAIL: ..." and
# exit status 1 (2 when it cannot run here). The package is removed again
# after a failure too.
set -uo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=${BUILD:-build}
scene=examples/gallery_textures.kx
programs="kxrender kxrender-import kxrender-assemble kxrender-farm"

fail() {
    echo "check-install: FAIL: $*" >&2
    exit 1
}
ok() { echo "check-install: ok: $*"; }

[ "$(id -u)" = 0 ] || { echo "check-install: needs root (apt-get install, apt-get remove)" >&2; exit 2; }
command -v dpkg >/dev/null && command -v apt-get >/dev/null \
    || { echo "check-install: needs Debian (dpkg, apt-get)" >&2; exit 2; }
if dpkg-query -W -f='${Status}' kxrender 2>/dev/null | grep -q ' installed$'; then
    echo "check-install: kxrender is installed already; apt-get remove kxrender first" >&2
    exit 2
fi

work=$(mktemp -d /tmp/kx-check-install.XXXXXX)
installed=0
cleanup() {
    if [ $installed = 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq kxrender >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# The package.
make package BUILD="$build" >"$work/package.log" 2>&1 \
    || { tail -n 20 "$work/package.log" >&2; fail "make package (log above)"; }
debs=("$build"/kxrender_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "make package left ${#debs[@]} packages in $build/: ${debs[*]}"
deb=${debs[0]}
version=$("$build/kxrender" --version | sed -n 's/^kxrender //p')
[ -n "$version" ] || fail "$build/kxrender --version printed no version"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] \
    || fail "the package's version $(dpkg-deb -f "$deb" Version) is not the build's $version"
ok "$deb: $(stat -c %s "$deb") bytes, version $version"
echo "check-install: Depends: $(dpkg-deb -f "$deb" Depends)"
echo "check-install: Recommends: $(dpkg-deb -f "$deb" Recommends)"

# Installed as a user installs it.
DEBIAN_FRONTEND=noninteractive apt-get install -y "./$deb" >"$work/install.log" 2>&1 \
    || { tail -n 20 "$work/install.log" >&2; fail "apt-get install ./$deb (log above)"; }
installed=1
dpkg -L kxrender | sort >"$work/files"
while read -r path; do
    [ -d "$path" ] || echo "$path"
done <"$work/files" >"$work/installed"
ok "installed: $(wc -l <"$work/installed") files"

for program in $programs; do
    path=$(command -v "$program") || fail "$program is not on the PATH after the install"
    grep -qx "$path" "$work/installed" || fail "$path is not a file of the package"
    out=$("$program" --version 2>&1)
    [ "$out" = "$program $version" ] || fail "$program --version printed '$out', not '$program $version'"
done
ok "$programs --version: $version"

# The manual pages: every page of man/, installed and shown by man.
command -v man >/dev/null || tools/install-deps.sh package >/dev/null || fail "cannot install man-db"
pages=0
for source in man/*.scd; do
    page=$(basename "$source" .scd)
    name=${page%.*}
    section=${page##*.}
    file=$(man -w "$section" "$name" 2>/dev/null)
    [ -n "$file" ] || fail "man $section $name: no such page installed"
    grep -qx "$file" "$work/installed" || fail "man $section $name shows $file, not a file of the package"
    LC_ALL=C.UTF-8 MANWIDTH=80 man -P cat "$section" "$name" >"$work/page" 2>"$work/page.err" \
        || fail "man $section $name: $(head -n 1 "$work/page.err")"
    [ -s "$work/page.err" ] && fail "man $section $name warns: $(head -n 1 "$work/page.err")"
    grep -qi "^NAME" "$work/page" || fail "man $section $name shows no NAME section"
    pages=$((pages + 1))
done
[ $pages -gt 0 ] || fail "no manual page in man/"
MANWIDTH=80 man -P cat kxrender 2>/dev/null | grep -q "kxrender" || fail "man kxrender shows nothing"
ok "man: $pages pages installed and shown ($(man -w kxrender))"

# The installed kxrender renders as the build's does.
mkdir "$work/installed-run" "$work/build-run"
(cd "$work/installed-run" && env -u DISPLAY /usr/bin/kxrender "$source_dir/$scene") >"$work/run.out" 2>&1 \
    || fail "/usr/bin/kxrender $scene: $(head -n 1 "$work/run.out")"
(cd "$work/build-run" && env -u DISPLAY "$source_dir/$build/kxrender" "$source_dir/$scene") >/dev/null 2>&1 \
    || fail "$build/kxrender $scene failed"
images=$(cd "$work/build-run" && ls)
[ -n "$images" ] || fail "$scene wrote no image"
[ "$(cd "$work/installed-run" && ls)" = "$images" ] \
    || fail "/usr/bin/kxrender wrote $(cd "$work/installed-run" && ls | tr '\n' ' ')not $images"
for image in $images; do
    cmp -s "$work/installed-run/$image" "$work/build-run/$image" \
        || fail "$image of /usr/bin/kxrender differs from that of $build/kxrender"
done
ok "$scene: /usr/bin/kxrender wrote $(echo $images) ($(cat "$work"/installed-run/* | wc -c) bytes), as $build/kxrender does"

# The subdivision module, installed and found by the installed kxrender.
module=$(grep '/kxrender/kxrender-subdivide\.so$' "$work/installed") || fail "the package has no kxrender-subdivide.so"
printf '%s\n' 'Display "cage" "PNM" "rgb"' 'Format 64 48' 'CameraEye 3 -4 2.5' 'CameraAt 0 0 0' 'CameraUp 0 0 1' \
    'WorldBegin' 'Subdivision "Catmull-Clark" "P" 8 6 0' '-1 -1 -1 1 -1 -1 1 1 -1 -1 1 -1 -1 -1 1 1 -1 1 1 1 1 -1 1 1' \
    '0 3 2 1 -1 4 5 6 7 -1 0 1 5 4 -1 1 2 6 5 -1 2 3 7 6 -1 3 0 4 7 -1' 'WorldEnd' >"$work/cage.kx"
mkdir "$work/cage-installed" "$work/cage-build"
(cd "$work/cage-installed" && /usr/bin/kxrender "$work/cage.kx") >"$work/cage.out" 2>&1 \
    || fail "/usr/bin/kxrender, a subdivision surface: $(head -n 1 "$work/cage.out")"
(cd "$work/cage-build" && "$source_dir/$build/kxrender" "$work/cage.kx") >/dev/null 2>&1 \
    || fail "$build/kxrender, a subdivision surface, failed"
cmp -s "$work/cage-installed/cage0000.ppm" "$work/cage-build/cage0000.ppm" \
    || fail "the subdivision surface of /usr/bin/kxrender differs from that of $build/kxrender"
ok "a subdivision surface: /usr/bin/kxrender refines it with $module, as $build/kxrender does"

# Removed, nothing left.
DEBIAN_FRONTEND=noninteractive apt-get remove -y kxrender >"$work/remove.log" 2>&1 \
    || { tail -n 20 "$work/remove.log" >&2; fail "apt-get remove kxrender (log above)"; }
installed=0
dpkg-query -W -f='${Status}' kxrender 2>/dev/null | grep -q ' installed$' && fail "kxrender is still installed"
left=$(while read -r path; do [ -e "$path" ] || [ -L "$path" ] && echo "$path"; done <"$work/installed")
[ -z "$left" ] || fail "apt-get remove left $(echo "$left" | wc -l) files: $(echo $left)"
ok "apt-get remove kxrender: none of the $(wc -l <"$work/installed") files is left"
echo "check-install: passed"
