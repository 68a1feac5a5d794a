#!/usr/bin/env bash
# The elevated program acts only on what it has proven its own: the file it
# runs from, exact names in its folder, files it creates new, and the
# product's own windows. Each scenario plays someone who tries otherwise.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
e2e_setup_checks || exit 1
trap 'qv_prefix_drop' EXIT

e2e_finish
