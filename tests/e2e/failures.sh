#!/usr/bin/env bash
# The failures of the silent install and removal, damaged installations and
# killed runs, each in a fresh prefix.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
e2e_setup_checks || exit 1
small_drive=$E2E_WORK/small-drive
trap 'umount "$small_drive" 2>/dev/null; qv_prefix_drop' EXIT

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

removal_log="HCLINE_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN
HCQVAUX_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN"

e2e_scenario "the product folder deleted by hand, the driver still installed"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
rm -rf "$(e2e_folder)"
e2e_clear_log
e2e_setup "$E2E_SETUP" -u -h
e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
e2e_equal "the line driver's setup program, written again, ran" \
  "HCLINE_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN" "$(e2e_log | grep '_Setup')"
e2e_check "no product folder" test ! -e "$(e2e_folder)"
e2e_check_removed
e2e_scenario_end

e2e_scenario "the device gone while the product is installed: -u removes it"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
qv_wine "$(e2e_folder)/HCLINE_Setup.exe" -h -u -H
e2e_check "the device is gone" eval '! e2e_device_present'
e2e_clear_log
e2e_setup "$E2E_SETUP" -u -h
e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
e2e_equal "it ran the removal" "$removal_log" "$(e2e_log | grep '_Setup')"
e2e_check "no product folder" test ! -e "$(e2e_folder)"
e2e_check_removed
e2e_scenario_end

e2e_scenario_kill_install "" ""

install_log="HCLINE_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN
HCQVAUX_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN"

# Nothing stops the program between two registry writes: the kill is the state it leaves.
e2e_scenario "install killed while the Uninstall entry's values are written, then -i -h from the copy"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
qv_wine reg delete "$E2E_UNINSTALL_KEY" /v UninstallString /f >/dev/null 2>&1
e2e_clear_log
# The uninstaller copy is itself the file it would copy.
e2e_run "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -i -h
e2e_equal "the rerun exits with 0" 0 "$E2E_RESULT"
e2e_equal "it completed the install, not removed it" "$install_log" "$(e2e_log | grep '_Setup')"
e2e_check_installed
e2e_scenario_end

# A folder that takes the removal some seconds: user files beside the product's.
e2e_scenario "removal killed while it deletes the product folder, then one -u -h"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
presets=$(e2e_folder)/Presets
mkdir "$presets" && (cd "$presets" && seq -f 'preset%04g.qvp' 2000 | xargs touch)
e2e_kill_when '[ "$(ls "$presets" | wc -l)" -lt 1900 ]' "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -u -h
e2e_check "killed with the folder half deleted" test -n "$(ls "$presets")"
e2e_check "the Uninstall entry, deleted last, is still there" e2e_reg_key_exists "$E2E_UNINSTALL_KEY"
e2e_clear_log
e2e_run "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -u -h
e2e_equal "the rerun exits with 0" 0 "$E2E_RESULT"
e2e_equal "it ran the removal" "HCLINE_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN" "$(e2e_log | grep '_Setup')"
e2e_check_removed
# The killed run may have scheduled the running copy already: the restart, not the list, is what counts.
qv_wine wineboot -r >/dev/null 2>&1
e2e_check "the restart takes the rest of the folder" test ! -e "$(e2e_folder)"
e2e_scenario_end

