# Shared by the end-to-end scripts (and scripts/demo): the setup program run
# under wine64 with its full 32-bit exit code, and looks at what it left behind.
#
# Needs QV_SOURCE_DIR, QV_DIST_DIR and QV_BUILD_ROOT (ctest sets them).

. "$QV_SOURCE_DIR/tests/wine/lib.sh"

E2E_SETUP=${E2E_SETUP:-$QV_DIST_DIR/x64/QuorvaneSetup.exe}
E2E_QVRUN=$QV_BUILD_ROOT/x64/tools/qvrun.exe
E2E_INSPECT=$QV_BUILD_ROOT/x64/tests/qvinspect.exe
E2E_PE=$QV_SOURCE_DIR/tests/e2e/pe-package.pl

E2E_DEVICE_GUID='{3F9A2C64-7B18-4E5D-A2C7-91D05E3B6F48}'
E2E_FOLDER_WIN='C:\Program Files\HC\Quorvane'
E2E_UNINSTALL_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\HC:Quorvane {4C2E8B16-7305-2A91}'
E2E_USER_KEY='HKCU\Halcyra\QuorVane'
E2E_SHELL_FOLDERS='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
E2E_SESSION_MANAGER='HKLM\System\CurrentControlSet\Control\Session Manager'
E2E_SHORTCUTS=("Readme:readme.txt" "Line Driver Panel:HCLINE_ControlPanel.exe"
  "Aux Line Driver Panel:HCQVAUX_ControlPanel.exe" "Quorvane Bravora:QuorvanePro.exe"
  "Quick Keys:QuorvaneQuickKeys.exe" "Quorvane:Quorvane.exe")

E2E_FAILURES=0
E2E_WORK=

e2e_setup_checks() {
  local f
  for f in "$E2E_SETUP" "$E2E_QVRUN" "$E2E_INSPECT"; do
    [ -f "$f" ] || { echo "missing $f: build first (scripts/build)" >&2; return 1; }
  done
  E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX") || return 1
}

e2e_ok() { echo "  ok    $*"; }
e2e_bad() { echo "  FAIL  $*"; E2E_FAILURES=$((E2E_FAILURES + 1)); }

# e2e_check DESCRIPTION COMMAND...: passes when the command succeeds and
# counted no failure of its own (a query that could not tell, see e2e_ask).
e2e_check() {
  local what=$1 failures=$E2E_FAILURES
  shift
  if "$@" && [ "$E2E_FAILURES" = "$failures" ]; then e2e_ok "$what"; else e2e_bad "$what"; fi
}

# e2e_equal DESCRIPTION EXPECTED ACTUAL
e2e_equal() {
  if [ "$2" = "$3" ]; then
    e2e_ok "$1"
  else
    e2e_bad "$1"
    echo "        expected: $(printf '%q' "$2")"
    echo "        actual:   $(printf '%q' "$3")"
  fi
}

