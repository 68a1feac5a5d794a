#!/usr/bin/env bash
# The failures of the silent install and removal, each in a fresh prefix.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT

e2e_restart_scenarios "" ""

for program in HCLINE_Setup HCQVAUX_Setup; do
  e2e_scenario "$program.exe missing from the package"
  setup=$(e2e_copy_setup "no-$program")
  perl "$E2E_PE" rename "$setup" "$program.exe" "$program.off"
  # Silent: a box would hold the run until the timeout. The box that a run
  # with a window shows is checked in tests/window/interactive.sh.
  E2E_TIMEOUT=120 e2e_setup "$setup" -i -h
  e2e_equal "install exits with -605, without a message" -605 "$E2E_RESULT"
  expected=""
  [ "$program" = HCQVAUX_Setup ] && expected="HCLINE_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN"
  e2e_equal "driver setup programs run before it" "$expected" "$(e2e_log | grep '_Setup')"
  e2e_check_nothing_after_drivers
  e2e_scenario_end
done

e2e_damage_scenarios ""
e2e_scenario_removal_line_driver_gone "" HCLINE_Setup.exe

e2e_finish
