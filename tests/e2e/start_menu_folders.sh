#!/usr/bin/env bash
# The shortcut sets follow the Start-menu folders that the system has.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT

e2e_scenario "no per-user \"Programs\" value: only the all-users shortcuts"
user_programs=$(e2e_user_programs)
common_programs=$(e2e_common_programs)
qv_wine reg delete "$E2E_SHELL_FOLDERS" /v Programs /f >/dev/null 2>&1
e2e_check "the value is gone" eval '! e2e_user_programs >/dev/null'
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_check_shortcuts "$user_programs" no
e2e_check_shortcuts "$common_programs" yes
e2e_check "the Uninstall entry is written" e2e_reg_key_exists "$E2E_UNINSTALL_KEY"
e2e_scenario_end

e2e_scenario "no all-users programs folder: only the per-user shortcuts"
common_programs=$(e2e_common_programs)
# Pointed at a drive that does not exist, the folder can be neither found nor made.
qv_wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v 'Common Programs' /t REG_SZ /d 'Q:\nowhere\Programs' /f >/dev/null 2>&1
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_check_shortcuts "$(e2e_user_programs)" yes
e2e_check_shortcuts "$common_programs" no
e2e_setup "$E2E_SETUP" -u -h
e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
e2e_check_shortcuts "$(e2e_user_programs)" no
e2e_scenario_end

e2e_scenario "no Startup folder: the removal deletes no autostart shortcut elsewhere"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
qv_wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v Startup /t REG_SZ /d 'Q:\nowhere\Startup' /f >/dev/null 2>&1
stray=$(e2e_unixpath 'C:\Quorvane (Halcyra).LNK')
echo keep > "$stray"
# From C:\, where a name joined to an empty folder would lead.
pushd "$WINEPREFIX/drive_c" >/dev/null
e2e_setup "$E2E_SETUP" -u -h
popd >/dev/null
e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
e2e_check "the shortcut of that name at the root of C: stays" test -f "$stray"
e2e_check "the product is removed all the same" eval '! e2e_reg_key_exists "$E2E_UNINSTALL_KEY"'
e2e_scenario_end

e2e_finish
