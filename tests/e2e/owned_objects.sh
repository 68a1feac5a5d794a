#!/usr/bin/env bash
# The elevated program acts only on what it has proven its own: the file it
# runs from, exact names in its folder, files it creates new, and the
# product's own windows. Each scenario plays someone who tries otherwise.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT

# A tool holds the setup program's file with delete access, sharing everything,
# and (unless "never") puts another program at its path. Put there at the
# program's first instruction, before it holds anything, that is not the image
# that runs: the install stops before it changes anything. Put there once the
# mutex exists, it is never what the uninstaller copy is made from.
for when in never start mutex; do
  e2e_scenario "the setup program's file held by a tool, and swapped: $when"
  setup=$(e2e_copy_setup "contend-$when")
  E2E_RESULT=$("$QV_WINE64" "$E2E_INSPECT" contend $when "$(e2e_winpath "$setup")" "$(e2e_winpath "$E2E_INSPECT")" \
    -i -h | tr -d '\r')
  [ $when = never ] || e2e_check "another program stands at its path" cmp -s "$setup" "$E2E_INSPECT"
  if [ $when = start ]; then
    e2e_equal "install exits with -1" -1 "$E2E_RESULT"
    e2e_check "no product folder, no Uninstall entry" \
      eval '[ ! -e "$(e2e_folder)" ] && ! e2e_reg_key_exists "$E2E_UNINSTALL_KEY"'
  else
    e2e_equal "install exits with 0" 0 "$E2E_RESULT"
    e2e_check_installed
  fi
  e2e_scenario_end
done

# short_name WINPATH: the short (8.3) name that Wine gives the file.
short_name() { qv_wine cmd /c dir /x "$1" | tr -d '\r' | awk -v n="${1##*\\}" '$NF == n { print $(NF - 1) }'; }

e2e_scenario "a setup program saved under the short name of a product program"
mkdir -p "$(e2e_unixpath 'C:\names')" && : > "$(e2e_unixpath 'C:\names\QuorvaneQuickKeys.exe')"
short=$(short_name 'C:\names\QuorvaneQuickKeys.exe')
cp "$E2E_SETUP" "$E2E_WORK/$short"
e2e_setup "$E2E_WORK/$short" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_equal "$short is QuorvaneQuickKeys.exe's in the product folder too" "$short" \
  "$(short_name "$E2E_FOLDER_WIN\\QuorvaneQuickKeys.exe")"
e2e_check "QuorvaneQuickKeys.exe stays the product's" eval '! cmp -s "$(e2e_folder)/QuorvaneQuickKeys.exe" "$E2E_SETUP"'
e2e_check_installed
e2e_scenario_end

e2e_scenario "links at the names the install writes; an entry and the copy's name held for a moment"
folder=$(e2e_folder)
menu=$(e2e_unixpath "$(e2e_user_programs)\\Halcyra\\Quorvane")
mine=$(e2e_unixpath 'C:\users\Public')
mkdir -p "$folder" "$menu" "$mine"
for f in notes thesis diary; do echo "my $f" > "$mine/$f.txt"; done
# Hard links: Wine takes a host link to a file for the file itself.
ln "$mine/notes.txt" "$menu/Readme.LNK" && ln "$mine/thesis.txt" "$folder/QuorvaneSetup.exe.new"
ln "$mine/diary.txt" "$folder/QuorvaneSetup.exe"
# Held without sharing, as a scanner does just after a write, until half a
# second after the file written before it: the second entry, left by an
# earlier run; the copy's name, which the part file replaces just after the
# last shortcut is made.
mapfile -t names < <(e2e_package_names "$E2E_SETUP")
echo stale > "$folder/${names[1]}"
holders=()
for held in "${names[1]}:$E2E_FOLDER_WIN\\${names[0]}" \
  "QuorvaneSetup.exe:$(e2e_common_programs)\\Halcyra\\Quorvane\\Quorvane.LNK"; do
  qv_wine "$E2E_INSPECT" hold "$E2E_FOLDER_WIN\\${held%%:*}" "${held#*:}" 500 > "$E2E_WORK/hold${#holders[@]}" &
  holders+=($!)
  for ((i = 0; i < 300; i++)); do grep -q held "$E2E_WORK/hold$((${#holders[@]} - 1))" 2>/dev/null && break; sleep 0.1; done
done
e2e_setup "$E2E_SETUP" -i -h
wait "${holders[@]}"
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
for f in notes:Readme.LNK thesis:QuorvaneSetup.exe.new diary:QuorvaneSetup.exe; do
  e2e_check "${f%%:*}.txt, linked as ${f#*:}, keeps its bytes" cmp -s "$mine/${f%%:*}.txt" <(echo "my ${f%%:*}")
done
e2e_check_installed
e2e_scenario_end

# Wine takes C.UTF-8 for code page 1252, where the ANSI functions best-fit what it lacks.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
e2e_scenario "look-alike names in the product folder: the removal takes each by its own"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
folder=$(e2e_folder)
drive=$(e2e_unixpath 'C:')
# In code page 1252 the first two are "..\..\..\victim1.txt" and so on, and Łódź.qvp is Lódz.qvp.
for n in 1 2; do echo "victim $n" > "$drive/victim$n.txt" && echo x > "$folder/．．＼．．＼．．＼victim$n.txt"; done
qv_wine attrib +r 'C:\victim2.txt'
echo "a user's project" > "$folder/Łódź.qvp"
e2e_run "$E2E_FOLDER_WIN\\QuorvaneSetup.exe" -u -h
e2e_equal "removal exits with 0" 0 "$E2E_RESULT"
e2e_equal "C:\\victim1.txt and C:\\victim2.txt keep their bytes" "victim 1 victim 2" \
  "$(cat "$drive/victim1.txt" "$drive/victim2.txt" 2>&1 | tr '\n' ' ' | sed 's/ $//')"
e2e_check_left_for_restart
e2e_scenario_end

e2e_finish
