#!/usr/bin/env bash
# Without an X display Wine can make no window: the setup program must end on
# its own with a non-zero code instead of waiting for messages of a window
# that does not exist.
set -u
. "$QV_SOURCE_DIR/tests/wine/lib.sh"
qv_prefix_new || exit 1
trap qv_prefix_drop EXIT
setup=$(winepath_of() { echo "Z:$1" | tr / '\\'; }; winepath_of "$QV_DIST_DIR/x64/QuorvaneSetup.exe")
code=$(unset DISPLAY; timeout 120 "$QV_WINE64" "$QV_BUILD_ROOT/x64/tools/qvrun.exe" "$setup" -h 2>/dev/null | tr -d '\r' | tail -n1)
echo "exit code without a window: $code"
if [ "$code" = "-2" ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
