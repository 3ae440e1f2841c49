#!/bin/sh
# render.sh SCDOC GZIP SOURCE OUTPUT: the manual SOURCE rendered by scdoc, gzipped into OUTPUT.
set -e
"$1" <"$3" >"$4.tmp"
"$2" -9n <"$4.tmp" >"$4"
rm -f "$4.tmp"
