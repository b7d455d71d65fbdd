#!/usr/bin/env bash
# Throughput and memory of Tidewick's engine against curl and lftp, on loopback against vsftpd.
#
#   bench/run.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured here as Release with -DTIDEWICK_BENCH=ON when it
# has no tidewick yet). Each figure is a ratio measured in this run, with Tidewick and its peer
# run alternately (A B A B ...), because these machines drift by up to 2x between series.
# The median of the per-pair ratios is reported; below 1.0 means Tidewick was faster.
# Every transfer is measured twice: as the anonymous user, whom vsftpd locks into its root, and
# as a local user with a password and no chroot (the way most sites are used), since either
# setup could flatter one side.
# Needs root (vsftpd, the local user), vsftpd, lftp, curl, /usr/bin/time and /usr/bin/python3.
# Takes several minutes.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-bench}
PAIRS_BIG=${PAIRS_BIG:-5}    # 1 GiB transfers
PAIRS_SMALL=${PAIRS_SMALL:-15} # sub-second work
PAIRS_TREE=${PAIRS_TREE:-9}  # the 2000-file folders
# ONLY=get,put,tree,flat,list,memory picks some of the measurements (all when empty), SERVERS one
# of the two logins, for another series of a figure that came out close.
ONLY=${ONLY:-}
want() { [ -z "$ONLY" ] || [[ ",$ONLY," == *",$1,"* ]]; }
# The local user is made for this run alone (another run at the same time must not reset its
# password) and removed again at the end.
BENCH_USER=twbench$(head -c 4 /dev/urandom | od -An -tx1 | tr -d ' \n')

if [ "$(id -u)" -ne 0 ]; then
  echo "bench/run.sh: run as root (vsftpd needs it)" >&2
  exit 1
fi
for tool in /usr/sbin/vsftpd lftp curl /usr/bin/time /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "bench/run.sh: $tool is missing (scripts/deps installs it)" >&2; exit 1; }
done

