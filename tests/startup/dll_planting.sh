#!/usr/bin/env bash
# A shfolder.dll planted beside the program must never be loaded once the
# start-up hardening has run. The unhardened run shows that Wine would load it.
set -u
. "$QV_SOURCE_DIR/tests/wine/lib.sh"
qv_prefix_new || exit 1
trap qv_prefix_drop EXIT
dir="$WINEPREFIX/drive_c/downloads"
mkdir -p "$dir"
cp "$QV_BUILD_ROOT/x64/tests/plant/plant_probe.exe" "$QV_BUILD_ROOT/x64/tests/plant/shfolder.dll" "$dir/"
fail=0
# Wine prefers its own builtin DLLs; Windows loads whichever file it finds first.
# Native-first makes Wine behave like Windows here.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;shfolder=n,b"

out=$(cd "$dir" && qv_wine 'C:\downloads\plant_probe.exe' --unhardened 2>&1 | tr -d '\r')
echo "unhardened: $out"
if [ ! -f "$dir/planted-dll-was-loaded" ]; then
  echo "FAIL: the planted DLL is not loaded even without hardening; this test proves nothing here"
  fail=1
fi
rm -f "$dir/planted-dll-was-loaded"

out=$(cd "$dir" && qv_wine 'C:\downloads\plant_probe.exe' 2>&1 | tr -d '\r')
echo "hardened: $out"
if [ -f "$dir/planted-dll-was-loaded" ]; then
  echo "FAIL: the planted DLL was loaded after hardening"
  fail=1
fi
echo "$out" | grep -q 'answers C:\\planted' && { echo "FAIL: the planted DLL answered"; fail=1; }
echo "$out" | grep -qi 'by name: .*system32\\shfolder.dll' || { echo "FAIL: by-name load not from system32"; fail=1; }
echo "$out" | grep -qi 'system folder: .*system32\\shfolder.dll' || { echo "FAIL: system load not from system32"; fail=1; }
[ $fail = 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
