# Helpers for driving the installer window under Xvfb (sourced after
# tests/wine/lib.sh and qv_prefix_new).
#
#   qvw_setup_prefix          Wine draws its own frames (close box clickable) and
#                             https addresses go to our recorder (C:\urls.txt)
#   qvw_start EXE ARGS        starts a window program in the background (QVW_PID);
#                             qvw_output is what it printed
#   qvw_wait_window           waits for the main window; sets OX OY (client origin)
#   qvw_shot NAME             screenshot to $QVW_SHOTS/NAME.png, path in SHOT
#   qvw_click X Y             left click at client coordinates
#   qvw_key KEY               focuses the main window (click on the band's empty
#                             left part) and types KEY
#   qvw_close_box             clicks the frame's close box
#   qvw_box_text CAPTION      text of a message box (probe), empty when none
#   qvw_box_stays CAPTION S   the box comes within S seconds and is still up later
#   qvw_box_key CAPTION KEY   focuses that message box and types KEY
#   qvw_box_reds CAPTION      strongly red pixels in that box: the error icon has
#                             some hundreds, the warning icon none
#   qvw_wait_exit SECONDS     waits for the program; exit status in QVW_RC
#   qvw_urls                  what the recorder was asked to open

QVW_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
QVW_TOOLS=${QVW_TOOLS:-$QV_BUILD_ROOT/x64/tests/window}
QVW_SHOTS=${QVW_SHOTS:-$QV_BUILD_ROOT/window-shots}
QVW_CLOSE_X=894   # close box, relative to the client origin (Wine's own frame)
QVW_CLOSE_Y=-11
mkdir -p "$QVW_SHOTS"

qvw_winpath() { echo "Z:${1//\//\\}"; }

# The reads (client, msgbox) say "none" when nothing of the kind is up: what
# gives nothing at all is Wine's failure, asked again (qv_wine_read). The
# other commands act, and run once.
qvw_probe() {
  local out
  case $1 in
    client|msgbox)
      out=$(qv_wine_read "$QVW_TOOLS/qvwin_probe.exe" "$@")
      [ -z "$out" ] || [ "$out" = none ] || printf '%s\n' "$out" ;;
    *) "$QV_WINE64" "$QVW_TOOLS/qvwin_probe.exe" "$@" 2>/dev/null | tr -d '\r' ;;
  esac
}

qvw_setup_prefix() {
  local rec
  rec=$(qvw_winpath "$QVW_TOOLS/qvwin_urlrec.exe")
  qv_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || return 1
  qv_wine reg add 'HKLM\Software\Classes\https\shell\open\command' /ve /d "\"$rec\" C:\\urls.txt \"%1\"" /f >/dev/null 2>&1 || return 1
  rm -f "$WINEPREFIX/drive_c/urls.txt"
}

qvw_start() {
  QVW_OUT=$(mktemp "${TMPDIR:-/tmp}/qvw-out.XXXXXX")
  "$QV_WINE64" "$@" > "$QVW_OUT" 2>/dev/null &
  QVW_PID=$!
}

# What the started program printed (the exit-code runner prints the full code).
qvw_output() { tr -d '\r' < "$QVW_OUT"; }

qvw_wait_window() {
  local geometry i
  for i in $(seq 60); do
    geometry=$(qvw_probe client)
    if [ -n "$geometry" ]; then
      sleep 0.7  # first paint
      # Read again: the window sizes itself while it is being made, and an
      # emulated program can be caught before it has.
      geometry=$(qvw_probe client)
      [ -n "$geometry" ] || continue
      set -- $geometry
      OX=$1 OY=$2 CW=$3 CH=$4
      # The first click into a new prefix's first window can be lost to
      # activation: spend it on the band's empty left corner, where a click
      # does nothing.
      qvw_click 5 $((CH - 3))
      sleep 0.3
      return 0
    fi
    sleep 0.5
  done
  return 1
}

qvw_shot() {
  SHOT=$QVW_SHOTS/$1.png
  xwd -root -display "$DISPLAY" | /usr/bin/convert xwd:- "png:$SHOT"
}

qvw_click() { xdotool mousemove $((OX + $1)) $((OY + $2)) click 1; }

qvw_key() {
  qvw_click 5 $((CH - 3))
  sleep 0.3
  xdotool key "$1"
}

qvw_close_box() { xdotool mousemove $((OX + QVW_CLOSE_X)) $((OY + QVW_CLOSE_Y)) click 1; }

qvw_box_text() { qvw_probe msgbox "$1"; }

# Waits up to SECONDS for a message box with CAPTION.
qvw_wait_box() {
  local i
  for i in $(seq $(($2 * 4))); do
    [ -n "$(qvw_box_text "$1")" ] && return 0
    sleep 0.25
  done
  return 1
}

