#!/usr/bin/env bash
# Reads the headers, import table and resources of a built setup program and
# fails on anything a shipped program must not have.
#   pe_check.sh FILE i386|x86-64 [LIST]
# With LIST (the reviewed Windows 2000 imports, "dll function" a line), every
# imported function must be on it and the header must let Windows 2000 load
# the program.
set -u
file=$1 arch=$2 list=${3:-}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
fail=0
bad() { echo "FAIL: $*"; fail=1; }

[ -f "$file" ] || { echo "FAIL: $file not built"; echo "0 passed, 1 failed"; exit 1; }
dump=$($objdump -p "$file") || { echo "FAIL: objdump cannot read $file"; exit 1; }

case $arch in
  i386) echo "$dump" | grep -q 'file format pei-i386' || bad "not a PE32 i386 program" ;;
  x86-64) echo "$dump" | grep -q 'file format pei-x86-64' || bad "not a PE32+ x86-64 program" ;;
esac
echo "$dump" | grep -qE '^Subsystem[[:space:]]+00000002' || bad "not the GUI subsystem"
dllchar=$(echo "$dump" | awk '/^DllCharacteristics/ {print $2}')
(( 0x$dllchar & 0x40 )) || bad "ASLR (DYNAMIC_BASE) is off"
(( 0x$dllchar & 0x100 )) || bad "DEP (NX_COMPAT) is off"
(( 0x$dllchar & 0x8000 )) || bad "not marked terminal-server aware (TSAWARE)"
echo "$dump" | grep -q '^Time/Date.*1970' || bad "a time stamp in the header: $(echo "$dump" | grep Time/Date)"

# Imports: Windows system DLLs only.
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|setupapi|msvcrt|comctl32|shlwapi|version|uuid)\.dll$'
imports=$(echo "$dump" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
[ -n "$imports" ] || bad "no import table found"
for dll in $imports; do
  echo "$dll" | grep -qE "$allowed" || bad "imports $dll, which is not a Windows system DLL"
done

if [ -n "$list" ]; then
  # "dll function" for each import; an import by ordinal shows as "dll #N".
  functions=$(echo "$dump" | awk '
    /DLL Name:/ { dll = tolower($3); next }
    /^[[:space:]]*$/ { dll = "" }
    dll && /^\t[0-9a-f]+\t/ { print dll, (NF >= 3 ? $3 : "#" $2) }' | sort -u)
  [ -n "$functions" ] || bad "no imported functions found"
  reviewed=$(grep -v '^#' "$list" | awk 'NF == 2 {print tolower($1), $2}' | sort -u)
  unlisted=$(comm -23 <(echo "$functions") <(echo "$reviewed"))
  [ -z "$unlisted" ] || bad "imports functions not on the reviewed Windows 2000 list: $(echo "$unlisted" | tr ' ' '!' | tr '\n' ' ')"
  # Windows 2000 is 5.0: its loader refuses a higher subsystem version.
  for field in OSystem Subsystem; do
    major=$(echo "$dump" | awk "/^Major${field}Version/ {print \$2}")
    minor=$(echo "$dump" | awk "/^Minor${field}Version/ {print \$2}")
    (( ${major:-99} < 5 || (${major:-99} == 5 && ${minor:-99} == 0) )) ||
      bad "$field version $major.$minor is above Windows 2000 (5.0)"
  done
fi

# Resources: icon group 100, bitmap 101, the package as RCDATA 100, the
# version, and the manifest asking for administrator rights.
rc=$(x86_64-w64-mingw32-windres -i "$file" -O rc 2>/dev/null)
echo "$rc" | grep -q '^100 14 /\* RT_GROUP_ICON \*/' || bad "no icon group 100"
echo "$rc" | grep -q '^101 2 /\* RT_BITMAP \*/' || bad "no bitmap 101"
echo "$rc" | grep -q '^100 RCDATA' || bad "no package (RCDATA 100)"
echo "$rc" | grep -q 'FILEVERSION 2, 0, 3, 4' || bad "no version 2.0.3.4"
echo "$rc" | grep -q 'VALUE "CompanyName", "Halcyra Software"$' || bad "company name is not the Uninstall entry's publisher, Halcyra Software"
echo "$rc" | grep -q 'VALUE "ProductName", "Quorvane"' || bad "no product name"
tmp=$(mktemp -d)
x86_64-w64-mingw32-objcopy -O binary --only-section=.rsrc "$file" "$tmp/rsrc" 2>/dev/null
manifest=$(strings "$tmp/rsrc")
rm -rf "$tmp"
echo "$manifest" | grep -q 'requireAdministrator' || bad "no manifest asking for administrator rights"
echo "$manifest" | grep -q 'e2011457-1546-43c5-a5fe-008deee3d3f0' || bad "the manifest does not declare Windows Vista"
echo "$manifest" | grep -q '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a' || bad "the manifest does not declare Windows 10"
echo "$manifest" | grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' ||
  bad "the manifest does not ask for Common Controls 6 (the system's look for message boxes)"
fileversion=$(echo "$rc" | sed -n 's/^ *FILEVERSION \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1.\2.\3.\4/p')
echo "$manifest" | grep -q "name=\"Halcyra.Quorvane.Setup\" version=\"$fileversion\"" ||
  bad "the manifest's version is not the version resource's ($fileversion)"

size=$(stat -c %s "$file")
echo "$file: $arch, imports: $(echo $imports | tr '\n' ' ')${functions:+($(echo "$functions" | wc -l) functions)}, $size bytes"
[ $fail = 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
