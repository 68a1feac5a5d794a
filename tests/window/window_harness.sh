#!/usr/bin/env bash
# The installer window in a real window under Xvfb, driven by clicks and keys,
# with scripted procedures (qvwin_harness.exe): layout and pixels, the pressed
# look, the blinking progress panel, input while busy, the outcome boxes and
# the launch targets. Screenshots stay in $QV_BUILD_ROOT/window-shots.
set -u
. "$QV_SOURCE_DIR/tests/wine/lib.sh"
. "$QV_SOURCE_DIR/tests/window/lib.sh"

export TMPDIR=$QV_BUILD_ROOT/tmp-window
mkdir -p "$TMPDIR"
qvw_own_display || { echo "no X display" >&2; exit 1; }
qv_prefix_new || { echo "no Wine prefix" >&2; qvw_drop_display; exit 1; }
cleanup() {
  [ -n "${QVW_PID:-}" ] && kill "$QVW_PID" 2>/dev/null
  qv_prefix_drop
  qvw_drop_display
}
trap cleanup EXIT
qvw_setup_prefix || { echo "cannot set up the prefix" >&2; exit 1; }

H=$QVW_TOOLS/qvwin_harness.exe
LOG=$WINEPREFIX/drive_c/qvh.log
HEADER_URL=https://halcyra.example/qv
DONE_URL=https://halcyra.example/quorvane/thank-you-for-installing/
DONE_TEXT=$'Installation Complete and Successful !\n\nYOU MUST REBOOT your system to finalize installation'

log_has() { tr -d '\r' 2>/dev/null < "$LOG" | grep -qx "$1"; }
log_count() { tr -d '\r' 2>/dev/null < "$LOG" | grep -c "$1"; }
eq() { [ "$1" = "$2" ] || { echo "  got '$1', want '$2'" >&2; return 1; }; }
gt() { [ "$1" -gt "$2" ] || { echo "  got $1, want more than $2" >&2; return 1; }; }
fresh() { rm -f "$LOG" "$WINEPREFIX/drive_c/urls.txt"; unset QVH_PRODUCT QVH_OS QVH_STEP_MS QVH_INSTALL QVH_UNINSTALL QVH_LINGER_MS QVH_UNINSTALL_MS QVH_SHELL_HANG_MS; }
start() { qvw_start "$@"; qvw_wait_window || { echo "no window" >&2; return 1; }; }
# A loaded machine can take a while to end a Wine program: the wait is a bound, not a measure.
ends_with() { qvw_wait_exit $(($1 * 3)) && eq "$QVW_RC" "$2"; }

# --- Idle, product absent: layout, colours, OS label; edges, band and bitmap clicks.
fresh
start "$H"
qvw_shot idle-absent
IDLE_ABSENT=$SHOT
qvw_check "client area is 900 x 524" eq "$CW x $CH" "900 x 524"
qvw_check "band is white" eq "$(qvw_rgb 5 430)$(qvw_rgb 895 521)$(qvw_rgb 300 515)" FFFFFFFFFFFFFFFFFF
qvw_check "band line 1 in black" gt "$(qvw_count 20 454 420 472 000000)" 50
qvw_check "band line 2 in grey" gt "$(qvw_count 20 474 420 492 646464)" 50
qvw_check "button outline on its four edges" eq "$(qvw_rgb 580 474)$(qvw_rgb 880 474)$(qvw_rgb 730 444)$(qvw_rgb 730 504)" 000000000000000000000000
qvw_check "button white inside, band white outside" eq "$(qvw_rgb 584 449)$(qvw_rgb 578 474)$(qvw_rgb 882 474)" FFFFFFFFFFFFFFFFFF
qvw_check "button caption in black" gt "$(qvw_count 581 445 880 504 000000)" 100
qvw_check "OS label in white" gt "$(qvw_count 20 390 300 424 FFFFFF)" 30
qvw_check "OS label shadow in black" gt "$(qvw_count 21 391 300 424 000000)" 10
qvw_check "artwork drawn (bright product name)" gt "$(qvw_px luma "$SHOT" $((OX + 40)) $((OY + 90)) $((OX + 560)) $((OY + 160)))" 200
for edge in "580 474" "880 474" "730 444" "730 504"; do
  qvw_click $edge
