#!/usr/bin/env bash
# A DLL planted beside the program under the name of a system DLL must never be
# loaded once the start-up hardening has run: with SetDefaultDllDirectories,
# and with it hidden (--old-loader), as on the systems before the loader
# update, where preloading from the system folder alone keeps the plants out.
# The unhardened run shows that Wine would load every one of them.
set -u
. "$QV_SOURCE_DIR/tests/wine/lib.sh"
qv_prefix_new || exit 1
trap qv_prefix_drop EXIT
dir="$WINEPREFIX/drive_c/downloads"
plant="$QV_BUILD_ROOT/x64/tests/plant"
# The preloaded names that Wine has, less version.dll, which Wine's own system
# DLLs import before any code of a program runs (on Windows, KnownDLLs import
# only KnownDLLs).
names="shfolder.dll uxtheme.dll oleacc.dll dwmapi.dll userenv.dll propsys.dll apphelp.dll mpr.dll setupapi.dll"
mkdir -p "$dir" && cp "$plant/plant_probe.exe" "$dir/" || exit 1
# Wine prefers its own builtin DLLs; Windows loads whichever file it finds first.
# Native-first makes Wine behave like Windows here.
overrides=
for name in $names; do
  cp "$plant/shfolder.dll" "$dir/$name" || exit 1
  overrides="$overrides;${name%.dll}=n,b"
done
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d$overrides"
fail=0
for run in --unhardened --hardened --old-loader; do
  rm -f "$dir"/*-was-loaded
  out=$(cd "$dir" && qv_wine 'C:\downloads\plant_probe.exe' $run $names 2>&1 | tr -d '\r')
  echo "$run:"
  echo "$out" | sed 's/^/  /'
  for name in $names; do
    loaded=$(find "$dir" -maxdepth 1 -iname "$name-was-loaded")
    if [ $run = --unhardened ]; then
      [ -n "$loaded" ] || { echo "FAIL: $name: not loaded even without hardening; this test proves nothing"; fail=1; }
    else
      [ -z "$loaded" ] || { echo "FAIL: $run: the planted $name was loaded"; fail=1; }
      echo "$out" | grep -qi "^$name by name: c:\\\\windows\\\\system32\\\\$name answers " ||
        { echo "FAIL: $run: $name by name not from system32"; fail=1; }
    fi
  done
  [ $run = --unhardened ] && continue
  echo "$out" | grep -q 'answers C:\\planted' && { echo "FAIL: $run: a planted DLL answered"; fail=1; }
  echo "$out" | grep -qi 'system folder: .*system32\\shfolder.dll' || { echo "FAIL: $run: system load not from system32"; fail=1; }
done
# The setup program itself, started where the plants lie, imports none of
# them: the device service it asks at start is loaded from the system folder.
cp "$QV_DIST_DIR/x64/QuorvaneSetup.exe" "$dir/" && rm -f "$dir"/*-was-loaded
(cd "$dir" && timeout 120 "$QV_WINE64" 'C:\downloads\QuorvaneSetup.exe' -u -h) || { echo "FAIL: the setup program ended with $?"; fail=1; }
loaded=$(cd "$dir" && ls -- *-was-loaded 2>/dev/null | tr '\n' ' ')
[ -z "$loaded" ] && echo "the setup program loaded no plant" || { echo "FAIL: the setup program loaded $loaded"; fail=1; }
[ $fail = 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