# Nothing may take a box down behind the user's back: it is still there a
# while after it came.
qvw_box_stays() { qvw_wait_box "$1" "$2" && sleep 2 && [ -n "$(qvw_box_text "$1")" ]; }

qvw_box_key() {
  local id
  id=$(xdotool search --name "^$1\$" | head -1)
  [ -n "$id" ] || return 1
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove $((X + 20)) $((Y + 40)) click 1
  sleep 0.3
  xdotool key "$2"
}

qvw_box_reds() {
  local id X Y WIDTH HEIGHT SCREEN WINDOW
  id=$(xdotool search --name "^$1\$" | head -1)
  [ -n "$id" ] || { echo 0; return 1; }
  eval "$(xdotool getwindowgeometry --shell "$id")"
  qvw_shot box
  qvw_px reds "$SHOT" "$X" "$Y" $((X + WIDTH)) $((Y + HEIGHT))
}

qvw_wait_exit() {
  local i
  for i in $(seq $(($1 * 4))); do
    if ! kill -0 "$QVW_PID" 2>/dev/null; then
      wait "$QVW_PID"
      QVW_RC=$?
      return 0
    fi
    sleep 0.25
  done
  return 1
}

qvw_urls() { tr -d '\r' 2>/dev/null < "$WINEPREFIX/drive_c/urls.txt"; }

# qvw_auto_failure_scenario TITLE (with lib-e2e.sh, on a display of our own):
# E2E_SETUP started with "-i" alone while the line driver's setup asks for a
# restart. The failure box stays until answered; only then does the run end,
# with the install's result, as with "-h".
qvw_auto_failure_scenario() {
  e2e_scenario "$1"
  qvw_setup_prefix
  export QV_HCLINE_EXIT=1
  qvw_start "$E2E_QVRUN" "$(e2e_winpath "$E2E_SETUP")" -i
  e2e_check "the failure box stays up" qvw_box_stays "Quorvane Installation Error" 180
  e2e_equal "with the restart text" "Cannot install Quorvane Package now...
You must RESTART your system and then relaunch setup program" "$(qvw_box_text "Quorvane Installation Error" | head -2)"
  e2e_check "the run waits for the answer" kill -0 "$QVW_PID"
  qvw_box_key "Quorvane Installation Error" Return
  e2e_check "the program ends once it is answered" qvw_wait_exit 60
  e2e_equal "with the install's result, -21, as with -h" -21 "$(qvw_output)"
  e2e_check_nothing_after_drivers
  e2e_scenario_end
}

# Checks: qvw_check DESCRIPTION COMMAND... counts passes and failures.
QVW_PASS=0
QVW_FAIL=0
qvw_check() {
  local what=$1
  shift
  if "$@"; then
    QVW_PASS=$((QVW_PASS + 1))
  else
    QVW_FAIL=$((QVW_FAIL + 1))
    echo "FAIL: $what" >&2
  fi
}

qvw_px() { python3 "$QVW_DIR/shot.py" "$@"; }
# Pixel colour at client coordinates of the current SHOT.
qvw_rgb() { qvw_px rgb "$SHOT" $((OX + $1)) $((OY + $2)); }
# Count of pixels of the given colours in a client box of the current SHOT.
qvw_count() {
  local x0=$1 y0=$2 x1=$3 y1=$4
  shift 4
  qvw_px count "$SHOT" $((OX + x0)) $((OY + y0)) $((OX + x1)) $((OY + y1)) "$@"
}

# qvw_burst NAME COUNT: COUNT screenshots in quick succession (a shot takes far
# less than a blink period), saved as NAME-1.png ... afterwards.
qvw_burst() {
  local i
  for i in $(seq "$2"); do
    xwd -root -display "$DISPLAY" > "$TMPDIR/burst-$i.xwd"
    sleep 0.15
  done
  for i in $(seq "$2"); do
    /usr/bin/convert "xwd:$TMPDIR/burst-$i.xwd" "png:$QVW_SHOTS/$1-$i.png"
    rm -f "$TMPDIR/burst-$i.xwd"
  done
}

# A display of our own for the whole script: windows of other tests on the
# shared display would take our clicks or cover our pixels.
qvw_own_display() {
  local ready i
  ready=$(mktemp "${TMPDIR:-/tmp}/qvw-display.XXXXXX") || return 1
  Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7> "$ready" > /dev/null 2>&1 &
  QVW_XVFB=$!
  for i in $(seq 100); do
    [ -s "$ready" ] && break
    sleep 0.1
  done
  [ -s "$ready" ] || { rm -f "$ready"; return 1; }
  export DISPLAY=":$(head -n1 "$ready")"
  rm -f "$ready"
}

qvw_drop_display() {
  [ -n "${QVW_XVFB:-}" ] && kill "$QVW_XVFB" 2>/dev/null
  QVW_XVFB=
}
