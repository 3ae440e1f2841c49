#!/bin/sh
# Checks the catalogues against the code: every message the code marks (Tr, N_, AddFixed,
# AddFixedLine, AddFilledLine) has its translation in each po/LANG.po, and every message of a
# catalogue is still one the code marks, so that a text changed in the code cannot silently
# fall back to Russian nor a stale translation linger.
#   sh po/check.sh SOURCE_DIR WORK_DIR
set -eu
source_dir=$1
work=$2
mkdir -p "$work"
cd "$source_dir"
LC_ALL=C.UTF-8 xgettext --from-code=UTF-8 --language=C++ -k -kTr -kN_ -kAddFixed \
  -kAddFixedLine -kAddFilledLine --no-location --package-name=sweepwell \
  -o "$work/sweepwell.pot" cleaner/*.cpp loom/*.cpp support/*.cpp 2>"$work/xgettext.log" || {
  cat "$work/xgettext.log" >&2
  exit 1
}
status=0
for po in po/*.po; do
  # Each marked message is translated...
  if ! msgcmp "$po" "$work/sweepwell.pot"; then
    echo "$po: messages of the code without a translation (above)" >&2
    status=1
  fi
  # ...and each translated message is still marked in the code.
  if ! msgcmp --use-untranslated "$work/sweepwell.pot" "$po"; then
    echo "$po: translations of messages the code no longer has (above)" >&2
    status=1
  fi
  if ! msgfmt --check --statistics -o /dev/null "$po"; then status=1; fi
done
[ "$status" -eq 0 ] && echo "catalogues match the code"
exit "$status"
