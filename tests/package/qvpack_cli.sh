#!/usr/bin/env bash
# qvpack as a program: build, list, verify, extract, its refusals and bad input.
#   qvpack_cli.sh QVPACK TESTDATA X64_BUILD I686_BUILD
set -u
Q=$1 DATA=$2 X64=$3 I686=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# One clear line on stderr, nothing on stdout, a non-zero exit.
refuses() {
  local what=$1; shift
  "$Q" "$@" >"$tmp/out" 2>"$tmp/err"
  local rc=$?
  [ $rc -ne 0 ] || fail "$what: exit 0"
  [ $rc -lt 128 ] || fail "$what: crashed ($rc)"
  [ "$(wc -l <"$tmp/err")" -eq 1 ] || fail "$what: stderr is not one line: $(cat "$tmp/err")"
  [ ! -s "$tmp/out" ] || fail "$what: wrote to stdout"
  echo "  refused ($what): $(cat "$tmp/err")"
}

ok_count() { grep -c '^ok ' "$tmp/out"; }

# --- the known-answer package ---
"$Q" verify "$DATA/reference.pkg" >"$tmp/out" || fail "reference does not verify"
[ "$(ok_count)" -eq 53 ] || fail "reference: not 53 ok lines"
tail -n1 "$tmp/out" | grep -q "all 53 entries verified" || fail "reference: no summary"

"$Q" list "$DATA/reference.pkg" >"$tmp/list" || fail "list"
[ "$(wc -l <"$tmp/list")" -eq 53 ] || fail "list: not 53 lines"
# index, name, offset, size and digest agree with the reference description
awk '!/^#/ {print $1, $2, $3, $4}' "$DATA/reference.txt" >"$tmp/want"
awk '{print $1, $2, $4, $5}' "$tmp/list" >"$tmp/got"
cmp -s "$tmp/want" "$tmp/got" || fail "list differs from reference.txt"
grep -q '^ 0  entry_00.bin  *8268 ' "$tmp/list" || fail "list: first offset"

"$Q" extract "$DATA/reference.pkg" "$tmp/x" >"$tmp/out" || fail "extract"
while read -r idx name size plain _; do
  [ "$idx" = "#" ] && continue
  f="$tmp/x/${name//\\//}"
  [ -f "$f" ] || { fail "extract: $name missing"; continue; }
  [ "$(md5sum <"$f" | cut -d' ' -f1)" = "$plain" ] || fail "extract: $name differs"
done <"$DATA/reference.txt"

"$Q" extract "$DATA/reference.pkg" "$tmp/one" 'codec\codec_lib.dll' >"$tmp/out" || fail "extract one"
[ "$(find "$tmp/one" -type f | wc -l)" -eq 1 ] && [ -f "$tmp/one/codec/codec_lib.dll" ] || fail "extract one: wrong files"
refuses "extract of an unknown name" extract "$DATA/reference.pkg" "$tmp/none" 'CODEC\codec_lib.dll'

# --- build: a round trip through our own writer ---
mkdir -p "$tmp/src"
: >"$tmp/manifest"
for i in $(seq 0 52); do
  head -c $(( (i * 7919) % 70000 )) /dev/urandom >"$tmp/src/f$i"
  name="file_$i.bin"
  [ "$i" -ge 51 ] && name="sub\\file_$i.bin"
  printf '%s\t%s\n' "$name" "$tmp/src/f$i" >>"$tmp/manifest"
done
"$Q" build "$tmp/manifest" "$tmp/p.pkg" || fail "build"
"$Q" verify "$tmp/p.pkg" >"$tmp/out" || fail "built package does not verify"
"$Q" extract "$tmp/p.pkg" "$tmp/rt" >"$tmp/out" || fail "extract of built package"
for i in $(seq 0 52); do
  name="file_$i.bin"
  [ "$i" -ge 51 ] && name="sub/file_$i.bin"
  cmp -s "$tmp/src/f$i" "$tmp/rt/$name" || fail "round trip: $name"
done
"$Q" build "$tmp/manifest" "$tmp/p2.pkg" && cmp -s "$tmp/p.pkg" "$tmp/p2.pkg" || fail "build is not reproducible"

