#!/usr/bin/env bash
# A queue of 2000 rows, each a 4 KiB file, processed from the queue window (offscreen) against
# `lftp mirror` of the same files, on loopback against vsftpd; then the largest queues the window
# holds, added, sorted, removed, loaded and saved.
#
#   bench/queue.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured as Release with -DTIDEWICK_BENCH=ON when it has
# no queue_window_bench yet). The window and lftp run alternately (A B A B ...) and the median of
# the per-pair ratios is reported; below 1.0 means the window was faster. The window's time is
# that of Process Que, from the command until the last row is gone; lftp's is its whole process.
# As in run.sh, both run as the anonymous user (locked into the server's root) and as a local user
# with a password. Needs root (vsftpd, the local user), vsftpd, lftp and /usr/bin/python3.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-bench}
PAIRS=${PAIRS:-9}
# The local user is made for this run alone (another run at the same time must not reset its
# password) and removed again at the end.
BENCH_USER=twbench$(head -c 4 /dev/urandom | od -An -tx1 | tr -d ' \n')

if [ "$(id -u)" -ne 0 ]; then
  echo "bench/queue.sh: run as root (vsftpd needs it)" >&2
  exit 1
fi
for tool in /usr/sbin/vsftpd lftp /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "bench/queue.sh: $tool is missing (scripts/deps installs it)" >&2; exit 1; }
done
if [ ! -x "$BUILD/bench/queue_window_bench" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWICK_BENCH=ON -DTIDEWICK_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target queue_window_bench
fi
WINDOW=$BUILD/bench/queue_window_bench

WORK=$(mktemp -d /tmp/tidewick-queue-bench.XXXXXX)
VSFTPD_PID=""
MADE_USER=""
cleanup() {
  [ -n "$VSFTPD_PID" ] && kill "$VSFTPD_PID" 2>/dev/null || true
  [ -n "$MADE_USER" ] && userdel "$BENCH_USER" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# --- server: anonymous access to $WORK/root, and the local user whose home it is ---------------
chmod 755 "$WORK"
mkdir -p "$WORK/root/flat" "$WORK/empty" "$WORK/dl"
useradd --no-create-home --home-dir "$WORK/root" --shell /bin/sh "$BENCH_USER"
MADE_USER=yes
BENCH_PASSWORD=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
echo "$BENCH_USER:$BENCH_PASSWORD" | chpasswd
echo "Preparing files..."
/usr/bin/python3 - "$WORK/root/flat" <<'PY'
import os, sys
for i in range(2000):
    with open(os.path.join(sys.argv[1], "f%04d.dat" % i), "wb") as f:
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
local_enable=YES
local_umask=022
chroot_local_user=NO
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

# queue FILE LOCAL_FOLDER REMOTE_FOLDER USER PASSWORD: one Download row per file of the folder.
queue() {
  /usr/bin/python3 - "$@" "$PORT" "$WORK/root/flat" <<'PY'
import os, sys
path, local, remote, user, password, port, folder = sys.argv[1:8]
enc = lambda s: "".join(chr(b + 10) for b in s.encode())
names = sorted(os.listdir(folder))
with open(path, "w", encoding="utf-8") as f:
    f.write("[LISTQUE]\nLISTCOUNT=%d\n" % len(names))
    for i, name in enumerate(names, 1):
        cols = [name, local, remote, "127.0.0.1", "4096", "Download", "Binary", "File", enc(user), enc(password), port]
        for j, v in enumerate(cols):
            f.write("ROW%d.%d=%s\n" % (i, j, v))
PY
}
SERVERS="anonymous local"
login_anonymous="ftp bench@"
root_anonymous=""
login_local="$BENCH_USER $BENCH_PASSWORD"
root_local="$WORK/root"
for server in $SERVERS; do
  login=login_$server
  root=root_$server
  read -r user password <<<"${!login}"
  queue "$WORK/$server.que" "$WORK/dl/flat/" "${!root}/flat" "$user" "$password"
done

clear_dl() { rm -rf "$WORK/dl" && mkdir -p "$WORK/dl/flat" && sync; }

# window FILE: processes the queue file from the window, prints "SECONDS STALL_MS".
window() {
  local out
  out=$("$WINDOW" run "$1" 2>>"$WORK/errors.log") ||
    { echo "bench/queue.sh: the queue did not run: $1" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  sed -E 's/seconds=([0-9.]+) stall_ms=([0-9]+) rows=0/\1 \2/' <<<"$out"
}
elapsed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>>"$WORK/errors.log" || { echo "bench/queue.sh: failed: $*" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  end=$(date +%s%N)
  /usr/bin/python3 -c "print(($end - $start) / 1e9)"
}

echo "Checking the transfers once..."
for server in $SERVERS; do
  clear_dl
  window "$WORK/$server.que" >/dev/null
  diff -r "$WORK/root/flat" "$WORK/dl/flat" >/dev/null || { echo "bench/queue.sh: $server queue run differs" >&2; exit 1; }
done

echo
echo "Ratios (window / lftp mirror, median of pairs; goal <= 1.0):"
for server in $SERVERS; do
  login=login_$server
  root=root_$server
  read -r user password <<<"${!login}"
  tw=() tp=() stalls=()
  for _ in $(seq "$PAIRS"); do
    clear_dl
    read -r seconds stall <<<"$(window "$WORK/$server.que")"
    tw+=("$seconds"); stalls+=("$stall")
    clear_dl
    tp+=("$(elapsed lftp -u "$user,$password" -p "$PORT" -e "mirror ${!root}/flat $WORK/dl/flat; quit" 127.0.0.1)")
  done
  /usr/bin/python3 - "[$server] 2000-row queue vs lftp mirror" "$PAIRS" "${tw[@]}" "${tp[@]}" "${stalls[@]}" <<'PY'
import statistics, sys
label, n = sys.argv[1], int(sys.argv[2])
w = [float(x) for x in sys.argv[3:3 + n]]
p = [float(x) for x in sys.argv[3 + n:3 + 2 * n]]
s = [int(x) for x in sys.argv[3 + 2 * n:3 + 3 * n]]
r = [a / b for a, b in zip(w, p)]
print("%-40s ratio %.2f  (window median %.3f s, lftp %.3f s, %d pairs, ratios %.2f..%.2f); longest UI stall %d ms"
      % (label, statistics.median(r), statistics.median(w), statistics.median(p), n, min(r), max(r), max(s)))
PY
done

echo
echo "The largest queues in the window:"
"$WINDOW" rows
