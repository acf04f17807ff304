#!/bin/bash
# Imports every model of a folder (Debian's assimp-testmodels by default)
# with --fit and renders each scene written with the direct engine at 64x48.
# Every import must end with status 0 and a scene, or status 1 and exactly one
# line; every scene written must render with status 0. Prints the counts and
# every breach; status 1 when there is one, or when the folder is missing.
#
#   import_models.sh KXRENDER-IMPORT KXRENDER [FOLDER]
#
# Files that are not models are skipped by name: pictures, buffers, MTL and
# shader files, text (extensions png jpg jpeg tga bmp dds gif bin mtl txt md
# glsl vert frag material), and license and readme files.
set -u

if [ "${1:-}" = --one ]; then
    # One model, run from its own empty folder; prints one record:
    # model <TAB> import class <TAB> render status <TAB> render message
    # <TAB> MapLoad lines <TAB> texture warnings, each "reason;".
    import=$2 render=$3 tmp=$4 model=$5
    # Each program's address space, in KiB; "unlimited" for builds whose
    # sanitizer reserves more than any real limit allows.
    limit=${IMPORT_MODELS_MEMORY:-4000000}
    dir=$(mktemp -d "$tmp/m.XXXXXX") || exit 1
    cd "$dir" || exit 1
    (ulimit -v "$limit"; exec timeout 60 "$import" --fit "$model" >scene.kx 2>import.err)
    status=$?
    lines=$(wc -l <import.err)
    if [ $status = 0 ] && [ -s scene.kx ]; then
        class=imported
    elif [ $status = 1 ] && [ "$lines" = 1 ] && [ "$(wc -c <import.err)" -gt 0 ] && [ "$(tail -c1 import.err)" = "" ]; then
        class=refused
    else
        class="other(status $status, $lines lines)"
    fi
    rstatus=- message= maps=0
    if [ "$class" = imported ]; then
        {
            printf 'Format 64 48\nDisplay "out" "PNM" "rgb"\nCameraEye 2 2 3\nCameraAt 0 0 0\nCameraFOV 60\n'
            printf 'WorldBegin\nAmbientLight 1 1 1 1\n'
            cat scene.kx
            printf 'WorldEnd\n'
        } >render.kx
        (ulimit -v "$limit"; exec timeout 60 "$render" render.kx >render.out 2>render.err)
        rstatus=$?
        if [ $rstatus != 0 ]; then
            message=$(grep -m1 '^Error' render.err | sed 's/.* on line [0-9]*: //')
            [ -n "$message" ] || message="status $rstatus: $(head -c 200 render.err | tr '\n\t' '  ')"
        fi
        maps=$(grep -c '^MapLoad ' scene.kx)
    fi
    # The reason of each texture warning: what follows "left out: ", or the
    # older messages' own words.
    reasons=$(grep ': warning: ' import.err | grep -E 'texture ".*left out|texture stored inside|texture path longer' | sed -e 's/.*left out: //' \
        -e 's/.*texture stored inside the model left out.*/embedded/' \
        -e 's/.*texture path longer than.*/path too long/' -e 's/ ".*//' -e 's/ (.*//' | tr '\n' ';')
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$model" "$class" "$rstatus" "$message" "$maps" "$reasons"
    cd / && rm -rf "$dir"
    exit 0
fi

import=${1:?kxrender-import binary} render=${2:?kxrender binary} folder=${3:-/usr/share/assimp/models}
if [ ! -d "$folder" ]; then
    echo "FAIL: no test models in $folder: install the Debian package assimp-testmodels" \
         "(tools/install-deps.sh test)" >&2
    exit 1
fi
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT

find "$folder" -type f | LC_ALL=C sort | grep -v -i -E '\.(png|jpe?g|tga|bmp|dds|gif|bin|mtl|txt|md|glsl|vert|frag|material)$' |
    grep -v -i -E '/(license|readme)$' >"$tmp/models"
# The shell's own notes on a crashed child ("Segmentation fault") are left
# out: the record says it.
xargs -d '\n' -P2 -n1 "$0" --one "$import" "$render" "$tmp" <"$tmp/models" >"$tmp/records" 2>/dev/null
if [ "$(wc -l <"$tmp/records")" != "$(wc -l <"$tmp/models")" ]; then
    echo "FAIL: $(wc -l <"$tmp/models") models but $(wc -l <"$tmp/records") records" >&2
    exit 1
fi

# IMPORT_MODELS_RECORDS=FILE keeps the records: model, import, render
# status and message, MapLoad lines, texture warnings.
[ -n "${IMPORT_MODELS_RECORDS:-}" ] && cp "$tmp/records" "$IMPORT_MODELS_RECORDS"
awk -F'\t' '
    { models++ }
    $2 == "imported" { imported++ }
    $2 == "refused" { refused++ }
    $2 != "imported" && $2 != "refused" { other++; bad++; print "BREACH: " $1 ": import " $2 }
    $3 == "0" { rendered++; maps += $5 }
    $3 != "0" && $3 != "-" { failed[$4]++; bad++; print "BREACH: " $1 ": render: " $4 }
    { n = split($6, why, ";"); for (i = 1; i < n; i++) leftOut[why[i]]++ }
    END {
        printf "models %d, imported %d, refused %d, other %d, rendered %d, textures used %d\n",
               models, imported, refused, other, rendered, maps
        for (m in failed) printf "render failures: %d %s\n", failed[m], m
        for (w in leftOut) printf "textures left out: %d %s\n", leftOut[w], w
        if (models == 0) { print "FAIL: no models found"; exit 1 }
        exit bad > 0
    }' "$tmp/records"