# refusals: the message names the line, no output file is left
head -n 52 "$tmp/manifest" >"$tmp/m52"
refuses "52 entries" build "$tmp/m52" "$tmp/bad.pkg"
grep -q ':52:' "$tmp/err" || fail "52 entries: line not named"
{ cat "$tmp/manifest"; printf 'extra.bin\t%s\n' "$tmp/src/f1"; } >"$tmp/m54"
refuses "54 entries" build "$tmp/m54" "$tmp/bad.pkg"
grep -q ':54:' "$tmp/err" || fail "54 entries: line not named"
sed "7s|^[^\t]*|$(printf 'n%.0s' $(seq 128))|" "$tmp/manifest" >"$tmp/mlong"
refuses "name of 128 bytes" build "$tmp/mlong" "$tmp/bad.pkg"
grep -q ':7:' "$tmp/err" || fail "long name: line not named"
sed "9s|^[^\t]*|$(printf 'n%.0s' $(seq 127))|" "$tmp/manifest" >"$tmp/m127"
"$Q" build "$tmp/m127" "$tmp/ok127.pkg" || fail "a name of 127 bytes is refused"
sed "12s|\t.*|\t$tmp/src/missing|" "$tmp/manifest" >"$tmp/mmiss"
refuses "missing source" build "$tmp/mmiss" "$tmp/bad.pkg"
grep -q ':12:' "$tmp/err" || fail "missing source: line not named"
truncate -s 4G "$tmp/src/huge"  # sparse: costs no disk
sed "30s|\t.*|\t$tmp/src/huge|" "$tmp/manifest" >"$tmp/mhuge"
refuses "past 4 GiB" build "$tmp/mhuge" "$tmp/bad.pkg"
grep -q ':30:' "$tmp/err" || fail "4 GiB: line not named"
rm -f "$tmp/src/huge"
[ ! -e "$tmp/bad.pkg" ] && [ -z "$(ls "$tmp" | grep partial)" ] || fail "a refused build left a file"

# --- damage ---
cp "$tmp/p.pkg" "$tmp/flip.pkg"
off=$(( $(od -An -tu4 -j $((20 * 156 + 128)) -N4 "$tmp/p.pkg") + 3 ))
printf '\x5a' | dd of="$tmp/flip.pkg" bs=1 seek=$off conv=notrunc status=none
"$Q" verify "$tmp/flip.pkg" >"$tmp/out" && fail "flipped byte verifies"
grep -q '^FAIL file_20.bin: digest mismatch' "$tmp/out" || fail "flipped byte: no FAIL line"
grep -q '^ok file_26.bin' "$tmp/out" || fail "flipped byte: chain did not recover"
tail -n1 "$tmp/out" | grep -q 'entries failed' || fail "flipped byte: no summary"

# --- bad input ---
: >"$tmp/empty"
refuses "empty file" verify "$tmp/empty"
head -c 8000 "$DATA/reference.pkg" >"$tmp/short"
refuses "truncated package" verify "$tmp/short"
head -c 20000 /dev/urandom >"$tmp/random"
refuses "random bytes" list "$tmp/random"
refuses "missing file" verify "$tmp/nothing-here"
printf 'MZ' >"$tmp/mz"
refuses "MZ alone" verify "$tmp/mz"

# --- PE files, 64- and 32-bit, carrying the known-answer package ---
for pe in "$X64/tests/qv_test_package.dll" "$I686/tests/qv_test_package.dll"; do
  if [ ! -f "$pe" ]; then fail "$pe not built"; continue; fi
  "$Q" verify "$pe" >"$tmp/out" || fail "$pe does not verify"
  [ "$(ok_count)" -eq 53 ] || fail "$pe: not 53 ok lines"
  size=$(stat -c %s "$pe")
  for cut in 64 300 1024 $((size / 3)) $((size / 2)); do
    head -c $cut "$pe" >"$tmp/cut.dll"
    refuses "$(basename "$(dirname "$(dirname "$pe")")") PE cut at $cut" verify "$tmp/cut.dll"
  done
done
if [ -f "$X64/tools/placeholder/qv_placeholder_dll.dll" ]; then
  refuses "PE without the resource" verify "$X64/tools/placeholder/qv_placeholder_dll.dll"
else
  fail "placeholder dll not built"
fi

[ $failures -eq 0 ] && echo "qvpack: all checks passed"
exit $((failures > 0))
