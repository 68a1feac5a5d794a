#!/usr/bin/env bash
# scripts/release end to end (in-stage win64), from a folder of the files the
# shipped program packs, each with a marker appended (the text .sys stand-ins
# replaced by the placeholder DLL of their build, so of their width): refused with faults in it; released, signed
# and byte-identical from another checkout path; installed in the stage.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
. "$QV_SOURCE_DIR/tests/i386/env.sh"
qv_i386_e2e_names
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT
product=$E2E_WORK/product dist=$E2E_WORK/dist
while IFS=$'\t' read -r name src; do
  case $name in *.sys) src=${src%/product/*}/tools/placeholder/qv_placeholder_dll.dll ;; esac
  mkdir -p "$(dirname "$product/${name//\\//}")"
  { cat "$src"; printf '\r\nrelease test: %s\r\n' "$name"; } >"$product/${name//\\//}"
done <"$QV_BUILD_ROOT/i686/product/package.manifest"
# release SOURCES BUILD_ROOT DIST_DIR ARGS...
release() { BUILD_ROOT=$2 DIST_DIR=$3 QV_SKIP_DEPS=1 JOBS=2 "$1/scripts/release" "${@:4}" 2>&1; }

bad=$E2E_WORK/bad
cp -a "$product" "$bad"
rm -r "$bad/codec/hcmp3enc_licence.txt" "$bad/Quorvane.ico" "$bad/readme.txt"
cp "$product/hcqv_asiodriver.dll" "$bad/hcqvins_asiodriver64.dll"
mkdir "$bad/Quorvane.ico"
ln -s "$product/readme.txt" "$bad/readme.txt"
touch "$bad/Quorvane.exe.bak"
cp "$QV_BUILD_ROOT/i686/product/Quorvane.exe" "$bad/QuorvanePro.exe"
out=$(release "$QV_SOURCE_DIR" "$QV_BUILD_ROOT" "$dist" "$bad")
e2e_equal "refused, one line per problem" "\
release: QuorvanePro.exe: is one of this project's stand-ins, not a product file
release: Quorvane.ico: is a folder, not a file
release: readme.txt: is a link; put the file itself there
release: hcqvins_asiodriver64.dll: a PE file for i386, but this entry must be one for x86-64
release: codec\\hcmp3enc_licence.txt: missing
release: Quorvane.exe.bak: no entry names it (--allow-extra to release without it)
release: 6 problem(s) in $bad; nothing built" "$out"

(cd "$E2E_WORK" && openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 -subj \
  /CN=Signer -addext extendedKeyUsage=codeSigning && openssl pkcs12 -export -inkey signer.key -in signer.pem \
  -passout pass: -out signer.pfx) >/dev/null 2>&1 || e2e_bad "a throwaway certificate made"
out=$(QV_SIGN_PASSWORD='' QV_RELEASE_CAFILE=$E2E_WORK/signer.pem \
  release "$QV_SOURCE_DIR" "$QV_BUILD_ROOT" "$dist" "$product" "$E2E_WORK/signer.pfx")
echo "$out" | sed 's/^/        /'
released=$dist/release/QuorvaneSetup.exe
e2e_check "released and signed" eval 'osslsigncode verify -CAfile "$E2E_WORK/signer.pem" -in "$released" >/dev/null'
"$QV_BUILD_ROOT/native/tools/qvpack/qvpack" extract "$released" "$E2E_WORK/entries" >/dev/null
e2e_check "qvpack extract gives back exactly the folder's files" diff -r "$E2E_WORK/entries" "$product"
out=$(QV_SIGN_PASSWORD='' release "$QV_SOURCE_DIR" "$QV_BUILD_ROOT" "$dist" "$product" "$E2E_WORK/signer.pfx")
e2e_equal "a signature that the system's certificates do not trust is refused" \
  "release: the signature does not verify; nothing released" "$(tail -n1 <<<"$out")"

mkdir -p "$E2E_WORK/copy/build"
(cd "$QV_SOURCE_DIR" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$E2E_WORK/copy")
ln -s "$QV_BUILD_ROOT/native" "$E2E_WORK/copy/build/native"
release "$E2E_WORK/copy" "$E2E_WORK/copy/build" "$E2E_WORK/copy/dist" "$product" >/dev/null
e2e_check "released from another checkout path: the same unsigned program" \
  cmp "$E2E_WORK/copy/dist/release/QuorvaneSetup.exe" "$QV_BUILD_ROOT/release/QuorvaneSetup.exe"

e2e_scenario "$QV_WINE_ARCH: the released program, silent install"
e2e_setup "$released" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
e2e_check "the product folder holds the folder's files (beside the uninstaller copy)" \
  diff -r -x QuorvaneSetup.exe "$(e2e_folder)" "$product"
e2e_scenario_end

e2e_finish
