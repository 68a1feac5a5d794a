#!/usr/bin/env bash
# scripts/sign on copies of both built programs, with a throwaway CA, code-signing
# certificate and RFC 3161 time-stamping authority made here (no key lives in
# the repository): an independent tool verifies the signatures and timestamps,
# qvpack still finds and verifies the package, and the signed x86_64 copy
# installs silently under Wine with the signed file itself as its uninstaller
# copy. A wrong password leaves the file as it was; an empty one signs with a
# PFX that has none; the password may come from a file.
set -u
. "$QV_SOURCE_DIR/tests/e2e/lib-e2e.sh"
e2e_setup_checks || exit 1
tsa_pid=
trap 'qv_prefix_drop; [ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null' EXIT
pki=$E2E_WORK/pki
# Laid out as in dist/, so that scripts/sign finds them by default.
mkdir -p "$pki" "$E2E_WORK/x64"
i686=$E2E_WORK/QuorvaneSetup.exe
x64=$E2E_WORK/x64/QuorvaneSetup.exe
cp "$QV_DIST_DIR/QuorvaneSetup.exe" "$i686"
cp "$QV_DIST_DIR/x64/QuorvaneSetup.exe" "$x64"

# cert NAME SUBJECT EXTENDED_KEY_USAGE: a key and a certificate issued by the CA.
cert() {
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" &&
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$1.ext" &&
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile "$1.ext" -out "$1.pem"
}
(
  cd "$pki" &&
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Throwaway CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign &&
  cert signer "Throwaway Signer" codeSigning && cert tsa "Throwaway TSA" critical,timeStamping &&
  openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout pass:throwaway -out signer.pfx &&
  openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout pass: -out nopass.pfx &&
  echo throwaway >password &&
  printf '[tsa]\ndefault_tsa = t\n[t]\nserial = serial\nsigner_cert = tsa.pem\nsigner_key = tsa.key\n%s\n' \
    'signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256' >tsa.cnf
) >"$E2E_WORK/pki.log" 2>&1 || { cat "$E2E_WORK/pki.log"; e2e_bad "throwaway certificates made"; e2e_finish; exit 1; }

e2e_check "a wrong password fails" eval '! QV_SIGN_PASSWORD=wrong "$QV_SOURCE_DIR/scripts/sign" "$pki/signer.pfx" "$i686" >/dev/null 2>&1'
e2e_check "and leaves the file as it was" cmp -s "$i686" "$QV_DIST_DIR/QuorvaneSetup.exe"
cp "$i686" "$E2E_WORK/nopass.exe"
e2e_check "a PFX without a password signs with an empty one" eval \
  'QV_SIGN_PASSWORD= "$QV_SOURCE_DIR/scripts/sign" "$pki/nopass.pfx" "$E2E_WORK/nopass.exe" >/dev/null 2>&1 &&
   osslsigncode verify -CAfile "$pki/ca.pem" -in "$E2E_WORK/nopass.exe" >/dev/null 2>&1'

# The time-stamping authority: openssl answers each RFC 3161 request.
(cd "$pki" && exec python3 -c '
import http.server, subprocess
class Tsa(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", "/dev/stdin",
                                "-out", "/dev/stdout"], input=query, capture_output=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args): pass
server = http.server.HTTPServer(("127.0.0.1", 0), Tsa)
print(server.server_address[1], flush=True)
server.serve_forever()' >"$pki/port") &
tsa_pid=$!
for _ in $(seq 50); do [ -s "$pki/port" ] && break; sleep 0.2; done

DIST_DIR=$E2E_WORK QV_SIGN_PASSWORD_FILE=$pki/password QV_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat "$pki/port")/" \
  "$QV_SOURCE_DIR/scripts/sign" "$pki/signer.pfx" >"$E2E_WORK/sign.log" 2>&1
rc=$?
e2e_equal "scripts/sign signs both programs of the dist folder" 0 "$rc"
[ "$rc" = 0 ] || cat "$E2E_WORK/sign.log"
for f in "$i686" "$x64"; do
  out=$(osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" -in "$f" 2>&1)
  rc=$?
  e2e_equal "osslsigncode verifies $f with the throwaway CA" 0 "$rc"
  [ "$rc" = 0 ] || echo "$out" | tail -5
  e2e_check "SHA-256 signature" grep -q '^Message digest algorithm  : SHA256' <<<"$out"
  e2e_check "RFC 3161 timestamp verified" grep -q '^Timestamp Server Signature verification: ok' <<<"$out"
  e2e_check "qvpack verifies the package of the signed copy" eval '"$QV_DIST_DIR/qvpack" verify "$f" >/dev/null'
done
e2e_check "the unsigned program does not verify" eval \
  '! osslsigncode verify -CAfile "$pki/ca.pem" -in "$QV_DIST_DIR/QuorvaneSetup.exe" >/dev/null 2>&1'

E2E_SETUP=$x64
e2e_scenario "the signed x86_64 copy: silent install"
e2e_setup "$E2E_SETUP" -i -h
e2e_equal "install exits with 0" 0 "$E2E_RESULT"
# Among the rest: the uninstaller copy is byte for byte the signed file.
e2e_check_installed
e2e_scenario_end

e2e_finish