done
qvw_click 100 500
sleep 1
qvw_check "clicks on the button's edges and the band do nothing" eq "$(log_count install)$(qvw_urls)" 0
qvwin_post() { qvw_probe post "$@"; }
qvwin_post 180 129
qvwin_post 165 100
qvwin_post 165 101
sleep 1
qvw_check "ID_STATUS 129, ID_AUTORUN 100, and 101 without switches do nothing" eq "$(log_count .)$(kill -0 $QVW_PID && echo alive)" 0alive
qvw_click 450 200
sleep 2
qvw_check "a click on the bitmap opens the header target" eq "$(qvw_urls)" "$HEADER_URL"
xdotool mousemove $((OX + 450)) $((OY + QVW_CLOSE_Y)) click --repeat 2 --delay 100 1
sleep 1
qvw_check "an idle window lets the session end" eq "$(qvw_probe queryend)" 1
qvw_check "a double click on the caption leaves the size alone (no maximize)" eq "$(qvw_probe client | cut -d' ' -f3-)" "900 524"
qvw_key Escape
qvw_check "Escape closes the idle window with 0" ends_with 10 0
qvw_check "closing went through PostDestroy" log_has destroy

# --- Product present: the other texts; Enter removes on the window thread.
fresh
export QVH_PRODUCT=1 QVH_OS=2
start "$H"
qvw_shot idle-present
qvw_check "button reads otherwise when the product is present" gt "$(qvw_px diff "$IDLE_ABSENT" "$SHOT" $((OX + 581)) $((OY + 445)) $((OX + 880)) $((OY + 504)))" 100
qvw_check "band line 1 otherwise" gt "$(qvw_px diff "$IDLE_ABSENT" "$SHOT" $((OX + 20)) $((OY + 454)) $((OX + 420)) $((OY + 472)))" 100
qvw_check "band line 2 still grey" gt "$(qvw_count 20 474 520 492 646464)" 50
qvw_check "OS label otherwise (unknown)" gt "$(qvw_px diff "$IDLE_ABSENT" "$SHOT" $((OX + 20)) $((OY + 390)) $((OX + 300)) $((OY + 424)))" 20
qvw_key Return
qvw_check "Enter runs the removal and closes with 0" ends_with 10 0
qvw_check "removal ran, then PostDestroy" eq "$(tr -d '\r' < "$LOG" | tr '\n' ' ')" "uninstall 0 destroy exit 0 "

# --- The pressed look, held while "Failed to launch Procedure..." is up.
fresh
export QVH_INSTALL=nothread
start "$H"
qvw_click 730 474
qvw_check "launch failure box" qvw_wait_box "Quorvane Installation Error" 10
qvw_shot pressed
qvw_check "pressed look: black button" eq "$(qvw_rgb 584 449)$(qvw_rgb 875 500)" 000000000000
qvw_check "pressed look: white caption" gt "$(qvw_count 581 445 880 504 FFFFFF)" 100
qvw_check "launch failure text, system-modal, owned by the window" eq "$(qvw_box_text "Quorvane Installation Error")" \
  $'Failed to launch Procedure...\ntopmost\nowner HCQuorvane0Installer0MainWindow0'
qvw_box_key "Quorvane Installation Error" Return
qvw_check "window closes after the launch failure" ends_with 10 0

