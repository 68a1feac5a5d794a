# Shared by the Wine test scripts: a fresh prefix per test, copied from the
# template that `fixture up` made once for the run, and wine64 started the way
# that works on this machine (the `wine` wrapper tries the 32-bit loader).
#
#   . tests/wine/lib.sh
#   qv_prefix_new            # exports WINEPREFIX (a fresh copy of the template)
#   qv_wine prog.exe args    # runs it; returns Wine's exit status (low 8 bits only)
#   qv_wine_read prog.exe args  # what a reading tool printed, asked again when nothing
#   qv_prefix_drop           # stops the prefix's wineserver and deletes the prefix

QV_WINE64=${QV_WINE64:-/usr/lib/wine/wine64}
QV_WINESERVER=${QV_WINESERVER:-/usr/lib/wine/wineserver64}
QV_WINE_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
QV_WINE_STATE=${QV_WINE_STATE:-$QV_WINE_LIB_DIR/../../build/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# winemenubuilder would read every shortcut the setup program saves, racing the
# tests that read them, and write menu entries into the host user's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

qv_display() {
  # Wine makes no window, not even a hidden one, without an X display.
  if [ -z "${DISPLAY:-}" ] && [ -f "$QV_WINE_STATE/display" ]; then
    export DISPLAY=$(cat "$QV_WINE_STATE/display")
  fi
  if [ -z "${DISPLAY:-}" ]; then
    "$QV_WINE_LIB_DIR/fixture" up >/dev/null || return 1
    export DISPLAY=$(cat "$QV_WINE_STATE/display")
  fi
}

qv_template_ready() {
  [ -f "$QV_WINE_STATE/template/system.reg" ] || "$QV_WINE_LIB_DIR/fixture" up >/dev/null
}

qv_prefix_new() {
  qv_template_ready || return 1
  qv_display || return 1
  QV_PREFIX=$(mktemp -d "${TMPDIR:-/tmp}/qv-prefix.XXXXXX") || return 1
  cp -a "$QV_WINE_STATE/template/." "$QV_PREFIX/" || return 1
  export WINEPREFIX=$QV_PREFIX
}

qv_wine() {
  "$QV_WINE64" "$@"
}

# qv_wine_read PROGRAM ARGS: what a reading tool printed, carriage returns
# dropped. On a loaded machine Wine has been seen to start a program and give
# back nothing while what it was asked about stood unchanged: nothing (or a
# line starting "cannot ") is asked again, up to three times, a second apart.
# A wrong answer stays wrong. When every try gave nothing, the tool's exit
# status and last words go to stderr, so that a failing check says why.
qv_wine_read() {
  local out err status try
  err=$(mktemp "${TMPDIR:-/tmp}/qv-read.XXXXXX")
  for try in 1 2 3; do
    out=$("$QV_WINE64" "$@" 2>"$err" | tr -d '\r'; exit "${PIPESTATUS[0]}")
    status=$?
    case $out in ""|"cannot "*) [ $try = 3 ] || sleep 1 ;; *) break ;; esac
  done
  [ -n "$out" ] || echo "    (${1##*[\\/]} $2: nothing back, exit status $status; $(tail -n 3 "$err" | tr -d '\r' | tr '\n' ' '))" >&2
  rm -f "$err"
  [ -z "$out" ] || printf '%s\n' "$out"
}

qv_prefix_drop() {
  [ -n "${QV_PREFIX:-}" ] || return 0
  WINEPREFIX=$QV_PREFIX "$QV_WINESERVER" -k >/dev/null 2>&1
  WINEPREFIX=$QV_PREFIX "$QV_WINESERVER" -w >/dev/null 2>&1
  [ -n "${QV_KEEP_PREFIX:-}" ] || rm -rf "$QV_PREFIX"
  QV_PREFIX=
}
