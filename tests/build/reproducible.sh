#!/usr/bin/env bash
# Builds the shipped setup program a second time, from a copy of the sources at
# another path into another build folder, and compares it byte for byte with
# the one scripts/build made: no time stamps or build paths may leak in.
#   reproducible.sh SOURCE_DIR BUILD_ROOT DIST_DIR
set -u
src=$1 broot=$2 dist=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/qv-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
(cd "$src" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$work/src")
cmake -S "$work/src" -B "$work/i686" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/toolchain-i686-w64-mingw32.cmake" \
  -DQV_QVPACK="$broot/native/tools/qvpack/qvpack" -DQV_NATIVE_TOOLS_DIR="$broot/native/tools" \
  -DQV_X64_PRODUCT_DIR="$broot/x64/product" >/dev/null || { echo "0 passed, 1 failed"; exit 1; }
cmake --build "$work/i686" --target QuorvaneSetup -j "$(nproc)" >"$work/build.log" 2>&1 || {
  tail -20 "$work/build.log"; echo "0 passed, 1 failed"; exit 1; }
if cmp "$work/i686/QuorvaneSetup.exe" "$dist/QuorvaneSetup.exe"; then
  echo "identical: $(sha256sum < "$dist/QuorvaneSetup.exe" | cut -c1-16)... ($(stat -c %s "$dist/QuorvaneSetup.exe") bytes)"
  echo "1 passed, 0 failed"
else
  echo "FAIL: a second build of the same sources differs"
  echo "0 passed, 1 failed"
  exit 1
fi
