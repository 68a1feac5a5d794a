#!/usr/bin/env bash
# The archive that `stage setup` would fetch from, chosen from apt sources of
# both forms in a folder of our own (QV_APT_ETC): no stage, no network.
set -u
stage=$(cd "$(dirname "$0")" && pwd)/stage
etc=$(mktemp -d)
trap 'rm -rf "$etc"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# chooses WHAT EXPECTED: `stage mirror` prints EXPECTED alone and exits 0.
chooses() {
  local got
  got=$(QV_APT_ETC=$etc "$stage" mirror 2>"$etc.err")
  [ $? = 0 ] && [ "$got" = "$2" ] && [ ! -s "$etc.err" ] || fail "$1: got '$got' $(cat "$etc.err"), want '$2'"
  rm -f "$etc.err"
}

# deb822: security and source-only stanzas, a stanza turned off, and a file apt
# does not read come first; the main suites' stanza also lists -updates.
mkdir -p "$etc/sources.list.d"
printf 'Types: deb\nURIs: http://main.example.invalid/other\nSuites: bookworm\nComponents: main\n' \
  >"$etc/sources.list.d/0-first.sources.disabled"
cat >"$etc/sources.list.d/debian.sources" <<'SOURCES'
# stanzas in the order a cloud image has them, and some that must be passed over
Types: deb
URIs: http://security.example.invalid/debian-security
Suites: bookworm-security
Components: main

Types: deb-src
URIs: http://src.example.invalid/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://off.example.invalid/debian
Suites: bookworm
Components: main
Enabled: no

Types: deb
URIs: http://main.example.invalid/debian
Suites: bookworm
  bookworm-updates
Components: main contrib
SOURCES
chooses "deb822" http://main.example.invalid/debian

# One-line form: sources.list is read before the parts and wins; options in
# brackets, updates only, and a vendor's archive without main are passed over.
cat >"$etc/sources.list" <<'LIST'
# deb http://commented.example.invalid/debian bookworm main
deb-src http://src.example.invalid/debian bookworm main
deb [arch=amd64 signed-by=/k.gpg] http://updates.example.invalid/debian bookworm-updates main
deb https://vendor.example.invalid/apt bookworm stable
deb [ arch=amd64 ] http://line.example.invalid/debian/ bookworm main non-free-firmware
LIST
chooses "sources.list" http://line.example.invalid/debian/
rm "$etc/sources.list"
printf 'deb http://parts.example.invalid/debian trixie main\n' >"$etc/sources.list.d/a.list"
chooses "a .list part before a .sources part" http://parts.example.invalid/debian

QV_DEBIAN_MIRROR=http://override.example.invalid/debian chooses "QV_DEBIAN_MIRROR" http://override.example.invalid/debian

# Nothing usable: one line on stderr, nothing on stdout, a failure.
rm "$etc/sources.list.d/a.list" "$etc/sources.list.d/debian.sources"
out=$(QV_APT_ETC=$etc "$stage" mirror 2>"$etc.err")
rc=$?
[ $rc != 0 ] && [ -z "$out" ] && [ "$(wc -l <"$etc.err")" = 1 ] || fail "no archive: rc $rc, out '$out', $(cat "$etc.err")"
echo "  no archive: $(cat "$etc.err")"
rm -f "$etc.err"

[ $failures = 0 ] && echo "stage mirror: all checks passed"
exit $((failures > 0))
