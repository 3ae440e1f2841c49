#!/bin/sh
# Checks the manuals and their translations:
#  - each translation keeps what the reader types or sees as it stands in the English page:
#    the examples (the ``` blocks) byte for byte, and the same options, script commands,
#    %VARIABLES% and environment variables, so that a page changed in English cannot go
#    stale in another language unnoticed;
#  - every rendered page (English and translated) has a NAME line that man-db's index reads,
#    and man formats it without a warning.
#   sh man/check.sh SOURCE_DIR/man BUILD_DIR/man LANG...
set -eu
sources=$1
built=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# The ``` blocks of a page, in order.
examples() { awk '/^```/ { inside = !inside; print "```"; next } inside' "$1"; }

# The English section titles, which a page names in bold where it refers to them (and which
# are translated).
grep -hE '^#+ ' "$sources"/*.scd | sed -E 's/^#+ (.*)$/*\1*/' >"$work/titles"

# What must not be translated: options (--name, /Name), script commands (cleaner.name),
# %NAME% and the environment variables in bold. One per line, sorted, each once.
names() {
  grep -oE -- '--[a-z][a-z-]*|(^|[ *(|])/[A-Z][A-Za-z]+|cleaner\.[a-z][a-z-]*|%[A-Za-z_()0-9]+%|\*[A-Z][A-Z0-9_]{2,}\*' "$1" |
    sed -E 's/^[ *(|]\//\//' | grep -vxF -f "$work/titles" | LC_ALL=C sort -u
}

# same EXTRACT MESSAGE: what EXTRACT draws from the English $page and from its $translated page
# must agree; otherwise MESSAGE and the difference go to standard error and the check fails.
same() {
  "$1" "$page" >"$work/en"
  "$1" "$translated" >"$work/tr"
  if ! diff -u "$work/en" "$work/tr" >"$work/diff"; then
    echo "$2" >&2
    cat "$work/diff" >&2
    status=1
  fi
}

for page in "$sources"/*.scd; do
  name=$(basename "$page" .scd)
  for language in "$@"; do
    translated="$sources/$language/$name.scd"
    if [ ! -f "$translated" ]; then
      echo "$language: $name has no translation" >&2
      status=1
      continue
    fi
    same examples "$language/$name: the examples differ from the English page:"
    same names "$language/$name: the names differ from the English page (- English, + $language):"
  done
done

for manual in "$built"/*.gz "$built"/*/*.gz; do
  [ -f "$manual" ] || continue
  if command -v lexgrog >/dev/null 2>&1 && ! lexgrog "$manual" >/dev/null 2>&1; then
    echo "$manual: no NAME line that man-db can index" >&2
    status=1
  fi
  if command -v man >/dev/null 2>&1; then
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$manual" >/dev/null 2>"$work/warnings" || true
    if [ -s "$work/warnings" ]; then
      echo "$manual: man reports:" >&2
      cat "$work/warnings" >&2
      status=1
    fi
  fi
done
[ "$status" -eq 0 ] && echo "manuals and translations match"
exit "$status"
