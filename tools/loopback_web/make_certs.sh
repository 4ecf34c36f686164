#!/bin/sh
# Makes the loopback server's test certificates in folder $1: a CA that a test may trust
# (ca.pem), a certificate it signed for 127.0.0.1 and localhost (trusted), one it signed for
# another host (wronghost), and one that signs itself (selfsigned). Each key is NAME.key.
set -eu
cd "$1"
key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650"
leaf="-addext basicConstraints=critical,CA:FALSE"
here="-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1,DNS:localhost"
{
    openssl req -x509 $key -keyout ca.key -out ca.pem -subj "/CN=Vidrake loopback CA"
    openssl req -x509 $key -CA ca.pem -CAkey ca.key $leaf $here -keyout trusted.key -out trusted.pem
    openssl req -x509 $key -CA ca.pem -CAkey ca.key $leaf -subj /CN=wrong.invalid \
        -addext subjectAltName=DNS:wrong.invalid -keyout wronghost.key -out wronghost.pem
    openssl req -x509 $key $leaf $here -keyout selfsigned.key -out selfsigned.pem
} 2>openssl.log || { cat openssl.log >&2; exit 1; }
