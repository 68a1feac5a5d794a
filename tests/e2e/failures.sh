#!/usr/bin/env bash
# The failures of the silent install and removal, each in a fresh prefix.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT

for driver in HCLINE HCQVAUX; do
  e2e_scenario "$driver driver setup program asks for a restart (exit code 1)"
  export "QV_${driver}_EXIT=1"
  e2e_setup "$E2E_SETUP" -i -h
  e2e_equal "install exits with -21" -21 "$E2E_RESULT"
  expected="HCLINE_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN"
  [ "$driver" = HCQVAUX ] && expected="$expected
HCQVAUX_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN"
  e2e_equal "driver setup programs run up to the one that asked" "$expected" "$(e2e_log | grep '_Setup')"
  e2e_equal "the extracted files stay" "" "$(e2e_missing_entries "$E2E_SETUP")"
  e2e_check_nothing_after_drivers
  e2e_scenario_end
done

for program in HCLINE_Setup HCQVAUX_Setup; do
  e2e_scenario "$program.exe missing from the package"
  setup=$(e2e_copy_setup "no-$program")
  perl "$E2E_PE" rename "$setup" "$program.exe" "$program.off"
  # Not silent, so that a post would show: a posted failure closes the window
  # through its message box, and the run then ends with 0, not -605.
  E2E_TIMEOUT=120 e2e_setup "$setup" -i
  e2e_equal "install exits with -605, without a message" -605 "$E2E_RESULT"
  expected=""
  [ "$program" = HCQVAUX_Setup ] && expected="HCLINE_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN"
  e2e_equal "driver setup programs run before it" "$expected" "$(e2e_log | grep '_Setup')"
  e2e_check_nothing_after_drivers
  e2e_scenario_end
done

e2e_scenario "a damaged record: one digest wrong"
setup=$(e2e_copy_setup digest)
perl "$E2E_PE" digest "$setup" Quorvane.exe
e2e_setup "$setup" -i -h
e2e_equal "install exits with -10" -10 "$E2E_RESULT"
e2e_equal "only the damaged entry is missing" "Quorvane.exe" "$(e2e_missing_entries "$setup")"
e2e_equal "no driver setup program ran" "" "$(e2e_log | grep '_Setup')"
e2e_check_nothing_after_drivers
e2e_scenario_end

e2e_scenario "a damaged entry: one stored byte flipped"
setup=$(e2e_copy_setup stored)
mapfile -t names < <(e2e_package_names "$setup")
damaged=10
perl "$E2E_PE" stored "$setup" "${names[$damaged]}"
e2e_setup "$setup" -i -h
e2e_equal "install exits with -10" -10 "$E2E_RESULT"
missing=$(e2e_missing_entries "$setup")
# The chain carries the damage to at most four more entries.
expected_max=$(printf '%s\n' "${names[@]:$damaged:5}")
e2e_check "the damaged entry is missing" grep -qxF "${names[$damaged]}" <<< "$missing"
e2e_check "only it and up to four after it are missing" \
  eval '[ -z "$(comm -23 <(sort <<< "$missing") <(sort <<< "$expected_max"))" ]'
e2e_equal "no driver setup program ran" "" "$(e2e_log | grep '_Setup')"
e2e_scenario_end

e2e_scenario "an unreadable package"
setup=$(e2e_copy_setup hidden)
perl "$E2E_PE" hide "$setup"
e2e_setup "$setup" -i -h
e2e_equal "install exits with -1" -1 "$E2E_RESULT"
e2e_check "no product folder" test ! -e "$(e2e_folder)"
e2e_scenario_end

e2e_scenario "removal with the line driver program unwritable and gone"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
folder=$(e2e_folder)
rm -f "$folder/HCLINE_Setup.exe"
# A folder in its place: the package entry cannot be written, nor run.
mkdir "$folder/HCLINE_Setup.exe"
e2e_clear_log
e2e_run "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -u -h
e2e_equal "removal exits with -605" -605 "$E2E_RESULT"
e2e_equal "no driver setup program ran" "" "$(e2e_log | grep '_Setup')"
e2e_equal "every other file stays" 53 "$(find "$folder" -type f | wc -l)"
e2e_check_shortcuts "$(e2e_user_programs)" yes
e2e_check_shortcuts "$(e2e_common_programs)" yes
e2e_check "the Uninstall entry stays" e2e_reg_key_exists "$E2E_UNINSTALL_KEY"
e2e_check "SysTray is not written" eval '! e2e_reg_value "$E2E_USER_KEY" SysTray >/dev/null'
e2e_check "the device stays" e2e_device_present
e2e_scenario_end

e2e_finish
