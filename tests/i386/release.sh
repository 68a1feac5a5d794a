#!/usr/bin/env bash
# scripts/release end to end (through in-stage win64). The product folder is
# made of the files the shipped program packs, each with a marker appended so
# that none is a stand-in's bytes, and PEs of the width the build chose for the
# drivers, whose stand-ins are text. With a file missing, of the wrong width,
# a folder or a link at an entry's name and a file no entry names, it is
# refused; whole, it is released and signed with a throwaway certificate,
# which a release trusting only the system's certificates refuses; a copy of
# the sources at another path releases the same program; qvpack extract gives
# back the folder's files, and a silent install in the stage puts them in place.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
. "$QV_SOURCE_DIR/tests/i386/env.sh"
qv_i386_e2e_names
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT
manifest=$QV_BUILD_ROOT/i686/product/package.manifest
product=$E2E_WORK/product dist=$E2E_WORK/dist
source_of() { awk -F'\t' -v n="$1" '$1 == n { print $2 }' "$manifest"; }
while IFS=$'\t' read -r name src; do
  # The build takes its 64-bit entries from the x86_64 build.
  case $name:$src in
    *.sys:"$QV_BUILD_ROOT/x64/"*) src=$(source_of hcqv_asiodriver64.dll) ;;
    *.sys:*) src=$(source_of hcqv_asiodriver.dll) ;;
  esac
  mkdir -p "$(dirname "$product/${name//\\//}")"
  { cat "$src"; printf '\r\nrelease test: %s\r\n' "$name"; } >"$product/${name//\\//}"
done <"$manifest"
# release SOURCES BUILD_ROOT DIST_DIR ARGS...
release() {
  local sources=$1 build=$2 dist=$3
  shift 3
  BUILD_ROOT=$build DIST_DIR=$dist QV_SKIP_DEPS=1 JOBS=2 "$sources/scripts/release" "$@" 2>&1
}

bad=$E2E_WORK/bad
cp -a "$product" "$bad"
rm -r "$bad/codec/hcmp3enc_licence.txt" "$bad/Quorvane.ico" "$bad/readme.txt"
cp "$product/hcqv_asiodriver.dll" "$bad/hcqvins_asiodriver64.dll"
mkdir "$bad/Quorvane.ico"
ln -s "$product/readme.txt" "$bad/readme.txt"
touch "$bad/Quorvane.exe.bak"
out=$(release "$QV_SOURCE_DIR" "$QV_BUILD_ROOT" "$dist" "$bad")
e2e_equal "refused, one line per problem, nothing built" "\
release: Quorvane.ico: is a folder, not a file
release: readme.txt: is a link; put the file itself there
release: hcqvins_asiodriver64.dll: a PE file for i386, but this entry must be one for x86-64
release: codec\\hcmp3enc_licence.txt: missing
release: Quorvane.exe.bak: no entry names it (--allow-extra to release without it)
release: 5 problem(s) in $bad; nothing built" "$out"
e2e_check "and nothing released" test ! -e "$dist/release"

(cd "$E2E_WORK" && openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 \
  -subj "/CN=Throwaway Release Signer" -addext keyUsage=critical,digitalSignature \
  -addext extendedKeyUsage=codeSigning && openssl pkcs12 -export -inkey signer.key -in signer.pem \
  -passout pass: -out signer.pfx) >/dev/null 2>&1 || e2e_bad "a throwaway certificate made"
out=$(QV_SIGN_PASSWORD= QV_RELEASE_CAFILE=$E2E_WORK/signer.pem \
  release "$QV_SOURCE_DIR" "$QV_BUILD_ROOT" "$dist" "$product" "$E2E_WORK/signer.pfx")
echo "$out" | sed 's/^/        /'
released=$dist/release/QuorvaneSetup.exe
e2e_check "released and signed" eval 'osslsigncode verify -CAfile "$E2E_WORK/signer.pem" -in "$released" >/dev/null'
e2e_equal "the SHA-256 printed is the file's" "  sha256:  $(sha256sum <"$released" | cut -d' ' -f1)" "$(grep sha256: <<<"$out")"
"$QV_BUILD_ROOT/native/tools/qvpack/qvpack" extract "$released" "$E2E_WORK/entries" >/dev/null
e2e_check "qvpack extract gives back exactly the folder's files" diff -r "$E2E_WORK/entries" "$product"
cp "$released" "$E2E_WORK/good.exe"
out=$(QV_SIGN_PASSWORD= release "$QV_SOURCE_DIR" "$QV_BUILD_ROOT" "$dist" "$product" "$E2E_WORK/signer.pfx")
e2e_equal "a signature that the system's certificates do not trust is refused" \
  "release: the signature does not verify; nothing released" "$(tail -n1 <<<"$out")"
e2e_check "and the release before stays" cmp "$released" "$E2E_WORK/good.exe"

mkdir -p "$E2E_WORK/copy/build"
(cd "$QV_SOURCE_DIR" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$E2E_WORK/copy")
ln -s "$QV_BUILD_ROOT/native" "$E2E_WORK/copy/build/native"
release "$E2E_WORK/copy" "$E2E_WORK/copy/build" "$E2E_WORK/copy/dist" "$product" >/dev/null
e2e_check "released from another checkout path: the same unsigned program" \
  cmp "$E2E_WORK/copy/dist/release/QuorvaneSetup.exe" "$QV_BUILD_ROOT/release/QuorvaneSetup.exe"

E2E_SETUP=$released
e2e_scenario "$QV_WINE_ARCH: the released program, silent install"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_check "the product folder holds the folder's files (beside the uninstaller copy)" \
  diff -r -x QuorvaneSetup.exe "$(e2e_folder)" "$product"
e2e_scenario_end

e2e_finish
