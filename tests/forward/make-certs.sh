#!/bin/sh
# make-certs.sh DIR: the certificates of the TLS tests, made by openssl in DIR (EC P-256
# keys but dxa-17's, RSA; mode 0600): a CA (ca) and one that signed nothing of ours
# (rogue-ca); the collector's (collector, for logs.example) and one not valid before
# 2040 (collector-future); the modules' dxa-17 (ending in 20 days) and dxa-18.
set -eu
cd "$1"
cat >ca.cnf <<'EOF'
[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
[any]
commonName = supplied
EOF
: >index.txt
echo 01 >serial

key() {
    if [ "$1" = dxa-17 ]; then
        openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null
    else
        openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null
    fi
    chmod 600 "$1.key"
}
authority() {  # NAME CN
    key "$1"
    openssl req -x509 -new -key "$1.key" -subj "/CN=$2" -days 3650 -out "$1.pem" 2>/dev/null
}
signed() {  # NAME CN CA [DATES...]
    name=$1 cn=$2 ca=$3
    shift 3
    key "$name"
    openssl req -new -key "$name.key" -subj "/CN=$cn" -addext "subjectAltName=DNS:$cn" \
        -out "$name.csr" 2>/dev/null
    openssl ca -batch -notext -config ca.cnf -cert "$ca.pem" -keyfile "$ca.key" \
        -in "$name.csr" -out "$name.pem" "$@" 2>/dev/null
}

authority ca "sel test CA"
authority rogue-ca "another CA"
signed collector logs.example ca -days 365
signed collector-future logs.example ca -startdate 20400101000000Z -enddate 20410101000000Z
signed dxa-17 dxa-17 ca -days 20
signed dxa-18 dxa-18 ca -days 365
