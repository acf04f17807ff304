#!/bin/bash
# The manual pages as the build made them (<build>/man):
#   - every page renders without a word from groff (-ww: every warning),
#     typeset and on a terminal;
#   - kx(5) has one entry for each command of src/interface/commands.def,
#     no more, and each entry's "Where:" and "Engines:" lines say what the
#     command list and docs/engines.md say;
#   - the messages kxrender(1) lists are those of src/core/errors.h, letter
#     for letter;
#   - the example of kx(5) renders cleanly.
# The commands and messages come from the sources through the compiler, the
# entries from the generated roff, so neither side can be matched by
# rewording the other.
#
#   man_pages.sh MAN_DIR SOURCE_DIR CXX KXRENDER
set -uo pipefail

man_dir=$1 source=$2 cxx=$3
kxrender=$(cd "$(dirname "$4")" && pwd)/$(basename "$4")
pages="kxrender.1 kxrender-import.1 kxrender-assemble.1 kxrender-farm.1 kx.5"
failures=0
fail() {
  echo "man_pages: $*" >&2
  failures=$((failures + 1))
}

if ! command -v groff >/dev/null 2>&1; then
  echo "man_pages: groff is not installed (Debian groff-base; tools/install-deps.sh test installs it)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- every page renders without a warning ----
for page in $pages; do
  file=$man_dir/$page
  if [ ! -s "$file" ]; then
    fail "$file is missing or empty (the build makes it from man/$page.scd)"
    continue
  fi
  for device in ps utf8; do
    out=$(groff -man -ww -z -T"$device" "$file" 2>&1)
    [ -z "$out" ] || fail "groff -man -ww -z -T$device $page says:"$'\n'"$out"
  done
done
for scd in "$source"/man/*.scd; do
  page=$(basename "$scd" .scd)
  case " $pages " in *" $page "*) ;; *) fail "man/$page.scd is not one of the pages checked here" ;; esac
done

# ---- kx(5) against the command list and the engine table ----
# "<keyword> <context>" for every command, as the preprocessor reads the list.
printf '%s\n' '#define KX_COMMAND(k, c, d, g, p) kx_keyword k c' '#define KX_SPECIAL(k, c, d) kx_keyword k c' \
  '#include "interface/commands.def"' >"$work/keywords.cpp"
if ! "$cxx" -E -P -I"$source/src" "$work/keywords.cpp" >"$work/keywords.i" 2>"$work/cpp.err"; then
  cat "$work/cpp.err" >&2
  fail "the preprocessor could not read src/interface/commands.def"
fi
grep -o 'kx_keyword [A-Za-z]* [A-Za-z]*' "$work/keywords.i" | cut -d' ' -f2,3 | sort >"$work/commands"
[ "$(wc -l <"$work/commands")" -ge 60 ] || fail "only $(wc -l <"$work/commands") commands read from commands.def"

# kx(5)'s entries of the COMMANDS section: a line starting with the bold
# keyword, followed by the entry's indented text; "Where:" and "Engines:"
# lines are taken from the text up to the next entry. The output is
# "<keyword>\t<where line>\t<engines line>".
sed 's/\\&//g' "$man_dir/kx.5" | awk '
  /^\.SH/ { inside = ($0 ~ /^\.SH "?COMMANDS"?$/) }
  !inside { next }
  pending != "" && /^\.RS/ { flush(); name = pending; where = ""; engines = "" }
  { pending = "" }
  /^\\fB[A-Za-z]+\\fR/ { pending = substr($0, 4); sub(/\\fR.*/, "", pending) }
  /^Where: / { where = $0 }
  /^Engines: / { engines = $0 }
  function flush() { if (name != "") printf "%s\t%s\t%s\n", name, where, engines }
  END { flush() }
' >"$work/entries"

cut -f1 "$work/entries" | sort | uniq -d | while read -r name; do
  echo "man_pages: kx(5) has more than one entry for $name" >&2
  echo x >>"$work/duplicates"
done
[ -e "$work/duplicates" ] && failures=$((failures + 1))
comm -23 <(cut -d' ' -f1 "$work/commands") <(cut -f1 "$work/entries" | sort -u) >"$work/missing"
comm -13 <(cut -d' ' -f1 "$work/commands") <(cut -f1 "$work/entries" | sort -u) >"$work/extra"
[ -s "$work/missing" ] && fail "kx(5) has no entry for: $(tr '\n' ' ' <"$work/missing")"
[ -s "$work/extra" ] && fail "kx(5) has entries for what is no command of commands.def: $(tr '\n' ' ' <"$work/extra")"

