#!/usr/bin/env bash
# Transfers through the main window (offscreen) against the headless runner and lftp, on loopback
# against vsftpd, and the longest stall of the window's UI thread while they run.
#
#   bench/window.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured as Release with -DTIDEWICK_BENCH=ON when it has
# no window_transfer_bench yet). The window and its peer run alternately (A B A B ...) and the
# median of the per-pair ratios is reported; below 1.0 means the window was faster. The window's
# time is that of the Download or Upload command, from the command to the end of the run (the
# receiving pane listed again); the peers' is their whole process.
# Needs root (vsftpd), vsftpd, lftp and /usr/bin/python3. Takes a few minutes.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-bench}
PAIRS_BIG=${PAIRS_BIG:-5}   # 1 GiB transfers
PAIRS_TREE=${PAIRS_TREE:-9} # the 2000-file folder

if [ "$(id -u)" -ne 0 ]; then
  echo "bench/window.sh: run as root (vsftpd needs it)" >&2
  exit 1
fi
for tool in /usr/sbin/vsftpd lftp /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "bench/window.sh: $tool is missing (scripts/deps installs it)" >&2; exit 1; }
done
if [ ! -x "$BUILD/src/tidewick" ] || [ ! -x "$BUILD/bench/window_transfer_bench" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWICK_BENCH=ON -DTIDEWICK_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target tidewick window_transfer_bench
fi
TIDEWICK=$BUILD/src/tidewick
WINDOW=$BUILD/bench/window_transfer_bench

WORK=$(mktemp -d /tmp/tidewick-window-bench.XXXXXX)
VSFTPD_PID=""
cleanup() {
  [ -n "$VSFTPD_PID" ] && kill "$VSFTPD_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# --- server: anonymous access to $WORK/root; /up is writable ------------------------------------
chmod 755 "$WORK"
mkdir -p "$WORK/root/pub" "$WORK/root/up" "$WORK/root/tree" "$WORK/empty" "$WORK/src" "$WORK/dl"
chown ftp "$WORK/root/up"
echo "Preparing files..."
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$WORK/root/pub/big.bin"
cp "$WORK/root/pub/big.bin" "$WORK/src/big.bin"
/usr/bin/python3 - "$WORK/root" <<'PY'
import os, sys
for i in range(2000):
    sub = os.path.join(sys.argv[1], "tree", "d%02d" % (i // 100))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, "f%04d.dat" % i), "wb") as f:
        f.write(os.urandom(4096))
PY
chmod -R a+rX "$WORK/root"
sync

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
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
allow_writeable_chroot=YES
secure_chroot_dir=$WORK/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=NO
use_localtime=NO
connect_from_port_20=NO
pasv_enable=YES
CONF
/usr/sbin/vsftpd "$WORK/vsftpd.conf" >"$WORK/vsftpd.log" 2>&1 &
VSFTPD_PID=$!
for _ in $(seq 50); do
  lftp -u ftp,bench -p "$PORT" -e "ls; quit" 127.0.0.1 >/dev/null 2>&1 && break
  sleep 0.1
done
echo "vsftpd on 127.0.0.1:$PORT"

queue() { # queue FILE NAME LOCAL_FOLDER REMOTE_FOLDER COMMAND TYPE
  /usr/bin/python3 - "$@" "$PORT" <<'PY'
import sys
path, name, local, remote, command, kind, port = sys.argv[1:8]
enc = lambda s: "".join(chr(b + 10) for b in s.encode())
cols = [name, local, remote, "127.0.0.1", "0", command, "Binary", kind, enc("ftp"), enc("bench@"), port]
with open(path, "w", encoding="utf-8") as f:
    f.write("[LISTQUE]\nLISTCOUNT=1\n")
    for j, v in enumerate(cols):
        f.write("ROW1.%d=%s\n" % (j, v))
PY
}
queue "$WORK/get.que" big.bin "$WORK/dl/" /pub Download File
queue "$WORK/put.que" big.bin "$WORK/src/" /up Upload File

clear_dl() { rm -rf "$WORK/dl" && mkdir -p "$WORK/dl" && sync; }
clear_up() { rm -f "$WORK/root/up/big.bin" && sync; }

# window ARGS...: runs one window transfer, prints "SECONDS STALL_MS".
window() {
  local out
  out=$("$WINDOW" 127.0.0.1 "$PORT" ftp bench@ "$@" 2>>"$WORK/errors.log") ||
    { echo "bench/window.sh: window transfer failed: $*" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  sed -E 's/seconds=([0-9.]+) stall_ms=([0-9]+)/\1 \2/' <<<"$out"
}
# elapsed CMD...: the wall time of CMD in seconds.
elapsed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>>"$WORK/errors.log" || { echo "bench/window.sh: failed: $*" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  end=$(date +%s%N)
  /usr/bin/python3 -c "print(($end - $start) / 1e9)"
}

# compare LABEL N PREPARE "WINDOW ARGS" PEER_CMD...: alternates the window and the peer N times.
compare() {
  local label=$1 n=$2 prepare=$3 args=$4; shift 4
  local tw=() stalls=() tp=()
  for _ in $(seq "$n"); do
    $prepare
    read -r seconds stall <<<"$(window $args)"
    tw+=("$seconds"); stalls+=("$stall")
    $prepare
    tp+=("$(elapsed "$@")")
  done
  /usr/bin/python3 - "$label" "$n" "${tw[@]}" "${tp[@]}" "${stalls[@]}" <<'PY'
import statistics, sys
label, n = sys.argv[1], int(sys.argv[2])
w = [float(x) for x in sys.argv[3:3 + n]]
p = [float(x) for x in sys.argv[3 + n:3 + 2 * n]]
s = [int(x) for x in sys.argv[3 + 2 * n:3 + 3 * n]]
r = [a / b for a, b in zip(w, p)]
print("%-46s ratio %.2f  (window median %.3f s, peer %.3f s, %d pairs, ratios %.2f..%.2f); longest UI stall %d ms"
      % (label, statistics.median(r), statistics.median(w), statistics.median(p), n, min(r), max(r), max(s)))
PY
}

echo "Checking the transfers once..."
clear_dl
window download /pub "$WORK/dl" big.bin >/dev/null
cmp -s "$WORK/root/pub/big.bin" "$WORK/dl/big.bin" || { echo "bench/window.sh: download differs" >&2; exit 1; }
clear_up
window upload /up "$WORK/src" big.bin >/dev/null
cmp -s "$WORK/src/big.bin" "$WORK/root/up/big.bin" || { echo "bench/window.sh: upload differs" >&2; exit 1; }
clear_dl
window download / "$WORK/dl" tree >/dev/null
diff -r "$WORK/root/tree" "$WORK/dl/tree" >/dev/null || { echo "bench/window.sh: folder download differs" >&2; exit 1; }

echo
echo "Ratios (window / peer, median of pairs; goals: 1 GiB <= 1.05 of the runner, folder <= 1.0 of lftp,"
echo "no UI stall above 50 ms):"
compare "1 GiB download vs tidewick --run-queue" "$PAIRS_BIG" clear_dl "download /pub $WORK/dl big.bin" \
  "$TIDEWICK" --run-queue "$WORK/get.que"
compare "1 GiB upload vs tidewick --run-queue" "$PAIRS_BIG" clear_up "upload /up $WORK/src big.bin" \
  "$TIDEWICK" --run-queue "$WORK/put.que"
compare "2000 x 4 KiB folder vs lftp mirror" "$PAIRS_TREE" clear_dl "download / $WORK/dl tree" \
  lftp -u ftp,bench -p "$PORT" -e "mirror /tree $WORK/dl/tree; quit" 127.0.0.1
