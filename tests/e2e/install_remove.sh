#!/usr/bin/env bash
# Silent install of the whole product, removal through the uninstaller copy
# (some files marked read-only) and the restart that finishes it, a second
# removal that finds nothing, "-i" with the product present, a removal with a
# folder link inside, and a reinstall before the restart.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT

copy_win="$E2E_FOLDER_WIN\\QuorvaneSetup.exe"

e2e_scenario "silent install, then removal with the uninstaller copy"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_check_installed
# The x86_64 setup program is no WOW64 process: the plain names run, and the
# in-process registration loads the three ASIO DLLs of the folder.
e2e_equal "driver setup programs started with the exact command lines, in order" \
  "HCLINE_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN
HCQVAUX_Setup.exe [-h -i -H -n] in $E2E_FOLDER_WIN" \
  "$(e2e_log | grep '_Setup')"
e2e_equal "ASIO drivers registered in process, in order" \
  "hcqv_asiodriver
hcqvaux_asiodriver
hcqvins_asiodriver" "$(e2e_log | grep -i 'register' | grep -iv 'unregister' | cut -d' ' -f1)"
e2e_check "no 64-bit registration program on a 64-bit process" test -z "$(e2e_log | grep hcregsvr64)"

e2e_clear_log
qv_wine reg add "$E2E_USER_KEY" /v SysTray /t REG_DWORD /d 1 /f >/dev/null 2>&1
# Users and sync tools mark files read-only: the removal takes them all the same.
for f in QuorvaneSetup.exe readme.txt 'codec\hcmp3enc.dll'; do qv_wine attrib +r "$E2E_FOLDER_WIN\\$f"; done
# The entry's QuietUninstallString as written: the quoted copy, then its switches.
quiet=$(e2e_reg_value "$E2E_UNINSTALL_KEY" QuietUninstallString)
program=${quiet#\"} && program=${program%%\"*} && read -ra switches <<< "${quiet#\"$program\"}"
e2e_equal "the quiet removal runs the copy" "$copy_win" "$program"
e2e_run "$program" "${switches[@]}"
e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
e2e_equal "driver setup programs started for removal" \
  "HCLINE_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN
HCQVAUX_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN" \
  "$(e2e_log | grep '_Setup')"
e2e_equal "ASIO drivers unregistered" 3 "$(e2e_log | grep -ic 'unregister')"
e2e_check_left_for_restart
e2e_equal "SysTrayShowOnRun = 0" 0x0 "$(e2e_reg_value "$E2E_USER_KEY" SysTrayShowOnRun)"
e2e_equal "the install's values stay" 0x0 "$(e2e_reg_value "$E2E_USER_KEY" install)"
for programs in "$(e2e_user_programs)" "$(e2e_common_programs)"; do
  e2e_check "the Halcyra folder stays in $programs" test -d "$(e2e_unixpath "$programs\\Halcyra")"
done
e2e_check_removed
qv_wine wineboot -r >/dev/null 2>&1
e2e_check "the restart takes the copy and the folder" test ! -e "$(e2e_folder)"
e2e_scenario_end

e2e_scenario "-i with the product present removes it; a driver setup's broadcast holds up neither run"
# Sent to every window and waited for: a window that does not answer while it
# waits for the child would hang both for ever. Bounded, so a hang fails.
export QV_HCLINE_BROADCAST=1
E2E_TIMEOUT=60 e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_clear_log
E2E_TIMEOUT=60 e2e_setup "$E2E_SETUP" -i -h
e2e_equal "the second -i exits with 0" 0 "$E2E_RESULT"
e2e_equal "it ran the removal" \
  "HCLINE_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN
HCQVAUX_Setup.exe [-h -u -H] in $E2E_FOLDER_WIN" \
  "$(e2e_log | grep '_Setup')"
e2e_check "the product folder is gone (nothing ran from it)" test ! -e "$(e2e_folder)"
e2e_check "nothing scheduled for restart" eval '! e2e_reg_value "$E2E_SESSION_MANAGER" PendingFileRenameOperations >/dev/null'
e2e_check "the device is gone" eval '! e2e_device_present'
e2e_scenario_end

e2e_scenario_link_removal ""
e2e_scenario_reinstall_before_restart ""

e2e_finish
