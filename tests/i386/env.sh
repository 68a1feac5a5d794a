# Points tests/wine/lib.sh (and so the end-to-end helpers) at the i386 stage.
# Source it, then:
#   qv_i386_enter win64|win32   before sourcing lib.sh / lib-e2e.sh: prefixes from
#                               the stage's template, Wine inside the stage, one
#                               session for everything that follows
#   qv_i386_e2e_names           after sourcing lib-e2e.sh: the names the shipped
#                               program uses in that prefix
#   qv_i386_leave               end the session
# Needs a host display: DISPLAY, or the Wine fixture's (QV_WINE_STATE).

QV_I386_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

qv_i386_enter() {
  local arch=$1 stage=${QV_I386_STAGE:-/var/cache/qv-i386-stage} host_state state
  [ -f "$stage/templates/$arch/system.reg" ] || { echo "i386 stage: not built (tests/i386/stage setup)" >&2; return 1; }
  # The host's display (the Wine fixture's Xvfb) serves the stage too: /tmp is shared.
  host_state=${QV_WINE_STATE:-$QV_I386_DIR/../../build/wine}
  if [ -z "${DISPLAY:-}" ]; then
    [ -f "$host_state/display" ] || "$QV_I386_DIR/../wine/fixture" up >/dev/null || return 1
    DISPLAY=$(cat "$host_state/display")
  fi
  export DISPLAY
  state=${QV_I386_STATE:-${QV_BUILD_ROOT:-$QV_I386_DIR/../../build}/i386}/$arch
  mkdir -p "$state" || return 1
  # Per-process names: tests enter at the same time.
  ln -sfn "$stage/templates/$arch" "$state/template.$$" && mv -T "$state/template.$$" "$state/template" || return 1
  echo "$DISPLAY" > "$state/display.$$" && mv "$state/display.$$" "$state/display" || return 1
  export QV_WINE_STATE=$state QV_WINE_ARCH=$arch
  export QV_WINE64=$QV_I386_DIR/wine QV_WINESERVER=$QV_I386_DIR/wineserver
  # A 32-bit process in the 64-bit prefix runs under WoW64 (the environment tests check it).
  QV_EXPECT_WOW64=0
  [ "$arch" = win64 ] && QV_EXPECT_WOW64=1
  export QV_EXPECT_WOW64
  export QV_SETUP_EXE=${QV_SETUP_EXE:-${QV_DIST_DIR:-$QV_I386_DIR/../../dist}/QuorvaneSetup.exe}
  # One session: each prefix's wineserver then lives from one Wine call to the next.
  QV_I386_SESSION=$("$QV_I386_DIR/stage" session start) || return 1
  export QV_I386_SESSION
}

qv_i386_e2e_names() {
  E2E_SETUP=$QV_SETUP_EXE
  if [ "$QV_WINE_ARCH" = win64 ]; then
    # A WOW64 process: its Program Files and its HKLM\SOFTWARE are the 32-bit ones.
    E2E_FOLDER_WIN='C:\Program Files (x86)\HC\Quorvane'
    E2E_UNINSTALL_KEY=${E2E_UNINSTALL_KEY/'HKLM\SOFTWARE\'/'HKLM\SOFTWARE\Wow6432Node\'}
  else
    # The x86_64 helpers cannot run on 32-bit Windows.
    E2E_QVRUN=$QV_BUILD_ROOT/i686/tests/i386/qvrun.exe
    E2E_INSPECT=$QV_BUILD_ROOT/i686/tests/i386/qvinspect.exe
  fi
}

qv_i386_leave() {
  [ -n "${QV_I386_SESSION:-}" ] && "$QV_I386_DIR/stage" session stop "$QV_I386_SESSION"
  QV_I386_SESSION=
}
