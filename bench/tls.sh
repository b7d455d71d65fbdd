#!/usr/bin/env bash
# FTP over TLS throughput of Tidewick's engine (one QuickFtp call, as the queue runs a row) against
# curl (--ssl-reqd) and lftp (ftp:ssl-force), on loopback against one vsftpd that requires TLS for the login and the data and
# that every data connection resume the control connection's TLS session (require_ssl_reuse).
#
#   sudo bench/tls.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured as Release with -DTIDEWICK_BENCH=ON when it has no
# tls_transfer_bench yet). Every figure is a ratio measured in this run: Tidewick and its peer run alternately
# (A B A B ...), and the median of the per-pair ratios is reported; below 1.0 means Tidewick was
# faster. Each side's time is its whole process: start, TLS handshake, login, transfer. The server's
# certificate is self-signed: the peers are told not to verify it, and Tidewick is given its
# fingerprint, as if it had been always trusted in the window.
# Needs root (vsftpd), vsftpd, curl, lftp, openssl and /usr/bin/python3.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-bench}
PAIRS_BIG=${PAIRS_BIG:-5}

if [ "$(id -u)" -ne 0 ]; then
  echo "bench/tls.sh: run as root (vsftpd needs it)" >&2
  exit 1
fi
for tool in /usr/sbin/vsftpd curl lftp openssl /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "bench/tls.sh: $tool is missing (scripts/deps installs it)" >&2; exit 1; }
done
if [ ! -x "$BUILD/bench/tls_transfer_bench" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWICK_BENCH=ON -DTIDEWICK_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target tls_transfer_bench
fi
ENGINE=$BUILD/bench/tls_transfer_bench

WORK=$(mktemp -d /tmp/tidewick-tls-bench.XXXXXX)
VSFTPD_PID=""
cleanup() {
  [ -n "$VSFTPD_PID" ] && kill "$VSFTPD_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# --- server -------------------------------------------------------------------------------------
chmod 755 "$WORK"
mkdir -p "$WORK/root/pub" "$WORK/root/up" "$WORK/empty" "$WORK/src" "$WORK/dl"
chmod 777 "$WORK/root/up"
echo "Preparing files..."
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$WORK/root/pub/big.bin"
cp "$WORK/root/pub/big.bin" "$WORK/src/big.bin"
chmod -R a+rX "$WORK/root"
sync

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=127.0.0.1" \
  -addext "subjectAltName=IP:127.0.0.1" -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null
FINGERPRINT=$(openssl x509 -in "$WORK/cert.pem" -noout -fingerprint -sha256 | cut -d= -f2)

PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$WORK/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$PORT
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root=$WORK/root
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_other_write_enable=YES
anon_umask=022
allow_writeable_chroot=YES
secure_chroot_dir=$WORK/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=NO
connect_from_port_20=NO
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
/usr/sbin/vsftpd "$WORK/vsftpd.conf" >"$WORK/vsftpd.log" 2>&1 &
VSFTPD_PID=$!
for _ in $(seq 50); do
  curl -s --max-time 1 --ssl-reqd -k "ftp://127.0.0.1:$PORT/" -o /dev/null && break
  sleep 0.1
done
echo "vsftpd on 127.0.0.1:$PORT"

URL=ftp://127.0.0.1:$PORT
LFTP_SETUP="set ftp:ssl-force true; set ftp:ssl-protect-data true; set ssl:verify-certificate no; set ftp:passive-mode true; open -u anonymous,bench@ $URL"
ours_get() { "$ENGINE" get 127.0.0.1 "$PORT" anonymous bench@ /pub/big.bin "$WORK/dl/big.bin" "$FINGERPRINT"; }
ours_put() { "$ENGINE" put 127.0.0.1 "$PORT" anonymous bench@ /up/big.bin "$WORK/src/big.bin" "$FINGERPRINT"; }
curl_get() { curl -s --ssl-reqd -k "$URL/pub/big.bin" -o "$WORK/dl/big.bin"; }
curl_put() { curl -s --ssl-reqd -k -T "$WORK/src/big.bin" "$URL/up/big.bin"; }
lftp_get() { lftp -c "$LFTP_SETUP; get /pub/big.bin -o $WORK/dl/big.bin"; }
lftp_put() { lftp -c "$LFTP_SETUP; put $WORK/src/big.bin -o /up/big.bin"; }

# --- measuring ----------------------------------------------------------------------------------
elapsed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>>"$WORK/errors.log" || { echo "bench/tls.sh: failed: $*" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  end=$(date +%s%N)
  /usr/bin/python3 -c "print(($end - $start) / 1e9)"
}
# Each run starts without the last run's file or its dirty pages still being written back.
clear_dl() { rm -f "$WORK/dl/big.bin" && sync; }
clear_up() { rm -f "$WORK/root/up/big.bin" && sync; }

# pairs LABEL PREPARE OURS PEER
pairs() {
  local label=$1 prepare=$2 ours=$3 peer=$4 ta=() tb=()
  for _ in $(seq "$PAIRS_BIG"); do
    $prepare; ta+=("$(elapsed "$ours")")
    $prepare; tb+=("$(elapsed "$peer")")
  done
  /usr/bin/python3 - "$label" "${#ta[@]}" "${ta[@]}" "${tb[@]}" <<'PY'
import statistics, sys
label, n = sys.argv[1], int(sys.argv[2])
a = [float(x) for x in sys.argv[3:3 + n]]
b = [float(x) for x in sys.argv[3 + n:3 + 2 * n]]
ratios = [x / y for x, y in zip(a, b)]
print("%-40s ratio %.2f  (Tidewick median %.3f s, peer %.3f s, %d pairs, ratios %.2f..%.2f)"
      % (label, statistics.median(ratios), statistics.median(a), statistics.median(b), n, min(ratios), max(ratios)))
PY
}

echo "Checking the transfers once..."
clear_dl
ours_get >/dev/null
cmp "$WORK/root/pub/big.bin" "$WORK/dl/big.bin"
clear_up
ours_put >/dev/null
cmp "$WORK/src/big.bin" "$WORK/root/up/big.bin"

pairs "1 GiB TLS download vs curl --ssl-reqd" clear_dl ours_get curl_get
pairs "1 GiB TLS download vs lftp ssl-force" clear_dl ours_get lftp_get
pairs "1 GiB TLS upload vs curl --ssl-reqd" clear_up ours_put curl_put
pairs "1 GiB TLS upload vs lftp ssl-force" clear_up ours_put lftp_put
