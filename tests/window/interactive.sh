#!/usr/bin/env bash
# The real setup program, interactively, by clicks and keys alone: a whole
# install (blinking panel while a driver setup takes a few seconds, the done
# target, the reboot notice) and then a whole removal from the window that the
# product's presence turns into "Remove" (the pressed button on screen while
# it runs). Before it, the failures whose box must stay until answered: "-i"
# with a window, a driver setup program that cannot be started (install and
# removal), a removal whose package cannot be read. Screenshots of each stage
# stay in $QV_BUILD_ROOT/window-shots (QVW_SHOTS).
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
. "$QV_SOURCE_DIR/tests/window/lib.sh"

export TMPDIR=$QV_BUILD_ROOT/tmp-window
mkdir -p "$TMPDIR"
e2e_setup_checks || exit 1
qvw_own_display || { echo "no X display" >&2; exit 1; }
cleanup() {
  [ -n "${QVW_PID:-}" ] && kill "$QVW_PID" 2>/dev/null
  qv_prefix_drop
  [ -n "$E2E_WORK" ] && rm -rf "$E2E_WORK"
  qvw_drop_display
}
trap cleanup EXIT
DONE_URL=https://halcyra.example/quorvane/thank-you-for-installing/

# Runs through the exit-code runner, so qvw_output is the full 32-bit code.
start_setup() {
  qvw_start "$E2E_QVRUN" "$1"
  qvw_wait_window
}
ended_with() { qvw_wait_exit "$1" && [ "$(qvw_output)" = "$2" ]; }
OWNED=$'topmost\nowner HCQuorvane0Installer0MainWindow0'

qvw_auto_failure_scenario "-i without -h, the line driver's setup asking for a restart"

e2e_scenario "a driver setup program that cannot be started, by the button and with -i"
qvw_setup_prefix
setup=$(e2e_copy_setup no-line)
perl "$E2E_PE" rename "$setup" HCLINE_Setup.exe HCLINE_Setup.off
e2e_check "window appears" start_setup "$(e2e_winpath "$setup")"
qvw_click 730 474
e2e_check "the install error box stays up" qvw_box_stays "Quorvane Installation Error" 60
e2e_check "  ...with the error icon" test "$(qvw_box_reds "Quorvane Installation Error")" -gt 200
e2e_equal "its text" "Driver setup program could not be started...
thanks to download official package at
https://www.halcyra.example.
$OWNED" "$(qvw_box_text "Quorvane Installation Error")"
qvw_box_key "Quorvane Installation Error" Return
e2e_check "the window closes once it is answered, with 0" ended_with 30 0
qvw_start "$E2E_QVRUN" "$(e2e_winpath "$setup")" -i
e2e_check "with -i: the box stays up too" qvw_box_stays "Quorvane Installation Error" 60
qvw_box_key "Quorvane Installation Error" Return
e2e_check "  ...then the run ends with -605, as with -h" ended_with 30 -605
e2e_equal "no driver setup program ran" "" "$(e2e_log | grep '_Setup')"
e2e_check_nothing_after_drivers
e2e_scenario_end

e2e_scenario "interactive install by clicks and keys"
qvw_setup_prefix
# The line driver's setup takes a while, so the panel blinks, and the close
# requests below come while it runs: an Escape that came once the install was
# done would answer the reboot notice.
export QV_HCLINE_DELAY_MS=8000
e2e_check "window appears" start_setup "$(e2e_winpath "$E2E_SETUP")"
qvw_shot stage-1-idle
e2e_equal "client area" "900 x 524" "$CW x $CH"
e2e_equal "button outline at (580, 444)-(880, 504)" 000000000000000000000000 \
  "$(qvw_rgb 580 474)$(qvw_rgb 880 474)$(qvw_rgb 730 444)$(qvw_rgb 730 504)"
qvw_click 730 474
sleep 1
qvw_burst stage-2-burst 8
qvw_close_box
qvw_key Escape
sleep 0.5
e2e_check "close requests are dropped while busy" kill -0 "$QVW_PID"
e2e_check "  ...which they were: the line driver's setup still runs" test -z "$(e2e_log | grep HCQVAUX)"
shown=0 hidden=0
for i in $(seq 8); do
  SHOT=$QVW_SHOTS/stage-2-burst-$i.png
  lit=$(qvw_count 580 444 880 480 FFFFFF)
  if [ "$lit" -gt 100 ] && [ $shown -eq 0 ]; then
    shown=1
    cp "$SHOT" "$QVW_SHOTS/stage-2-installing.png"
  fi
  [ "$lit" -lt 20 ] && [ "$(qvw_rgb 584 449)" = 000000 ] && hidden=1
  rm -f "$SHOT"
done
e2e_equal "the panel blinks \"Installing\" while the driver setup runs" 11 "$shown$hidden"
e2e_check "reboot notice" qvw_wait_box "REBOOT YOUR SYSTEM" 120
qvw_shot stage-3-done
e2e_equal "the done target was opened before the notice" "$DONE_URL" "$(qvw_urls)"
e2e_equal "the notice's text" "Installation Complete and Successful !

