#!/usr/bin/env bash
# The shipped 32-bit setup program, end to end, in the i386 stage (run through
# in-stage, which picks the prefix by QV_WINE_ARCH):
#   win64 - a WOW64 process: the "_x64" driver setup programs, the 32-bit ASIO
#           DLLs in process and then hcregsvr64.exe for the 64-bit ones, the
#           product under "Program Files (x86)", the Uninstall entry in the
#           32-bit registry view; install, removal, the failures, a folder
#           link in the product folder, a reinstall before the restart and a
#           killed install;
#   win32 - plain 32-bit Windows: the plain names, no 64-bit step; install and removal.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
. "$QV_SOURCE_DIR/tests/i386/env.sh"

arch=${QV_WINE_ARCH:?run through tests/i386/in-stage}
qv_i386_e2e_names
suffix=
[ "$arch" = win64 ] && suffix=_x64
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT
F=$E2E_FOLDER_WIN

# The stand-ins' whole log for an install (register) or a removal (unregister).
expected_log() {
  local mode=$1 action=$2 u="" d
  [ "$action" = unregister ] && u=" -u "
  printf '%s\n' "HCLINE_Setup$suffix.exe [$mode] in $F" "HCQVAUX_Setup$suffix.exe [$mode] in $F"
  for d in hcqv hcqvaux hcqvins; do printf '%s\n' "${d}_asiodriver $action ok"; done
  [ "$arch" = win64 ] || return 0
  for d in hcqv hcqvaux hcqvins; do
    printf '%s\n' "hcregsvr64 [$u -f$F\\${d}_asiodriver64.dll] in $F" "${d}_asiodriver64 $action ok"
  done
}

e2e_scenario "$arch: silent install, then removal with the uninstaller copy"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_check_installed
e2e_equal "driver setup programs and ASIO registration, exact command lines, in order" \
  "$(expected_log '-h -i -H -n' register)" "$(e2e_log)"

e2e_clear_log
qv_wine reg add "$E2E_USER_KEY" /v SysTray /t REG_DWORD /d 1 /f >/dev/null 2>&1
e2e_run "$F\\QuorvaneSetup.exe" -u -h
e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
e2e_equal "driver setup programs and ASIO unregistration, exact command lines, in order" \
  "$(expected_log '-h -u -H' unregister)" "$(e2e_log)"
e2e_check_left_for_restart
e2e_check_removed
e2e_scenario_end

if [ "$arch" = win64 ]; then
  e2e_restart_scenarios "$arch: " _x64

  e2e_scenario "$arch: HCLINE_Setup_x64.exe missing from the package"
  setup=$(e2e_copy_setup no-line)
  perl "$E2E_PE" rename "$setup" HCLINE_Setup_x64.exe HCLINE_Setup_x64.off
  e2e_setup "$setup" -i -h
  e2e_equal "install exits with -605" -605 "$E2E_RESULT"
  e2e_equal "no driver setup program ran" "" "$(e2e_log | grep '_Setup')"
  e2e_check_nothing_after_drivers
  e2e_scenario_end

  e2e_damage_scenarios "$arch: "
  e2e_scenario_removal_line_driver_gone "$arch: " HCLINE_Setup_x64.exe
  e2e_scenario_link_removal "$arch: "
  e2e_scenario_reinstall_before_restart "$arch: "
  # Emulated, the rerun needs longer before it writes the held program.
  E2E_ORPHAN_MS=60000 e2e_scenario_kill_install "$arch: " _x64
fi

e2e_finish
