#!/usr/bin/env bash
# The shipped 32-bit program, by clicks, in the i386 stage under WOW64 (run
# through in-stage win64): a whole interactive install on a display of its own,
# with screenshots in $QV_BUILD_ROOT/i386-shots, and "-i" with a window whose
# failure box must stay until answered.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
. "$QV_SOURCE_DIR/tests/i386/env.sh"
qv_i386_e2e_names
export QVW_SHOTS=$QV_BUILD_ROOT/i386-shots
. "$QV_SOURCE_DIR/tests/window/lib.sh"
e2e_setup_checks || exit 1

# Clicks and keys go to whatever window is on top: no other test's windows here.
exec 7> "$E2E_WORK/display"
Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 7>&-
for _ in $(seq 100); do [ -s "$E2E_WORK/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$E2E_WORK/display")
cleanup() {
  [ -n "${QVW_PID:-}" ] && kill "$QVW_PID" 2>/dev/null
  qv_prefix_drop
  kill "$xvfb" 2>/dev/null
  rm -rf "$E2E_WORK"
}
trap cleanup EXIT
rm -f "$QVW_SHOTS"/install-*.png

e2e_scenario "win64: interactive install of the shipped program by clicks"
qvw_setup_prefix
# A slow line driver setup keeps the progress panel up for a screenshot.
export QV_HCLINE_DELAY_MS=4000
qvw_start "$E2E_QVRUN" "$(e2e_winpath "$E2E_SETUP")"
e2e_check "the window appears" qvw_wait_window
qvw_shot install-1-idle
e2e_equal "client area" "900 x 524" "${CW:-} x ${CH:-}"
e2e_check "nothing ran before the click" test -z "$(e2e_log)"
# The action button's middle.
qvw_click 730 474
sleep 2
qvw_shot install-2-busy
e2e_check "the reboot notice after the install" qvw_wait_box "REBOOT YOUR SYSTEM" 180
qvw_shot install-3-done
qvw_box_key "REBOOT YOUR SYSTEM" Return
e2e_check "the program ends" qvw_wait_exit 60
e2e_equal "exit code 0" 0 "$(qvw_output)"
e2e_equal "WOW64: the _x64 driver setup programs, then 32-bit and 64-bit ASIO registration" \
  "HCLINE_Setup_x64.exe [-h -i -H -n] in $E2E_FOLDER_WIN
HCQVAUX_Setup_x64.exe [-h -i -H -n] in $E2E_FOLDER_WIN
hcqv_asiodriver register ok
hcqvaux_asiodriver register ok
hcqvins_asiodriver register ok
hcregsvr64 [ -f$E2E_FOLDER_WIN\\hcqv_asiodriver64.dll] in $E2E_FOLDER_WIN
hcqv_asiodriver64 register ok
hcregsvr64 [ -f$E2E_FOLDER_WIN\\hcqvaux_asiodriver64.dll] in $E2E_FOLDER_WIN
hcqvaux_asiodriver64 register ok
hcregsvr64 [ -f$E2E_FOLDER_WIN\\hcqvins_asiodriver64.dll] in $E2E_FOLDER_WIN
hcqvins_asiodriver64 register ok" "$(e2e_log)"
e2e_check_installed
e2e_scenario_end

qvw_auto_failure_scenario "win64: -i without -h, HCLINE_Setup_x64.exe asking for a restart"

echo "screenshots: $QVW_SHOTS/install-*.png"
e2e_finish
