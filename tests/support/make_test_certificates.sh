#!/bin/sh
# Makes the test site's throw-away certificates into OUT_DIR:
#   ca.pem                 the authority the tests trust (CLIPMOOR_CA_BUNDLE)
#   server.pem/server.key  signed by it, for the site's host names, localhost and 127.0.0.1
#   untrusted-server.pem/.key
#                          signed by a second authority that nobody trusts, for UNTRUSTED_HOST
# usage: make_test_certificates.sh OPENSSL OUT_DIR UNTRUSTED_HOST
set -eu

openssl=$1
out=$2
untrusted_host=$3
work="$out/work"
rm -rf "$work"
mkdir -p "$work"

# openssl talks on stderr even when all is well: keep that quiet unless a step fails.
run() {
    "$openssl" "$@" 2>>"$work/openssl.log" || {
        cat "$work/openssl.log" >&2
        echo "make_test_certificates.sh: openssl $1 failed" >&2
        exit 1
    }
}

make_authority() {  # NAME COMMON_NAME
    run req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -sha256 \
        -days 3650 -subj "/O=Clipmoor tests/CN=$2" \
        -keyout "$work/$1.key" -out "$work/$1.pem" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -addext "subjectKeyIdentifier=hash"
}

make_server() {  # NAME AUTHORITY SUBJECT_ALT_NAMES
    run req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -sha256 \
        -subj "/O=Clipmoor tests/CN=$1" -keyout "$work/$1.key" -out "$work/$1.csr"
    cat > "$work/$1.ext" <<EXT
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=serverAuth
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
subjectAltName=$3
EXT
    run x509 -req -sha256 -days 3650 -in "$work/$1.csr" -CA "$work/$2.pem" \
        -CAkey "$work/$2.key" -set_serial "0x$("$openssl" rand -hex 8)" \
        -extfile "$work/$1.ext" -out "$work/$1.pem"
}

make_authority ca "Clipmoor test authority"
make_authority untrusted-ca "Clipmoor authority nobody trusts"
make_server server ca \
    "DNS:www.youtube.com,DNS:youtu.be,DNS:i.ytimg.com,DNS:vimeo.com,DNS:localhost,IP:127.0.0.1"
make_server untrusted-server untrusted-ca "DNS:$untrusted_host"

# Check the chain before anything relies on it, so a broken authority fails the build here.
run verify -CAfile "$work/ca.pem" "$work/server.pem" >/dev/null

for file in ca.pem server.pem server.key untrusted-server.pem untrusted-server.key; do
    cp "$work/$file" "$out/$file"
done
rm -rf "$work"
