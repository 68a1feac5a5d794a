#!/usr/bin/env bash
# The shortcut sets follow the Start-menu folders that the system has, whatever
# their names, and never a link that the user put there.
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

e2e_scenario "links in the per-user Start menu: nothing reached through them is deleted or written"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
menu=$(e2e_unixpath "$(e2e_user_programs)\\Halcyra")
victim=$(e2e_unixpath 'C:\Victim')
mkdir -p "$victim/kit" && echo a > "$victim/keep.txt" && echo b > "$victim/kit/snare.wav" && echo c > "$victim/Readme.LNK"
victim_files() { (cd "$victim" && find . | sort | tr '\n' ' '); }
before=$(victim_files)
# A host link stands in for a junction: Wine shows it as a reparse point.
rm -rf "$menu/Quorvane" && ln -s "$victim" "$menu/Quorvane"
e2e_setup "$E2E_SETUP" -u -h
e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
e2e_equal "C:\\Victim, linked as Halcyra\\Quorvane, keeps every file" "$before" "$(victim_files)"
rm "$menu/Quorvane" && rmdir "$menu" && ln -s "$victim" "$menu"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_equal "nothing is written into C:\\Victim, linked as Halcyra" "$before" "$(victim_files)"
e2e_check_shortcuts "$(e2e_common_programs)" yes
e2e_scenario_end

# Folders named outside code page 1252, which Wine takes for C.UTF-8 (and UTF-8
# for the host's file names and the arguments): each path names its own folder
# or none, never a look-alike ("Łukasz" -> "Lukasz").
export LANG=C.UTF-8 LC_ALL=C.UTF-8
user_shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
shell_folder() { qv_wine reg add "$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1; }
for home in 'C:\users\Łukasz' 'C:\users\李雷'; do
  downloads="$home\\Downloads"
  [ "$home" = 'C:\users\Łukasz' ] || downloads='C:\下载'
  e2e_scenario "the user's folders in $home, the setup program run from $downloads"
  E2E_USER_PROGRAMS="$home\\Start Menu\\Programs"
  startup="$E2E_USER_PROGRAMS\\Startup"
  # Wine's shell reads User Shell Folders; the setup program reads Shell Folders.
  shell_folder "$user_shell_folders" Programs "$E2E_USER_PROGRAMS"
  shell_folder "$E2E_SHELL_FOLDERS" Programs "$E2E_USER_PROGRAMS"
  shell_folder "$user_shell_folders" Startup "$startup"
  autostart=$(e2e_unixpath "$startup\\Quorvane (Halcyra).LNK")
  mkdir -p "$(e2e_unixpath "$startup")" "$(e2e_unixpath "$downloads")" && echo x > "$autostart"
  cp "$E2E_SETUP" "$(e2e_unixpath "$downloads")/"
  find "$WINEPREFIX" -type d | sort > "$E2E_WORK/folders"
  e2e_run "$downloads\\QuorvaneSetup.exe" -i -h
  e2e_equal "install exits with 0" 0 "$E2E_RESULT"
  e2e_check_installed
  e2e_equal "no folder made anywhere but the product's and the two Halcyra\\Quorvane" "" \
    "$(find "$WINEPREFIX" -type d | sort | comm -13 "$E2E_WORK/folders" - | grep -vF -e "$(e2e_unixpath 'C:\Program Files\HC')" \
      -e "$(e2e_unixpath "$E2E_USER_PROGRAMS\\Halcyra")" -e "$(e2e_unixpath "$(e2e_common_programs)\\Halcyra")")"
  uninstall=$(e2e_reg_value "$E2E_UNINSTALL_KEY" UninstallString)
  # The runner starts its arguments quoted where they hold blanks, as written.
  e2e_run "${uninstall//\"/}" -u -h
  e2e_equal "removal through the UninstallString exits with 0" 0 "$E2E_RESULT"
  e2e_check "the autostart shortcut in the real Startup folder is gone" test ! -e "$autostart"
  e2e_check_removed
  e2e_scenario_end
done
unset E2E_USER_PROGRAMS

e2e_finish