# The Windows form of a Unix path (Wine's Z: drive).
e2e_winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The Unix path of a path on the prefix's C: drive.
e2e_unixpath() {
  local p=${1#[Cc]:}
  printf '%s/drive_c%s' "$WINEPREFIX" "$(printf '%s' "$p" | tr '\\' /)"
}

e2e_folder() { e2e_unixpath "$E2E_FOLDER_WIN"; }

# e2e_scenario NAME: a fresh prefix, with the stand-ins' log in it.
e2e_scenario() {
  echo "== $1"
  qv_prefix_new || { e2e_bad "no Wine prefix"; return 1; }
  export QV_STANDIN_LOG='C:\qv-stand-ins.log'
  unset QV_HCLINE_EXIT QV_HCQVAUX_EXIT QV_HCLINE_DELAY_MS QV_HCQVAUX_DELAY_MS QV_HCLINE_BROADCAST QV_HCQVAUX_BROADCAST
}

e2e_scenario_end() { qv_prefix_drop; }

# e2e_run PROGRAM ARGS...: runs a Windows program (Windows path) through the
# exit-code runner; E2E_RESULT is its full exit code ("none" when it did not run).
e2e_run() {
  local out err
  err=$(mktemp "${TMPDIR:-/tmp}/qv-run.XXXXXX")
  out=$(timeout "${E2E_TIMEOUT:-600}" "$QV_WINE64" "$E2E_QVRUN" "$@" 2>"$err" | tr -d '\r')
  E2E_RESULT=${out:-none}
  # Why the runner gave no code: what it and the loader said last.
  [ -n "$out" ] || tail -n 5 "$err" | tr -d '\r' | sed 's/^/        /'
  rm -f "$err"
}

# e2e_setup EXE ARGS...: the setup program (Unix path) through the runner.
e2e_setup() {
  local exe=$1
  shift
  e2e_run "$(e2e_winpath "$exe")" "$@"
}

# The lines the stand-ins logged, without carriage returns.
e2e_log() {
  local log
  log=$(e2e_unixpath 'C:\qv-stand-ins.log')
  [ -f "$log" ] && tr -d '\r' < "$log"
  return 0
}

e2e_clear_log() { rm -f "$(e2e_unixpath 'C:\qv-stand-ins.log')"; }

# e2e_reg_query KEY [/v NAME]: reg.exe's answer in E2E_REG_OUT ("Unable to
# find" for what is missing). Nothing back at all is a failure of its own,
# status 2, so that a negated query fails too.
e2e_reg_query() {
  E2E_REG_OUT=$(qv_wine_read reg query "$@")
  [ -n "$E2E_REG_OUT" ] && return 0
  e2e_bad "could not tell what $1 holds"
  return 2
}

# e2e_reg_value KEY NAME: the data of a value as reg.exe prints it; fails when missing.
e2e_reg_value() {
  e2e_reg_query "$1" /v "$2" || return 2
  printf '%s\n' "$E2E_REG_OUT" | sed -n "s/^    $2    REG_[A-Z_]*    //p" | head -n1
  printf '%s\n' "$E2E_REG_OUT" | grep -q "^    $2    REG_"
}

e2e_reg_key_exists() { e2e_reg_query "$1" || return 2; [[ $E2E_REG_OUT != *"Unable to find"* ]]; }

# The per-user Start-menu programs folder (Windows path), from the registry, or
# E2E_USER_PROGRAMS where a scenario set one that reg.exe would print through
# the console code page ("?" for what that lacks).
e2e_user_programs() {
  if [ -n "${E2E_USER_PROGRAMS:-}" ]; then printf '%s\n' "$E2E_USER_PROGRAMS"; else e2e_reg_value "$E2E_SHELL_FOLDERS" Programs; fi
}
E2E_COMMON_FOLDERS='HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
e2e_common_programs() { e2e_reg_value "$E2E_COMMON_FOLDERS" 'Common Programs'; }

# e2e_ask QUESTION NO PROGRAM ARGS...: a Windows program's yes (exit status 0)
# or no (1, and it printed just NO: Wine gives 1 also for a program it cannot
# start). Anything else is a failure of its own and returns 2, so that a
# negated query (eval '! e2e_device_present') fails too.
e2e_ask() {
  local question=$1 no=$2 out status
  shift 2
  out=$(qv_wine "$@" 2>/dev/null)
  status=$?
  [ $status = 0 ] && return 0
  [ $status = 1 ] && [ "${out%$'\r'}" = "$no" ] && return 1
  e2e_bad "could not tell $question (exit status $status)"
  return 2
}

e2e_device_present() { e2e_ask "whether the device is present" none "$E2E_INSPECT" device "$E2E_DEVICE_GUID"; }

# e2e_link FILE.LNK (Windows path): "target<TAB>working folder<TAB>description".
e2e_link() { qv_wine_read "$E2E_INSPECT" link "$1"; }

# The package's 53 entry names (Windows separators).
e2e_package_names() { perl "$E2E_PE" names "$1"; }

# e2e_copy_setup NAME: a copy of the setup program to damage; prints its path.
e2e_copy_setup() {
  mkdir -p "$E2E_WORK/$1"
  cp "$E2E_SETUP" "$E2E_WORK/$1/QuorvaneSetup.exe"
  printf '%s' "$E2E_WORK/$1/QuorvaneSetup.exe"
}

# e2e_check_shortcuts PROGRAMS_FOLDER(Windows) yes|no
e2e_check_shortcuts() {
  local programs=$1 want=$2 row name target folder line
  folder="$programs\\Halcyra\\Quorvane"
  if [ "$want" = no ]; then
    e2e_check "no shortcut folder in $programs" test ! -e "$(e2e_unixpath "$folder")"
    return
  fi
  local good=0
  for row in "${E2E_SHORTCUTS[@]}"; do
    name=${row%%:*}
    target=${row#*:}
    line=$(e2e_link "$folder\\$name.LNK")
    if [ "$line" = "$E2E_FOLDER_WIN\\$target	$E2E_FOLDER_WIN	$name" ] &&
       [ -f "$(e2e_unixpath "$E2E_FOLDER_WIN\\$target")" ]; then
      good=$((good + 1))
    else
      echo "        $name.LNK: $(printf '%q' "$line")"
    fi
  done
  e2e_equal "six shortcuts in $folder pointing at existing files" 6 "$good"
  e2e_equal "nothing else in $folder" 6 "$(find "$(e2e_unixpath "$folder")" -mindepth 1 | wc -l)"
}

# After an install stopped by a driver setup program: no per-user values, no
# Uninstall entry, no shortcuts, no uninstaller copy, no ASIO registration.
e2e_check_nothing_after_drivers() {
  e2e_check "no per-user values" eval '! e2e_reg_key_exists "$E2E_USER_KEY"'
  e2e_check "no Uninstall entry" eval '! e2e_reg_key_exists "$E2E_UNINSTALL_KEY"'
  e2e_check_shortcuts "$(e2e_user_programs)" no
  e2e_check_shortcuts "$(e2e_common_programs)" no
  e2e_check "no uninstaller copy" test ! -e "$(e2e_folder)/QuorvaneSetup.exe"
  e2e_check "no ASIO registration" test -z "$(e2e_log | grep -i asiodriver)"
}

# Every package entry is in the product folder; prints the names that are
# not, or why the package could not be read.
e2e_missing_entries() {
  local exe=$1 names name
  names=$(e2e_package_names "$exe") && [ -n "$names" ] || { echo "(cannot read the package of $exe)"; return 1; }
  while IFS= read -r name; do
    [ -f "$(e2e_folder)/$(printf '%s' "$name" | tr '\\' /)" ] || printf '%s\n' "$name"
  done <<< "$names"
}

# Everything a complete install leaves, by the setup program E2E_SETUP.
e2e_check_installed() {
  local folder v
  folder=$(e2e_folder)
  e2e_equal "every package entry in the product folder" "" "$(e2e_missing_entries "$E2E_SETUP")"
  e2e_equal "53 files and the uninstaller copy, nothing else" 54 "$(find "$folder" -type f 2>/dev/null | wc -l)"
  e2e_check "the uninstaller copy is the setup program" cmp -s "$folder/QuorvaneSetup.exe" "$E2E_SETUP"
  for v in install nbLaunch done; do
    e2e_equal "$v = 0" 0x0 "$(e2e_reg_value "$E2E_USER_KEY" "$v")"
  done
  e2e_equal "DisplayName" "Quorvane, The Soft Mixing Desk" "$(e2e_reg_value "$E2E_UNINSTALL_KEY" DisplayName)"
  e2e_equal "Publisher" "Halcyra Software" "$(e2e_reg_value "$E2E_UNINSTALL_KEY" Publisher)"
  e2e_equal "UninstallString, quoted" "\"$E2E_FOLDER_WIN\\QuorvaneSetup.exe\"" \
    "$(e2e_reg_value "$E2E_UNINSTALL_KEY" UninstallString)"
  # EstimatedSize: KB, rounded up, of every file the install left.
  for v in "DisplayVersion=2.0.3.4" "DisplayIcon=$E2E_FOLDER_WIN\\QuorvaneSetup.exe,0" "InstallLocation=$E2E_FOLDER_WIN" \
    "EstimatedSize=$(printf '0x%x' $(( ($(find "$folder" -type f -printf '%s+') 1023) / 1024 )))" \
    "QuietUninstallString=\"$E2E_FOLDER_WIN\\QuorvaneSetup.exe\" -u -h" "URLInfoAbout=https://www.halcyra.example" \
    "NoModify=0x1" "NoRepair=0x1"; do
    e2e_equal "${v%%=*}" "${v#*=}" "$(e2e_reg_value "$E2E_UNINSTALL_KEY" "${v%%=*}")"
  done
  e2e_check_shortcuts "$(e2e_user_programs)" yes
  e2e_check_shortcuts "$(e2e_common_programs)" yes
  e2e_check "the product's device interface is present" e2e_device_present
}

# After a complete removal: what it took away, then a second removal that
# finds nothing to do.
e2e_check_removed() {
  local programs
  e2e_check "the Uninstall entry is gone" eval '! e2e_reg_key_exists "$E2E_UNINSTALL_KEY"'
  e2e_equal "SysTray = 0" 0x0 "$(e2e_reg_value "$E2E_USER_KEY" SysTray)"
  for programs in "$(e2e_user_programs)" "$(e2e_common_programs)"; do
    e2e_check "no shortcut folder in $programs" test ! -e "$(e2e_unixpath "$programs\\Halcyra\\Quorvane")"
  done
  e2e_check "the device is gone" eval '! e2e_device_present'

  e2e_clear_log
  e2e_setup "$E2E_SETUP" -u -h
  e2e_equal "a second removal finds nothing and exits with 0" 0 "$E2E_RESULT"
  e2e_equal "no driver setup program ran" "" "$(e2e_log)"
}

# e2e_restart_scenarios TITLE_PREFIX NAME_SUFFIX: each driver setup program in
# turn asks for a restart (exit code 1); NAME_SUFFIX is "_x64" under WoW64.
e2e_restart_scenarios() {
  local prefix=$1 suffix=$2 driver expected
  for driver in HCLINE HCQVAUX; do
    e2e_scenario "$prefix${driver}_Setup$suffix.exe asks for a restart (exit code 1)"
    export "QV_${driver}_EXIT=1"
    e2e_setup "$E2E_SETUP" -i -h
    e2e_equal "install exits with -21" -21 "$E2E_RESULT"
    expected="HCLINE_Setup$suffix.exe [-h -i -H -n] in $E2E_FOLDER_WIN"
    [ "$driver" = HCQVAUX ] && expected="$expected
HCQVAUX_Setup$suffix.exe [-h -i -H -n] in $E2E_FOLDER_WIN"
    e2e_equal "driver setup programs run up to the one that asked" "$expected" "$(e2e_log | grep '_Setup')"
    e2e_equal "the extracted files stay" "" "$(e2e_missing_entries "$E2E_SETUP")"
    e2e_check_nothing_after_drivers
    e2e_scenario_end
  done
}

# A damaged or unreadable package, by a copy of E2E_SETUP; TITLE_PREFIX leads
# each scenario's title.
e2e_damage_scenarios() {
  local prefix=$1 setup missing expected_max damaged=10 names entry
  e2e_scenario "${prefix}a damaged record: one digest wrong"
  setup=$(e2e_copy_setup digest)
  perl "$E2E_PE" digest "$setup" Quorvane.exe
  e2e_setup "$setup" -i -h
  e2e_equal "install exits with -10" -10 "$E2E_RESULT"
  e2e_equal "only the damaged entry is missing" "Quorvane.exe" "$(e2e_missing_entries "$setup")"
  e2e_equal "no driver setup program ran" "" "$(e2e_log | grep '_Setup')"
  e2e_check_nothing_after_drivers
  e2e_scenario_end

  e2e_scenario "${prefix}a damaged entry: one stored byte flipped"
  setup=$(e2e_copy_setup stored)
  mapfile -t names < <(e2e_package_names "$setup")
  # "?" names no entry: when no names could be read, every check below fails.
  entry=${names[$damaged]:-?}
  perl "$E2E_PE" stored "$setup" "$entry"
  e2e_setup "$setup" -i -h
  e2e_equal "install exits with -10" -10 "$E2E_RESULT"
  missing=$(e2e_missing_entries "$setup")
  # The chain carries the damage to at most four more entries.
  expected_max=$(printf '%s\n' "${names[@]:$damaged:5}")
  e2e_check "the damaged entry is missing" grep -qxF "$entry" <<< "$missing"
  e2e_check "only it and up to four after it are missing" \
    eval '[ -z "$(comm -23 <(sort <<< "$missing") <(sort <<< "$expected_max"))" ]'
  e2e_equal "no driver setup program ran" "" "$(e2e_log | grep '_Setup')"
  e2e_scenario_end

  e2e_scenario "${prefix}an unreadable package"
  setup=$(e2e_copy_setup hidden)
  perl "$E2E_PE" hide "$setup"
  e2e_setup "$setup" -i -h
  e2e_equal "install exits with -1" -1 "$E2E_RESULT"
  e2e_check "no product folder" test ! -e "$(e2e_folder)"
  e2e_scenario_end
}

# e2e_scenario_removal_line_driver_gone TITLE_PREFIX LINE_DRIVER_PROGRAM: a removal
# that cannot run the line driver setup program stops before removing anything.
e2e_scenario_removal_line_driver_gone() {
  local folder
  e2e_scenario "${1}removal with the line driver program unwritable and gone"
  e2e_setup "$E2E_SETUP" -i -h
  e2e_equal "install exits with 0" 0 "$E2E_RESULT"
  folder=$(e2e_folder)
  rm -f "$folder/$2"
  # A folder in its place: the package entry cannot be written, nor run.
  mkdir "$folder/$2"
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
}

# After a removal run by the uninstaller copy: only that running copy is left,
# and it, then the folder, wait for the restart.
e2e_check_left_for_restart() {
  e2e_equal "only the running uninstaller copy is left in the folder" "./QuorvaneSetup.exe" \
    "$(cd "$(e2e_folder)" 2>/dev/null && find . -type f | sort)"
  e2e_equal "the copy, then the folder, are deleted at restart" \
    "\\??\\$E2E_FOLDER_WIN\\QuorvaneSetup.exe\\0\\0\\??\\$E2E_FOLDER_WIN\\0" \
    "$(e2e_reg_value "$E2E_SESSION_MANAGER" PendingFileRenameOperations)"
}

# The pending restart operations, one text per line (an empty destination: a deletion).
e2e_pending() { e2e_reg_value "$E2E_SESSION_MANAGER" PendingFileRenameOperations | sed 's/\\0/\n/g'; }

# e2e_start_until TEST COMMAND...: runs COMMAND in the background (its process
# id in E2E_JOB) until the shell command TEST succeeds (two minutes at most);
# a TEST never met is a failed check.
e2e_start_until() {
  local until=$1 i
  shift
  "$@" >/dev/null 2>&1 &
  E2E_JOB=$!
  for ((i = 0; i < 600; i++)); do
    eval "$until" && return 0
    kill -0 "$E2E_JOB" 2>/dev/null || break  # ended without meeting it
    sleep 0.2
  done
  eval "$until" && return 0
  e2e_bad "never reached: $until"
  return 1
}

# e2e_logged TEXT: the stand-ins have logged a line holding TEXT.
e2e_logged() { e2e_log | grep -qF "$1"; }

# e2e_kill_when TEST PROGRAM ARGS...: runs PROGRAM (Windows path) through the
# runner in the background and kills the setup program with Wine's own
# taskkill once TEST succeeds. e2e_kill_at LOG_LINE ...: once the stand-ins
# have logged a line holding LOG_LINE.
e2e_kill_when() {
  local until=$1
  shift
  e2e_start_until "$until" "$QV_WINE64" "$E2E_QVRUN" "$@"
  qv_wine taskkill /f /im QuorvaneSetup.exe >/dev/null 2>&1
  wait "$E2E_JOB"
}
e2e_kill_at() {
  local line=$1
  shift
  e2e_kill_when "e2e_logged $(printf '%q' "$line")" "$@"
}

# e2e_orphan_gone PROGRAM SECONDS: no process runs from PROGRAM (within SECONDS).
e2e_orphan_gone() { e2e_ask "whether $1 still runs" running "$E2E_INSPECT" gone "$1" "$2"; }

# e2e_scenario_link_removal TITLE_PREFIX: a folder link inside the product
# folder to a folder elsewhere (a sample library, say). The removal takes the
# link as a link: nothing reached through it is deleted or scheduled.
e2e_scenario_link_removal() {
  local folder outside pending line strays=""
  e2e_scenario "${1}removal with a folder link inside the product folder"
  e2e_setup "$E2E_SETUP" -i -h
  e2e_equal "install exits with 0" 0 "$E2E_RESULT"
  folder=$(e2e_folder)
  outside=$(e2e_unixpath 'C:\Samples')
  mkdir -p "$outside/kit" && echo kick > "$outside/kick.wav" && echo snare > "$outside/kit/snare.wav"
  # Wine shows a host symbolic link as a linked folder (a reparse point), but
  # cannot delete one. Relative, so that it holds inside the i386 stage too.
  ln -s ../../../Samples "$folder/Samples"
  e2e_run "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -u -h
  e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
  pending=$(e2e_pending)
  while IFS= read -r line; do
    case $line in "" | "\\??\\$E2E_FOLDER_WIN" | "\\??\\$E2E_FOLDER_WIN\\"*) ;; *) strays="$strays$line;" ;; esac
  done <<< "$pending"
  e2e_equal "nothing outside the product folder is scheduled" "" "$strays"
  e2e_check "the link is gone, or scheduled as itself" \
    eval '[ ! -L "$folder/Samples" ] || grep -qxF "\\??\\$E2E_FOLDER_WIN\\Samples" <<< "$pending"'
  e2e_equal "left: the running copy and the link" "./QuorvaneSetup.exe ./Samples" \
    "$(cd "$folder" && find . -mindepth 1 | sort | tr '\n' ' ' | sed 's/ $//')"
  qv_wine wineboot -r >/dev/null 2>&1
  e2e_equal "after the restart every linked file is there" "./kick.wav ./kit/snare.wav" \
    "$(cd "$outside" && find . -type f | sort | tr '\n' ' ' | sed 's/ $//')"
  e2e_check "and of the product folder at most the link is left" \
    eval '[ ! -e "$folder" ] || [ "$(ls -A "$folder")" = Samples ]'
  e2e_scenario_end
}