if [ ! -x "$BUILD/src/tidewick" ] || [ ! -x "$BUILD/bench/list_folder_bench" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWICK_BENCH=ON -DTIDEWICK_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target tidewick list_folder_bench listing_bench
fi
TIDEWICK=$BUILD/src/tidewick
LISTER=$BUILD/bench/list_folder_bench

WORK=$(mktemp -d /tmp/tidewick-bench.XXXXXX)
VSFTPD_PID=""
MADE_USER=""
cleanup() {
  [ -n "$VSFTPD_PID" ] && kill "$VSFTPD_PID" 2>/dev/null || true
  [ -n "$MADE_USER" ] && userdel "$BENCH_USER" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# --- server ------------------------------------------------------------------------------------
# Anonymous access ("ftp", any password) to $WORK/root, and the local user $BENCH_USER whose home
# it is; /up is writable and may be overwritten.
chmod 755 "$WORK"
mkdir -p "$WORK/root/pub" "$WORK/root/up" "$WORK/root/tree" "$WORK/root/flat" "$WORK/root/big" "$WORK/root/none" \
  "$WORK/empty" "$WORK/src" "$WORK/dl"
useradd --no-create-home --home-dir "$WORK/root" --shell /bin/sh "$BENCH_USER"
MADE_USER=yes
BENCH_PASSWORD=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
echo "$BENCH_USER:$BENCH_PASSWORD" | chpasswd
chmod 777 "$WORK/root/up" # both users upload there
echo "Preparing files..."
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$WORK/root/pub/big.bin"
cp "$WORK/root/pub/big.bin" "$WORK/src/big.bin"
/usr/bin/python3 - "$WORK/root" <<'PY'
import os, sys
root = sys.argv[1]
for i in range(2000):
    sub = os.path.join(root, "tree", "d%02d" % (i // 100))
    os.makedirs(sub, exist_ok=True)
    data = os.urandom(4096)
    for path in (os.path.join(sub, "f%04d.dat" % i), os.path.join(root, "flat", "f%04d.dat" % i)):
        with open(path, "wb") as f:
            f.write(data)
for i in range(100000):
    open(os.path.join(root, "big", "entry_%06d.txt" % i), "wb").close()
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
  curl -s --max-time 1 --user ftp:bench "ftp://127.0.0.1:$PORT/" -o /dev/null && break
  sleep 0.1
done
echo "vsftpd on 127.0.0.1:$PORT"

# --- queue files for the runner -----------------------------------------------------------------
# queue FILE NAME LOCAL_FOLDER REMOTE_FOLDER COMMAND TYPE USER PASSWORD
queue() {
  /usr/bin/python3 - "$@" "$PORT" <<'PY'
import sys
path, name, local, remote, command, kind, user, password, port = sys.argv[1:10]
enc = lambda s: "".join(chr(b + 10) for b in s.encode())
cols = [name, local, remote, "127.0.0.1", "0", command, "Binary", kind, enc(user), enc(password), port]
with open(path, "w", encoding="utf-8") as f:
    f.write("[LISTQUE]\nLISTCOUNT=1\n")
    for j, v in enumerate(cols):
        f.write("ROW1.%d=%s\n" % (j, v))
PY
}
# Per server: its name, the login, and where the shared folder lies in its view (the anonymous
# user sees it as /, the local user by its real path).
SERVERS=${SERVERS:-"anonymous local"}
login_anonymous="ftp bench@"
root_anonymous=""
login_local="$BENCH_USER $BENCH_PASSWORD"
root_local="$WORK/root"
for server in $SERVERS; do
  login=login_$server
  root=root_$server
  read -r user password <<<"${!login}"
  r=${!root}
  queue "$WORK/get-$server.que" big.bin "$WORK/dl/" "$r/pub" Download File "$user" "$password"
  queue "$WORK/put-$server.que" big.bin "$WORK/src/" "$r/up" Upload File "$user" "$password"
  queue "$WORK/tree-$server.que" tree "$WORK/dl/tw/" "$r/" Download Dir "$user" "$password"
  queue "$WORK/flat-$server.que" flat "$WORK/dl/tw/" "$r/" Download Dir "$user" "$password"
done

# --- measuring ----------------------------------------------------------------------------------
# elapsed CMD...: runs CMD with output discarded, prints its wall time in seconds.
elapsed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>>"$WORK/errors.log" || { echo "bench/run.sh: failed: $*" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  end=$(date +%s%N)
  /usr/bin/python3 -c "print(($end - $start) / 1e9)"
}

# pairs LABEL N PREPARE A_CMD -- B_CMD: alternates A and B N times, PREPARE before each run.
RESULTS=$WORK/results.txt
pairs() {
  local label=$1 n=$2 prepare=$3; shift 3
  local a=() b=()
  while [ "$1" != "--" ]; do a+=("$1"); shift; done
  shift
  b=("$@")
  local ta=() tb=()
  for _ in $(seq "$n"); do
    $prepare; ta+=("$(elapsed "${a[@]}")")
    $prepare; tb+=("$(elapsed "${b[@]}")")
  done
  /usr/bin/python3 - "$label" "${#ta[@]}" "${ta[@]}" "${tb[@]}" <<'PY' | tee -a "$RESULTS"
import statistics, sys
label, n = sys.argv[1], int(sys.argv[2])
a = [float(x) for x in sys.argv[3:3 + n]]
b = [float(x) for x in sys.argv[3 + n:3 + 2 * n]]
ratios = [x / y for x, y in zip(a, b)]
print("%-44s ratio %.2f  (Tidewick median %.3f s, peer %.3f s, %d pairs, ratios %.2f..%.2f)"
      % (label, statistics.median(ratios), statistics.median(a), statistics.median(b), n, min(ratios), max(ratios)))
PY
}

# Each run starts without the last run's dirty pages still being written back.
clear_dl() { rm -rf "$WORK/dl" && mkdir -p "$WORK/dl/tw" && sync; }
clear_up() { rm -f "$WORK/root/up/big.bin" && sync; }
nothing() { :; }

check_same() {
  cmp -s "$1" "$2" || { echo "bench/run.sh: $2 differs from $1" >&2; exit 1; }
}

echo "Checking the transfers once..."
for server in $SERVERS; do
  login=login_$server
  root=root_$server
  read -r user password <<<"${!login}"
  clear_dl
  "$TIDEWICK" --run-queue "$WORK/get-$server.que" >/dev/null
  check_same "$WORK/root/pub/big.bin" "$WORK/dl/big.bin"
  clear_up
  "$TIDEWICK" --run-queue "$WORK/put-$server.que" >/dev/null
  check_same "$WORK/src/big.bin" "$WORK/root/up/big.bin"
  for folder in tree flat; do
    "$TIDEWICK" --run-queue "$WORK/$folder-$server.que" >/dev/null
    diff -r "$WORK/root/$folder" "$WORK/dl/tw/$folder" >/dev/null ||
      { echo "bench/run.sh: $server folder download of $folder differs" >&2; exit 1; }
  done
  entries=$("$LISTER" 127.0.0.1 "$PORT" "$user" "$password" "${!root}/big")
  [ "$entries" = 100000 ] || { echo "bench/run.sh: listing gave $entries entries, not 100000" >&2; exit 1; }
done

echo
echo "Ratios (Tidewick / peer, median of pairs; goal in brackets):"
: >"$RESULTS"
for server in $SERVERS; do
  login=login_$server
  root=root_$server
  read -r user password <<<"${!login}"
  r=${!root}
  want get && pairs "[$server] 1 GiB download vs lftp get [<= 1.0]" "$PAIRS_BIG" clear_dl \
    "$TIDEWICK" --run-queue "$WORK/get-$server.que" -- \
    lftp -u "$user,$password" -p "$PORT" -e "get $r/pub/big.bin -o $WORK/dl/big.bin; quit" 127.0.0.1
  want put && pairs "[$server] 1 GiB upload vs curl -T [<= 0.85]" "$PAIRS_BIG" clear_up \
    "$TIDEWICK" --run-queue "$WORK/put-$server.que" -- \
    curl -s --user "$user:$password" -T "$WORK/src/big.bin" "ftp://127.0.0.1:$PORT/up/big.bin"
  for folder in tree flat; do
    want "$folder" && pairs "[$server] 2000 x 4 KiB $folder vs lftp mirror [<= 1.0]" "$PAIRS_TREE" clear_dl \
      "$TIDEWICK" --run-queue "$WORK/$folder-$server.que" -- \
      lftp -u "$user,$password" -p "$PORT" -e "mirror $r/$folder $WORK/dl/tw/$folder; quit" 127.0.0.1
  done
  want list && pairs "[$server] 100,000-entry listing vs curl LIST [<= 1.0]" "$PAIRS_SMALL" nothing \
    "$LISTER" 127.0.0.1 "$PORT" "$user" "$password" "$r/big" -- \
    curl -s --user "$user:$password" "ftp://127.0.0.1:$PORT/big/" -o /dev/null
done

want memory || exit 0
echo
echo "Peak memory (max RSS) [< 40 MiB]:"
# peak LABEL CMD...: prints and records the peak memory of CMD in MiB (the command may fail).
peak() {
  local label=$1; shift
  /usr/bin/time -f %M -o "$WORK/rss.txt" "$@" >/dev/null 2>>"$WORK/errors.log" || true
  PEAK_KIB=$(tail -1 "$WORK/rss.txt")
  printf '%-44s %6.1f MiB\n' "$label" "$(/usr/bin/python3 -c "print($PEAK_KIB / 1024)")" | tee -a "$RESULTS"
}
clear_dl
peak "runner, 1 GiB download" "$TIDEWICK" --run-queue "$WORK/get-anonymous.que"
clear_up
peak "runner, 1 GiB upload" "$TIDEWICK" --run-queue "$WORK/put-anonymous.que"
peak "GetFolderContents, 100,000 entries" "$LISTER" 127.0.0.1 "$PORT" ftp bench /big
full=$PEAK_KIB
peak "GetFolderContents, an empty folder" "$LISTER" 127.0.0.1 "$PORT" ftp bench /none
printf '%-44s %6.0f bytes [< 120]\n' "  so per listed entry" "$(/usr/bin/python3 -c "print(($full - $PEAK_KIB) * 1024 / 100000)")" |
  tee -a "$RESULTS"
peak "for scale: lftp get, 1 GiB" lftp -u ftp,bench -p "$PORT" -e "get /pub/big.bin -o $WORK/dl/big2.bin; quit" 127.0.0.1

echo
echo "A server streaming a listing without end, stopped at the bound [< 256 MiB]:"
# endless.py NAME_LENGTH: a one-connection server whose LIST never ends; prints its port first.
cat >"$WORK/endless.py" <<'PY'
import socket, sys
pad = "n" * int(sys.argv[1])
srv = socket.socket()
srv.bind(("127.0.0.1", 0))
srv.listen(1)
print(srv.getsockname()[1])
conn, _ = srv.accept()
reply = lambda text: conn.sendall((text + "\r\n").encode())
answers = {"USER": "230 Logged in", "PASS": "230 Logged in", "SYST": "215 UNIX Type: L8", "FEAT": "211 No features",
           "CWD": "250 Changed", "TYPE": "200 Type set", "ABOR": "226 Aborted", "NOOP": "200 NOOP ok", "QUIT": "221 Bye"}
reply("220 Endless listing")
data = None
for raw in conn.makefile("rb"):
    verb = raw.decode(errors="replace").split(" ")[0].strip().upper()
    if verb == "EPSV":
        data = socket.socket()
        data.bind(("127.0.0.1", 0))
        data.listen(1)
        reply("229 Entering Extended Passive Mode (|||%d|)" % data.getsockname()[1])
    elif verb == "LIST":
        reply("150 Here it comes")
        d, _ = data.accept()
        line = "-rw-r--r--    1 ftp      ftp          4096 Dec 06 22:33 %s%%07d.txt\r\n" % pad
        try:
            i = 0
            while True:
                d.sendall("".join(line % j for j in range(i, i + 10000)).encode())
                i += 10000
        except OSError:
            pass
        d.close()
        reply("426 Listing stopped")
    else:
        reply(answers.get(verb, "500 Unknown command"))
        if verb == "QUIT":
            break
PY
for length in 8 200; do
  coproc ENDLESS { /usr/bin/python3 -u "$WORK/endless.py" "$length"; }
  endless_pid=$ENDLESS_PID
  read -r endless_port <&"${ENDLESS[0]}"
  peak "names of $((length + 11)) characters" "$LISTER" 127.0.0.1 "$endless_port" ftp bench /
  grep -o 'The listing is larger than [^;]*' "$WORK/errors.log" | tail -1 | sed 's/^/  /' | tee -a "$RESULTS"
  wait "$endless_pid" 2>/dev/null || true
done

echo
echo "Listing parser alone:"
"$BUILD/bench/listing_bench" --benchmark_filter='BM_UnixLines|BM_UnixWholeListing' 2>/dev/null | grep -E '^BM_' | tee -a "$RESULTS"