e2e_scenario "a drive with room for the package but not for the uninstaller copy; the log says so, past a planted link"
mkdir -p "$small_drive"
if mount -t tmpfs -o size=1m tmpfs "$small_drive"; then
  ln -s "$small_drive" "$WINEPREFIX/dosdevices/p:"
  qv_wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /d 'P:\' /f >/dev/null 2>&1
  # The user's file, hard-linked at every name the log can take in the next minute.
  temp=$(e2e_unixpath "$(qv_wine cmd /c echo %TEMP% | tr -d '\r')")
  notes=$WINEPREFIX/drive_c/notes.txt && echo mine > "$notes" && now=$(date +%s)
  for s in $(seq 0 59); do ln "$notes" "$temp/$(date -d "@$((now + s))" '+Quorvane Setup %F %H.%M.%S.log')"; done
  e2e_setup "$E2E_SETUP" -i -h
  e2e_equal "install exits with -10" -10 "$E2E_RESULT"
  e2e_check "no Uninstall entry" eval '! e2e_reg_key_exists "$E2E_UNINSTALL_KEY"'
  e2e_equal "the package's files, and no part copy" 53 "$(find "$small_drive/HC/Quorvane" -type f | wc -l)"
  e2e_equal "the file linked at the log's name is untouched" mine "$(cat "$notes")"
  log=$(cat "$temp"/*' (2).log' 2>/dev/null | tr -d '\r')
  e2e_check "the log, at the next name, names the file, the reason and the exit code" eval \
    'grep -qE "^ +P:\\\\HC\\\\Quorvane\\\\QuorvaneSetup\.exe\.new: .+" <<< "$log" && grep -q " exit code -10$" <<< "$log"'
else
  e2e_bad "a small tmpfs could not be mounted (needs root)"
fi
e2e_scenario_end
umount "$small_drive" 2>/dev/null

e2e_scenario "the temporary folder is a link: no log is made through it"
elsewhere=$(e2e_unixpath 'C:\elsewhere') && mkdir -p "$elsewhere" && ln -s elsewhere "$WINEPREFIX/drive_c/linked-temp"
for v in TEMP TMP; do qv_wine reg add 'HKCU\Environment' /v $v /d 'C:\linked-temp' /f >/dev/null 2>&1; done
e2e_setup "$E2E_SETUP" -u -h
e2e_equal "nothing to remove: exits with 0" 0 "$E2E_RESULT"
e2e_equal "nothing where the link leads" "" "$(ls -A "$elsewhere")"
e2e_scenario_end

e2e_scenario "run from a folder outside the code page, renamed and replaced while it installs"
setup=$E2E_WORK/Łukasz/QuorvaneSetup.exe
mkdir -p "${setup%/*}" && cp "$E2E_SETUP" "$setup"
# Started by Wine from its Unix path: the exit-code runner takes ANSI command lines.
QV_HCLINE_DELAY_MS=3000 e2e_start_until "e2e_logged 'HCLINE_Setup.exe [-h -i -H -n]'" "$QV_WINE64" "$setup" -i -h
qv_wine cmd /c move "$(e2e_winpath "$setup")" "$(e2e_winpath "$setup").old" >/dev/null 2>&1
# It holds its file sharing delete: the rename goes through, and changes
# nothing read through the handle. Another file takes its path.
e2e_check "the running program is renamed" eval '[ ! -e "$setup" ] && [ -f "$setup.old" ]'
echo "not the setup program" > "$setup"
wait "$E2E_JOB"
e2e_equal "install exits with 0" 0 "$?"
e2e_check_installed
e2e_scenario_end

e2e_scenario "removal killed during HCQVAUX_Setup.exe, then one rerun"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_clear_log
# The rerun's own HCQVAUX_Setup.exe is as slow: the orphan, started first, ends first.
export QV_HCQVAUX_DELAY_MS=10000
e2e_kill_at "HCQVAUX_Setup.exe [-h -u -H]" "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -u -h
e2e_check "the killed removal left the Uninstall entry" e2e_reg_key_exists "$E2E_UNINSTALL_KEY"
e2e_check "and took the device" eval '! e2e_device_present'
e2e_check "the orphaned HCQVAUX_Setup.exe still runs" eval '! e2e_orphan_gone HCQVAUX_Setup.exe 0'
e2e_clear_log
e2e_run "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -u -h
e2e_equal "the rerun exits with 0" 0 "$E2E_RESULT"
e2e_equal "it ran the removal" "$removal_log" "$(e2e_log | grep '_Setup')"
e2e_check "the orphan has ended" e2e_orphan_gone HCQVAUX_Setup.exe 120
e2e_check_left_for_restart
unset QV_HCQVAUX_DELAY_MS
e2e_check_removed
e2e_scenario_end

e2e_finish
