#!/bin/sh
# The documents stay a front page and a set of pages that hold together:
#  - README.md has at most 300 lines;
#  - every relative link of README.md, CONTRIBUTING.md and docs/*.md (the
#    target of [text](target) or ![alt](target), outside fenced code blocks)
#    names a file or folder that exists, and a #heading in it names a
#    heading of that page (as the page's anchors are made: lower case,
#    punctuation dropped, spaces as '-').
# Prints every breach and exits 1 when there is one.
#   tools/check-docs.sh [SOURCE_DIR]
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

status=0
max=300
lines=$(wc -l < README.md)
if [ "$lines" -gt "$max" ]; then
  echo "README.md: $lines lines, more than $max (move the detail to a page under docs/)"
  status=1
fi

# The anchors of a Markdown page's headings, one a line.
anchors() {
  awk '
    /^```/ { fenced = !fenced; next }
    fenced || !/^#+ / { next }
    {
      sub(/^#+ +/, ""); s = tolower($0)
      gsub(/[^a-z0-9 _-]/, "", s); gsub(/ /, "-", s)
      if (seen[s]++) s = s "-" (seen[s] - 1)
      print s
    }' "$1"
}

# The link targets of a page: "LINE TARGET", one a line.
links() {
  awk '
    /^```/ { fenced = !fenced; next }
    fenced { next }
    {
      line = $0
      while (match(line, /\]\([^) ]+\)/)) {
        print NR, substr(line, RSTART + 2, RLENGTH - 3)
        line = substr(line, RSTART + RLENGTH)
      }
    }' "$1"
}

for page in README.md CONTRIBUTING.md docs/*.md; do
  [ -f "$page" ] || continue
  dir=$(dirname "$page")
  while read -r line target; do
    [ -n "$target" ] || continue
    case $target in
      http://* | https://* | mailto:*) continue ;;
    esac
    file=${target%%#*}
    anchor=
    case $target in *'#'*) anchor=${target#*#} ;; esac
    if [ -z "$file" ]; then
      path=$page
    else
      path=$file
      [ "$dir" = . ] || path=$dir/$file
      if [ ! -e "$path" ]; then
        echo "$page:$line: $target: no file $path"
        status=1
        continue
      fi
    fi
    if [ -n "$anchor" ]; then
      case $path in
        *.md)
          if ! anchors "$path" | grep -qxF -- "$anchor"; then
            echo "$page:$line: $target: no heading #$anchor in $path"
            status=1
          fi ;;
        *)
          echo "$page:$line: $target: #$anchor in a file that is no Markdown page"
          status=1 ;;
      esac
    fi
  done <<EOF
$(links "$page")
EOF
done
exit $status