# --- An install started by Enter: the blinking panel, input ignored while busy,
# a repaint while busy, then the done target and the reboot notice.
fresh
export QVH_STEP_MS=3000
start "$H"
qvw_key Return
sleep 1.2
qvw_burst installing 6
qvw_close_box
qvw_key Escape
qvw_click 730 474
qvw_click 450 200
qvwin_post 165 101
qvw_probe destroy
qvwin_post 180 128
sleep 1
# A stray outcome from another program would open the done target at once.
qvw_check "close box, Escape, clicks, ID_AUTORUN, WM_DESTROY and a stray outcome ignored while busy" \
  eq "$(log_count install)$(log_count destroy)$(log_count exit)$(qvw_urls)" 100
qvw_check "the end of the session is refused while the worker is busy" eq "$(qvw_probe queryend)" 0
repainted=0
for attempt in 1 2 3; do
  sleep 0.6
  qvw_probe invalidate
  qvw_shot repaint-busy
  [ "$(qvw_rgb 584 449)" = FFFFFF ] && { repainted=1; break; }
done
qvw_check "a repaint while busy draws the normal button" eq "$repainted" 1
sleep 1
qvw_shot repaint-busy-after
qvw_check "the next tick covers it with the panel" eq "$(qvw_rgb 584 449)" 000000
# The burst, looked at now that the busy checks are done.
shown=0 hidden=0 status_ok=1
for i in 1 2 3 4 5 6; do
  SHOT=$QVW_SHOTS/installing-$i.png
  lit=$(qvw_count 580 444 880 480 FFFFFF)
  status=$(qvw_count 581 486 880 504 FFFFFF)
  [ "$lit" -gt 100 ] && shown=$((shown + 1)) && cp "$SHOT" "$QVW_SHOTS/installing.png"
  [ "$lit" -lt 20 ] && hidden=$((hidden + 1))
  [ "$status" -gt 20 ] || status_ok=0
done
qvw_check "Installing blinks (shown and hidden)" eq "$([ $shown -gt 0 ] && [ $hidden -gt 0 ] && echo yes)" yes
qvw_check "status text always under it" eq "$status_ok" 1
qvw_check "reboot notice" qvw_wait_box "REBOOT YOUR SYSTEM" 20
qvw_shot done
qvw_check "done target opened before the notice" eq "$(qvw_urls)" "$DONE_URL"
qvw_check "reboot notice text, system-modal, owned by the window" eq "$(qvw_box_text "REBOOT YOUR SYSTEM")" \
  "$DONE_TEXT"$'\ntopmost\nowner HCQuorvane0Installer0MainWindow0'
qvwin_post 165 101
qvw_probe destroy
qvw_check "the notice stays up through ID_AUTORUN and WM_DESTROY" qvw_box_stays "REBOOT YOUR SYSTEM" 1
qvw_box_key "REBOOT YOUR SYSTEM" Return
qvw_check "window closes with 0 after the notice" ends_with 10 0
qvw_check "one worker, started without waiting" eq "$(tr -d '\r' < "$LOG" | grep -v '^exit' | tr '\n' ' ')" "install wait=0 worker-end 0 destroy "

# --- A failure reported by the worker, its box answered while the worker still runs.
fresh
export QVH_INSTALL=failed QVH_STEP_MS=100 QVH_LINGER_MS=5000
start "$H"
qvw_click 730 474
qvw_check "failure box" qvw_wait_box "Quorvane Installation Error" 10
qvw_shot failed
qvw_check "failure text from the context, system-modal" eq "$(qvw_box_text "Quorvane Installation Error")" \
  $'Harness: scripted failure\ntopmost\nowner HCQuorvane0Installer0MainWindow0'
qvw_box_key "Quorvane Installation Error" Return
qvw_check "window closes after the failure, once the worker has ended" ends_with 10 0

# --- A worker that ends without a post leaves the window usable.
fresh
export QVH_INSTALL=silent QVH_STEP_MS=100
start "$H"
qvw_click 730 474
sleep 2
qvw_check "worker ended, window still open" eq "$(log_count worker-end)$(kill -0 $QVW_PID && echo alive)" 1alive
qvw_close_box
qvw_check "the close box works again" ends_with 10 0

