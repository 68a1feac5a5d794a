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

e2e_finish
