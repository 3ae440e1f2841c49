# Sourced by the benchmarks that run under Wine: a fresh prefix and home in a temporary folder
# (never the real ones), one wineserver kept for the whole run, all removed on exit.
#   wine_session NAME   sets $work (the temporary folder) and the Wine environment
wine_session() {
  work="$(mktemp -d "${TMPDIR:-/tmp}/$1-XXXXXX")"
  export WINEPREFIX="$work/prefix" HOME="$work/home" WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$WINEPREFIX"
  wineserver -p600 </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1
}