# e2e_scenario_reinstall_before_restart TITLE_PREFIX: an install between a
# removal and the restart that finishes it withdraws the product's pending
# deletions, and only those, from a value that another program left as REG_SZ
# with a string after its closing NUL and an odd length.
e2e_scenario_reinstall_before_restart() {
  local other neighbour
  e2e_scenario "${1}reinstall before the restart that finishes a removal"
  e2e_setup "$E2E_SETUP" -i -h
  e2e_equal "install exits with 0" 0 "$E2E_RESULT"
  other=$(e2e_unixpath 'C:\other\stale.tmp')
  neighbour=$(e2e_unixpath "$E2E_FOLDER_WIN"2'\old.txt')
  mkdir -p "${other%/*}" "${neighbour%/*}" && echo x > "$other" && echo x > "$neighbour"
  # Other programs' deletions, one before and one after the product's.
  qv_wine "$E2E_INSPECT" schedule 'C:\other\stale.tmp'
  e2e_run "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -u -h
  e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
  qv_wine "$E2E_INSPECT" schedule "$E2E_FOLDER_WIN"2'\old.txt'
  qv_wine "$E2E_INSPECT" reshape
  e2e_setup "$E2E_SETUP" -i -h
  e2e_equal "the reinstall exits with 0" 0 "$E2E_RESULT"
  e2e_equal "only the product's pending deletions are withdrawn, every other byte stays" \
    "$(printf '%s\n' 'type 1' '[\??\C:\other\stale.tmp]' '[]' "[\\??\\$E2E_FOLDER_WIN"2'\old.txt]' '[]' '[]' '[junk]' \
      '[]' 'odd byte 21')" "$(qv_wine "$E2E_INSPECT" pending | tr -d '\r')"
  qv_wine wineboot -r >/dev/null 2>&1
  e2e_check "after the restart the other deletions are done" eval '[ ! -e "$other" ] && [ ! -e "$neighbour" ]'
  e2e_check_installed
  e2e_scenario_end
}

# e2e_scenario_kill_install TITLE_PREFIX NAME_SUFFIX: the setup program killed
# while the line driver's setup program (slowed down) runs; one rerun of -i -h,
# while that program, orphaned, still runs from its file, completes the install.
e2e_scenario_kill_install() {
  local program="HCLINE_Setup$2.exe"
  e2e_scenario "${1}install killed during $program, then one rerun"
  QV_HCLINE_DELAY_MS=${E2E_ORPHAN_MS:-20000} e2e_kill_at "$program [-h -i -H -n]" "$(e2e_winpath "$E2E_SETUP")" -i -h
  e2e_check "the killed install left the device" e2e_device_present
  e2e_check "but no Uninstall entry" eval '! e2e_reg_key_exists "$E2E_UNINSTALL_KEY"'
  e2e_check "the orphaned $program still runs" eval '! e2e_orphan_gone "$program" 0'
  e2e_clear_log
  e2e_setup "$E2E_SETUP" -i -h
  e2e_equal "the rerun exits with 0" 0 "$E2E_RESULT"
  e2e_equal "it ran the install" "$program [-h -i -H -n] in $E2E_FOLDER_WIN
HCQVAUX_Setup$2.exe [-h -i -H -n] in $E2E_FOLDER_WIN" "$(e2e_log | grep '_Setup')"
  e2e_check "the orphan has ended" e2e_orphan_gone "$program" 300
  e2e_check_installed
  e2e_scenario_end
}

e2e_finish() {
  [ -n "$E2E_WORK" ] && rm -rf "$E2E_WORK"
  if [ "$E2E_FAILURES" -eq 0 ]; then
    echo "all checks passed"
    return 0
  fi
  echo "$E2E_FAILURES check(s) failed"
  return 1
}