YOU MUST REBOOT your system to finalize installation" "$(qvw_box_text "REBOOT YOUR SYSTEM" | head -3)"
qvw_box_key "REBOOT YOUR SYSTEM" Return
e2e_check "the install ends with exit code 0" ended_with 30 0
e2e_equal "driver setup programs ran for the install" \
  "HCLINE_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN
HCQVAUX_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN" "$(e2e_log | grep '_Setup')"
e2e_check_installed

echo "== Remove, with a package that cannot be read"
e2e_clear_log
setup=$(e2e_copy_setup hidden)
perl "$E2E_PE" hide "$setup"
e2e_check "window appears" start_setup "$(e2e_winpath "$setup")"
qvw_click 730 474
e2e_check "the removal's error box stays up" qvw_box_stays "Quorvane Uninstallation Error" 60
e2e_equal "its text" "De-Installation package might be corrupted
thanks to download official package at
https://www.halcyra.example.
$OWNED" "$(qvw_box_text "Quorvane Uninstallation Error")"
qvw_box_key "Quorvane Uninstallation Error" Return
e2e_check "the window closes once it is answered, with 0" ended_with 30 0
e2e_equal "no driver setup program ran" "" "$(e2e_log)"
e2e_check "the Uninstall entry stays" e2e_reg_key_exists "$E2E_UNINSTALL_KEY"
e2e_check "the device stays" e2e_device_present
e2e_equal "every file stays" 54 "$(find "$(e2e_folder)" -type f | wc -l)"

echo "== Remove, with the line driver's setup program unable to start"
line_driver=$(e2e_folder)/HCLINE_Setup.exe
# A folder in its place: the package entry can be neither written nor run.
rm -f "$line_driver" && mkdir "$line_driver"
e2e_check "window appears" start_setup "$E2E_FOLDER_WIN\\QuorvaneSetup.exe"
qvw_click 730 474
e2e_check "the removal's error box stays up" qvw_box_stays "Quorvane Uninstallation Error" 60
e2e_equal "its text" "De-Installation driver setup program could not be started...
thanks to download official package at
https://www.halcyra.example.
$OWNED" "$(qvw_box_text "Quorvane Uninstallation Error")"
qvw_box_key "Quorvane Uninstallation Error" Return
e2e_check "the window closes once it is answered, with 0" ended_with 30 0
e2e_check "nothing was removed" eval '[ "$(find "$(e2e_folder)" -type f | wc -l)" = 53 ] && e2e_device_present'
rmdir "$line_driver"

echo "== interactive removal from the uninstaller copy"
# The removal holds the window thread while the line driver's setup takes a
# few seconds: the pressed button must be on screen meanwhile.
export QV_HCLINE_DELAY_MS=4000
e2e_clear_log
rm -f "$WINEPREFIX/drive_c/urls.txt"
e2e_check "window appears" start_setup "$E2E_FOLDER_WIN\\QuorvaneSetup.exe"
qvw_shot stage-4-remove-idle
e2e_check "band and button read otherwise with the product present" test \
  "$(qvw_px diff "$QVW_SHOTS/stage-1-idle.png" "$SHOT" $((OX + 20)) $((OY + 444)) $((OX + 880)) $((OY + 504)))" -gt 200
qvw_key Return
sleep 1.2
qvw_shot stage-4-remove-pressed
e2e_equal "the pressed button is on screen while the removal runs" "000000 yes" \
  "$(qvw_rgb 584 449) $([ "$(qvw_count 581 445 880 504 FFFFFF)" -gt 100 ] && echo yes)"
e2e_equal "the end of the session is refused during the driver's removal" 0 "$(qvw_probe queryend)"
e2e_check "  ...and the removal is still running" test -z "$(e2e_log | grep HCQVAUX)"
e2e_check "the removal's closing notice" qvw_wait_box "REBOOT YOUR SYSTEM" 120
e2e_equal "  ...which lets the session end" 1 "$(qvw_probe queryend)"
qvw_shot stage-5-removed
qvw_box_key "REBOOT YOUR SYSTEM" Return
e2e_check "the removal ends with exit code 0" ended_with 30 0
e2e_equal "driver setup programs ran for the removal" \
  "HCLINE_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN
HCQVAUX_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN" "$(e2e_log | grep '_Setup')"
e2e_check "the Uninstall entry is gone" eval '! e2e_reg_key_exists "$E2E_UNINSTALL_KEY"'
e2e_check "the device is gone" eval '! e2e_device_present'
for programs in "$(e2e_user_programs)" "$(e2e_common_programs)"; do
  e2e_check "no shortcut folder in $programs" test ! -e "$(e2e_unixpath "$programs\\Halcyra\\Quorvane")"
done
left=$(cd "$(e2e_folder)" 2>/dev/null && find . -type f | sort)
e2e_equal "only the running uninstaller copy is left in the folder" "./QuorvaneSetup.exe" "$left"
e2e_equal "no launch target opened by the removal" "" "$(qvw_urls)"
e2e_scenario_end

echo "screenshots: $QVW_SHOTS/stage-*.png"
e2e_finish
