#!/usr/bin/env bash
# FTP over TLS throughput of Tidewick's engine (one QuickFtp call, as the queue runs a row) against
# curl (--ssl-reqd) and lftp (ftp:ssl-force), on loopback against one vsftpd that requires TLS for the login and the data and
# that every data connection resume the control connection's TLS session (require_ssl_reuse).
#
#   sudo bench/tls.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured as Release with -DTIDEWICK_BENCH=ON when it has no
# tls_transfer_bench yet). Every figure is a ratio measured in this run: Tidewick and its peer run alternately
# (A B B A ...), and the median of the per-pair ratios is reported; below 1.0 means Tidewick was
# faster. Each side's time is its whole process: start, TLS handshake, login, transfer. The server's
# certificate is self-signed: the peers are told not to verify it, and Tidewick is given its
# fingerprint, as if it had been always trusted in the window.
# Needs root (vsftpd), vsftpd, curl, lftp, openssl and /usr/bin/python3.
set -euo pipefail

BENCH_TAG=tls-bench
. "$(dirname "$0")/lib.sh"
PAIRS_BIG=${PAIRS_BIG:-5}

need_root
need_tools /usr/sbin/vsftpd curl lftp openssl /usr/bin/python3
build tls_transfer_bench
ENGINE=$BUILD/bench/tls_transfer_bench

# --- server -------------------------------------------------------------------------------------
chmod 755 "$WORK"
mkdir -p "$WORK/root/pub" "$WORK/root/up" "$WORK/src" "$WORK/dl"
chmod 777 "$WORK/root/up"
echo "Preparing files..."
big_file "$WORK/root/pub/big.bin" "$WORK/src/big.bin"
chmod -R a+rX "$WORK/root"
sync

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=127.0.0.1" \
  -addext "subjectAltName=IP:127.0.0.1" -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null
FINGERPRINT=$(openssl x509 -in "$WORK/cert.pem" -noout -fingerprint -sha256 | cut -d= -f2)

start_vsftpd <<CONF
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_other_write_enable=YES
anon_umask=022
ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
require_ssl_reuse=YES
strict_ssl_read_eof=YES
ssl_ciphers=HIGH
rsa_cert_file=$WORK/cert.pem
rsa_private_key_file=$WORK/key.pem
CONF

URL=ftp://127.0.0.1:$PORT
LFTP_SETUP="set ftp:ssl-force true; set ftp:ssl-protect-data true; set ssl:verify-certificate no; set ftp:passive-mode true; open -u anonymous,bench@ $URL"
ours_get() { "$ENGINE" get 127.0.0.1 "$PORT" anonymous bench@ /pub/big.bin "$WORK/dl/big.bin" "$FINGERPRINT"; }
ours_put() { "$ENGINE" put 127.0.0.1 "$PORT" anonymous bench@ /up/big.bin "$WORK/src/big.bin" "$FINGERPRINT"; }
curl_get() { curl -s --ssl-reqd -k "$URL/pub/big.bin" -o "$WORK/dl/big.bin"; }
curl_put() { curl -s --ssl-reqd -k -T "$WORK/src/big.bin" "$URL/up/big.bin"; }
lftp_get() { lftp -c "$LFTP_SETUP; get /pub/big.bin -o $WORK/dl/big.bin"; }
lftp_put() { lftp -c "$LFTP_SETUP; put $WORK/src/big.bin -o /up/big.bin"; }

# --- measuring ----------------------------------------------------------------------------------
# Each run starts without the last run's file or its dirty pages still being written back.
clear_dl() { rm -f "$WORK/dl/big.bin" && sync; }
clear_up() { rm -f "$WORK/root/up/big.bin" && sync; }

LABEL_WIDTH=40

echo "Checking the transfers once..."
clear_dl
ours_get >/dev/null
cmp "$WORK/root/pub/big.bin" "$WORK/dl/big.bin"
clear_up
ours_put >/dev/null
cmp "$WORK/src/big.bin" "$WORK/root/up/big.bin"

pairs "1 GiB TLS download vs curl --ssl-reqd" "$PAIRS_BIG" clear_dl ours_get -- curl_get
pairs "1 GiB TLS download vs lftp ssl-force" "$PAIRS_BIG" clear_dl ours_get -- lftp_get
pairs "1 GiB TLS upload vs curl --ssl-reqd" "$PAIRS_BIG" clear_up ours_put -- curl_put
pairs "1 GiB TLS upload vs lftp ssl-force" "$PAIRS_BIG" clear_up ours_put -- lftp_put
