#!/usr/bin/env bash
# qvpack as a program: build, list, verify, extract, its refusals and bad input.
#   qvpack_cli.sh QVPACK TESTDATA X64_BUILD I686_BUILD
set -u
Q=$1 DATA=$2 X64=$3 I686=$4
# It runs in a mount namespace of its own in which the test's folder is the
# only writable place: a qvpack that writes outside DIR fails there instead of
# writing on the machine.
if [ -z "${QV_CONFINED:-}" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  QV_CONFINED=$tmp unshare --user --map-root-user --mount -- bash "$0" "$@"
  rc=$?
  [ -e "$tmp/.confined" ] || echo "FAIL: cannot confine the test (unshare --user --mount)"
  exit $rc
fi
tmp=$(readlink -f "$QV_CONFINED")  # as mountinfo names it
mount --bind "$tmp" "$tmp" || { echo "FAIL: cannot bind $tmp"; exit 1; }
while read -r _ _ _ _ mp _; do
  mp=$(printf '%b' "$mp")  # mountinfo writes spaces and the like as \ooo
  [ "$mp" = "$tmp" ] || mount -o remount,bind,ro "$mp" 2>/dev/null
done < <(tac /proc/self/mountinfo)
if probe=$(mktemp -p "$(dirname "$tmp")" 2>/dev/null); then
  rm -f "$probe"
  echo "FAIL: the machine is still writable beside $tmp"
  exit 1
fi
touch "$tmp/.confined"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# One clear line on stderr, nothing on stdout, a non-zero exit (left in rc).
refuses() {
  local what=$1; shift
  "$Q" "$@" >"$tmp/out" 2>"$tmp/err"
  rc=$?
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

# --- the command line: usage on request, and wrong use named (exit 2) ---
for h in --help -h; do
  "$Q" $h >"$tmp/out" 2>"$tmp/err"
  [ $? = 0 ] && grep -q '^usage: qvpack build' "$tmp/out" && grep -q 'extract FILE DIR' "$tmp/out" &&
    [ ! -s "$tmp/err" ] || fail "$h: no usage on stdout with exit 0"
done
for args in "" "frob" "list" "verify a b" "extract a" "extract a b c d" "build m"; do
  refuses "usage: '$args'" $args  # split into words on purpose
  [ $rc = 2 ] && grep -q -- '--help' "$tmp/err" || fail "usage '$args': exit $rc, or no pointer to --help"
done

# --- extract: where it writes ---
refuses "empty DIR" extract "$DATA/reference.pkg" ""
[ $rc = 2 ] || fail "empty DIR: exit $rc"
: >"$tmp/plain"
refuses "DIR below a file" extract "$DATA/reference.pkg" "$tmp/plain/x"
grep -q ': Not a directory$' "$tmp/err" || fail "DIR below a file: not the system's reason"
mkdir "$tmp/ro" && mount --bind "$tmp/ro" "$tmp/ro" && mount -o remount,bind,ro "$tmp/ro" || fail "no read-only DIR"
refuses "DIR that takes no file" extract "$DATA/reference.pkg" "$tmp/ro"
grep -q "/ro: cannot write in the folder: Read-only file system$" "$tmp/err" || fail "read-only DIR: not said"
# Links already in DIR: a folder that is a link refuses its entries; a file
# that is a link (even a dangling one) or a hard link is replaced by the entry.
# Nothing outside DIR changes.
mkdir -p "$tmp/links" "$tmp/outside"
echo keep >"$tmp/outside/target"
echo keep >"$tmp/outside/hard"
ln -s "$tmp/outside" "$tmp/links/codec"
ln -s "$tmp/outside/target" "$tmp/links/entry_03.bin"
ln "$tmp/outside/hard" "$tmp/links/entry_04.bin"
ln -s "$tmp/outside/new" "$tmp/links/entry_05.bin"
"$Q" extract "$DATA/reference.pkg" "$tmp/links" >"$tmp/out" 2>"$tmp/err"
[ $? = 1 ] && tail -n1 "$tmp/out" | grep -q '^2 of 53 entries failed' || fail "links: not 2 failures"
[ "$(grep -c '^FAIL codec\\codec_.*: not written: codec is a link$' "$tmp/out")" = 2 ] || fail "links: codec entries not refused"
[ "$(cd "$tmp/outside" && echo *)" = "hard target" ] && [ "$(cat "$tmp/outside/target" "$tmp/outside/hard")" = "keep
keep" ] || fail "links: something outside DIR changed"
for n in 03 04 05; do
  f=$tmp/links/entry_$n.bin
  [ -f "$f" ] && [ ! -L "$f" ] && [ "$(stat -c %h "$f")" = 1 ] &&
    [ "$(md5sum <"$f" | cut -d' ' -f1)" = "$(awk -v n="entry_$n.bin" '$2 == n {print $4}' "$DATA/reference.txt")" ] ||
    fail "links: entry_$n.bin is not the entry itself"
done
[ -z "$(find "$tmp/links" -name '.*qvpack*')" ] || fail "links: a temporary file was left"

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
mkdir "$tmp/mdir" "$tmp/outdir"
cp "$DATA/reference.pkg" "$tmp/"
refuses "manifest is a folder" build "$tmp/mdir" "$tmp/bad.pkg"
grep -q 'is a folder' "$tmp/err" || fail "manifest folder: not said"
{ head -n 3 "$tmp/manifest"; printf 'x\0\1\2\377\tsrc\n'; } >"$tmp/mbin"
for m in mbin:4 reference.pkg:1; do
  refuses "binary manifest" build "$tmp/${m%:*}" "$tmp/bad.pkg"
  grep -q "/$m: binary data, not a text manifest$" "$tmp/err" || fail "binary manifest $m: not said"
  ! LC_ALL=C grep -q '[^[:print:]]' "$tmp/err" || fail "binary manifest $m: its bytes printed"
done
refuses "OUT is a folder" build "$tmp/manifest" "$tmp/outdir"
[ -d "$tmp/outdir" ] || fail "OUT folder: removed"
[ ! -e "$tmp/bad.pkg" ] && [ -z "$(ls "$tmp" | grep partial)" ] || fail "a refused build left a file"

# --- names that would leave DIR, that Windows alters or takes for a device,
# or one file twice: build refuses the line, extract the package whole ---
# A record renamed in place: its name is in no digest and not in the chain.
rename_record() {
  { printf '%s' "$3"; head -c $((128 - ${#3})) /dev/zero; } |
    dd of="$1" bs=1 seek=$(($2 * 156)) conv=notrunc status=none
}
for bad in '..\up.bin' '\root.bin' '/root.bin' 'c:drive.bin' 'sub\..\..\up.bin' 'sub\\x.bin' '.\x.bin' \
  'foo.' 'foo ' 'bar. \z' 'nul.txt' 'sub\Com1\x.bin' 'FILE_4.BIN'; do
  BAD=$bad awk -F'\t' -v OFS='\t' 'NR == 6 {$1 = ENVIRON["BAD"]} 1' "$tmp/manifest" >"$tmp/munsafe"
  refuses "build with name $bad" build "$tmp/munsafe" "$tmp/unsafe.pkg"
  grep -qF ":6: " "$tmp/err" && grep -qF "\"$bad\"" "$tmp/err" || fail "build with name $bad: not said"
  cp "$tmp/p.pkg" "$tmp/unsafe.pkg"
  rename_record "$tmp/unsafe.pkg" 5 "$bad"
  refuses "unsafe name $bad" extract "$tmp/unsafe.pkg" "$tmp/unsafe"
  grep -qF "\"$bad\" (record 5)" "$tmp/err" && grep -q 'nothing extracted$' "$tmp/err" || fail "unsafe name $bad: not said"
  [ ! -e "$tmp/unsafe" ] || fail "unsafe name $bad: DIR made or written"
  "$Q" verify "$tmp/unsafe.pkg" >/dev/null || fail "unsafe name $bad: verify refuses it"
  "$Q" extract "$tmp/unsafe.pkg" "$tmp/unsafe" file_9.bin >/dev/null && [ -f "$tmp/unsafe/file_9.bin" ] ||
    fail "unsafe name $bad: a safe entry of it is not extracted alone"
  rm -rf "$tmp/unsafe"
done

# --- memory: a package-shaped file of 256 MiB of zeros (sparse) is walked, not
# held: a few MiB, whatever the size ---
le32() { printf '\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
size=$((256 << 20))
per=$(( (size - 8268) / 53 ))
for i in $(seq 0 52); do
  name=$(printf 'junk_%02d.bin' "$i")
  printf '%s' "$name"
  head -c $((128 - ${#name})) /dev/zero
  printf "$(le32 $((8268 + i * per)))$(le32 $per)"
  head -c 20 /dev/zero
done >"$tmp/junk.pkg"
truncate -s $size "$tmp/junk.pkg"
/usr/bin/time -f %M -o "$tmp/rss" "$Q" verify "$tmp/junk.pkg" >"$tmp/out" 2>/dev/null
[ "$(grep -c '^FAIL junk_[0-9]*.bin: digest mismatch$' "$tmp/out")" = 53 ] || fail "junk: not 53 digest mismatches"
kb=$(tail -n1 "$tmp/rss")
[ "$kb" -lt 32768 ] || fail "junk: verify of 256 MiB took $kb KB"
echo "  256 MiB of junk verified in $kb KB"
rm -f "$tmp/junk.pkg"

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