# --- A desktop shell that answers the picture's target late, then nothing:
# neither the window nor the notice nor the exit waits for it.
fresh
export QVH_SHELL_HANG_MS=8000 QVH_STEP_MS=10
start "$H"
qvw_click 450 200
qvw_click 730 474
qvw_check "the notice comes while the shell hangs" qvw_wait_box "REBOOT YOUR SYSTEM" 15
qvw_check "  ...the header target reaches the late shell whole" \
  eval 'for i in $(seq 30); do [ -n "$(qvw_urls)" ] && break; sleep 0.5; done; eq "$(qvw_urls)" "$HEADER_URL"'
qvw_box_key "REBOOT YOUR SYSTEM" Return
qvw_check "  ...and the run ends though the shell never answers again" ends_with 3 0

# --- Without artwork the window keeps its size and paints.
fresh
start "$QVW_TOOLS/qvwin_harness_noart.exe"
qvw_shot no-artwork
qvw_check "fallback client area 900 x 524" eq "$CW x $CH" "900 x 524"
qvw_check "dark field where the bitmap would be" eq "$(qvw_rgb 450 100)" 000000
qvw_check "OS label still readable" gt "$(qvw_count 20 390 300 424 FFFFFF)" 30
qvw_check "band and button drawn" eq "$(qvw_rgb 5 430)$(qvw_rgb 580 474)" FFFFFF000000
qvw_close_box
qvw_check "closes with 0" ends_with 10 0

# --- Automatic runs: silent, the result as the exit code, chosen by presence.
HW=$(qvw_winpath "$H")
fresh
qvw_check "-i -h installs and quits with the worker's result" eq "$(qvw_probe run "$HW" -i -h)" 0
qvw_check "  ...having waited for the worker" log_has "install wait=1"
fresh
export QVH_INSTALL=failed QVH_STEP_MS=10
qvw_check "-i -h failing quits with -10 and shows nothing" eq "$(qvw_probe run "$HW" -i -h)" -10
fresh
export QVH_PRODUCT=1 QVH_UNINSTALL=-605
qvw_check "-i -h with the product present removes it" eq "$(qvw_probe run "$HW" -i -h)" -605
qvw_check "  ...through the removal" log_has "uninstall -605"
fresh
qvw_check "-u -h without the product runs nothing" eq "$(qvw_probe run "$HW" -u -h)" 0
qvw_check "  ...neither procedure" eq "$(log_count install)$(log_count uninstall)" 00
fresh
export QVH_PRODUCT=1 QVH_UNINSTALL_MS=6000
qvw_start "$H" -u -h
sleep 2
qvw_check "-u -h: the end of the session is refused during the removal" eval 'eq "$(qvw_probe queryend)" 0 && ends_with 10 0'

# --- An automatic run with a window: the outcome's box stays until answered,
# whatever is posted meanwhile; then the run ends with the action's result.
fresh
export QVH_INSTALL=failed QVH_STEP_MS=10
qvw_start "$QVW_TOOLS/qvwin_probe.exe" run "$HW" -i
qvw_check "-i without -h: the failure box" qvw_wait_box "Quorvane Installation Error" 20
qvwin_post 165 101
qvw_probe destroy
qvw_check "  ...stays up through ID_AUTORUN and WM_DESTROY" qvw_box_stays "Quorvane Installation Error" 1
qvw_box_key "Quorvane Installation Error" Return
qvw_check "  ...then the run ends with -10, as with -h" eval 'qvw_wait_exit 10 && eq "$(qvw_output)" -10'
qvw_check "  ...having run one install" eq "$(log_count install)" 1

echo "screenshots: $QVW_SHOTS"
echo "$QVW_PASS passed, $QVW_FAIL failed"
[ "$QVW_FAIL" -eq 0 ]