# What each engine does, from the table of docs/engines.md ("A / B" rows
# name two commands).
awk -F'|' '/^\| `/ {
  for (i = 2; i <= 6; i++) { gsub(/^ +| +$/, "", $i); gsub(/`/, "", $i) }
  n = split($2, names, " / ")
  for (k = 1; k <= n; k++)
    printf "%s\tEngines: direct %s, raytrace %s, data convert %s, scan convert %s.\n", names[k], $3, $4, $5, $6
}' "$source/docs/engines.md" >"$work/engines"

# Each command's expected lines, then each entry held against them.
awk -F'\t' '
  BEGIN {
    place["Top"] = "top level"; place["OutsideWorld"] = "top level or frame"; place["InFrame"] = "frame"
    place["World"] = "world"; place["WorldNoObject"] = "world"; place["WorldOrObject"] = "world or definition"
    place["InObject"] = "definition"; place["NotTop"] = "any block"; place["Anywhere"] = "anywhere"
  }
  FILENAME == ARGV[1] { engines[$1] = $2; next }
  FILENAME == ARGV[2] { split($0, c, " "); context[c[1]] = c[2]; next }
  {
    name = $1
    if (!(name in context)) next
    if (!(context[name] in place)) {
      printf "man_pages: %s: the context %s has no wording here; add it to tests/tools/man_pages.sh\n", name, context[name]
      bad++
      next
    }
    where = "Where: " place[context[name]] "."
    if ($2 != where) {
      printf "man_pages: kx(5) %s: \"%s\", not \"%s\" (commands.def: %s)\n", name, $2, where, context[name]
      bad++
    }
    expected = (name in engines) ? engines[name] : "Engines: the program'"'"'s own, under every engine."
    if ($3 != expected) {
      printf "man_pages: kx(5) %s: \"%s\", not \"%s\" (docs/engines.md)\n", name, $3, expected
      bad++
    }
  }
  END { exit bad != 0 }
' "$work/engines" "$work/commands" "$work/entries" >&2 || failures=$((failures + 1))

# ---- kxrender(1)'s messages are the program's ----
cat >"$work/messages.cpp" <<'EOF'
#include <cstdio>

#include "core/errors.h"

int main() {
    for (int code = -1000; code <= 1000; ++code)
        if (const char* message = kx::ErrorMessage(code)) std::printf("%d: %s\n", code, message);
}
EOF
if "$cxx" -std=c++20 -I"$source/src" "$work/messages.cpp" -o "$work/messages" 2>"$work/cxx.err"; then
  "$work/messages" >"$work/messages.txt"
  sed 's/\\&//g' "$man_dir/kxrender.1" | sed -n 's/^\(-[0-9][0-9]*\): \\fI\(.*\)\\fR$/\1: \2/p' >"$work/listed"
  [ "$(wc -l <"$work/listed")" -ge 30 ] || fail "kxrender(1) lists $(wc -l <"$work/listed") messages, fewer than 30"
  [ -z "$(cut -d: -f1 "$work/listed" | sort | uniq -d)" ] || fail "kxrender(1) lists a code twice"
  while IFS= read -r line; do
    grep -qxF -- "$line" "$work/messages.txt" ||
      fail "kxrender(1) lists \"$line\"; the program says \"$(grep -- "^${line%%:*}: " "$work/messages.txt")\""
  done <"$work/listed"
else
  cat "$work/cxx.err" >&2
  fail "could not compile the message table of src/core/errors.h"
fi

# ---- the example of kx(5) renders ----
sed 's/\\&//g' "$man_dir/kx.5" | awk '/^\.SH "?EXAMPLE"?$/ { e = 1 } e && /^\.fi/ { exit } e && f && !/^\.RS/ { print } e && /^\.nf/ { f = 1 }' \
  >"$work/example.kx"
grep -q '^WorldEnd$' "$work/example.kx" || fail "no example scene found in the EXAMPLE section of kx(5)"
(cd "$work" && "$kxrender" example.kx >example.out 2>example.err)
status=$?
if [ $status -ne 0 ] || [ -s "$work/example.err" ] || [ ! -s "$work/ball0001.png" ]; then
  fail "kx(5)'s example: status $status, standard error: $(cat "$work/example.err"), ball0001.png $( [ -s "$work/ball0001.png" ] && echo written || echo missing)"
fi

if [ $failures -ne 0 ]; then
  echo "man_pages: $failures failures" >&2
  exit 1
fi
echo "man_pages: $(wc -w <<<"$pages") pages render cleanly; kx(5) has the $(wc -l <"$work/commands") commands"
