# shellcheck shell=bash
# Shared setup of the benchmark scripts, sourced by them (not run on its own): the build, the
# temporary folder, a free port, the data, a local user, vsftpd on 127.0.0.1, queue files, and the
# timing of alternating pairs.
#
# The sourcing script sets BENCH_TAG (used in the temporary folder's name); its first argument is
# the build folder, defaulting to build-bench/ at the top of the tree.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build-bench}
BENCH_NAME=bench/$(basename "$0")

# die MESSAGE: the message on standard error, prefixed with the script's name, and exit.
die() {
  echo "$BENCH_NAME: $*" >&2
  exit 1
}

need_root() { [ "$(id -u)" -eq 0 ] || die "run as root (vsftpd needs it)"; }

# need_tools TOOL...: exits naming the first tool that is missing.
need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/deps installs it)"
  done
}

# build TARGET...: configures $BUILD (Release, benchmarks on, no tests) and builds the targets when
# one of them is missing there.
build() {
  local target missing=""
  for target in "$@"; do
    if [ "$target" = tidewick ]; then
      [ -x "$BUILD/src/tidewick" ] || missing=yes
    else
      [ -x "$BUILD/bench/$target" ] || missing=yes
    fi
  done
  [ -n "$missing" ] || return 0
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWICK_BENCH=ON -DTIDEWICK_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target "$@"
}

# The temporary folder, and what is removed or stopped when the script exits however it ends.
WORK=$(mktemp -d "/tmp/tidewick-${BENCH_TAG:-bench}.XXXXXX")
SERVER_PID=""
BENCH_USER=""
MOUNTED=()
cleanup() {
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null || true
  [ -n "$BENCH_USER" ] && userdel "$BENCH_USER" 2>/dev/null || true
  local folder
  for folder in "${MOUNTED[@]}"; do umount "$folder" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# tmpfs_folder PATH SIZE: a tmpfs of SIZE (as mount takes it) on the new folder PATH, unmounted at
# the end. Files created and deleted there cost no disk work that could spill into the next run.
tmpfs_folder() {
  mkdir -p "$1"
  mount -t tmpfs -o "size=$2,mode=755" "tidewick-$BENCH_TAG" "$1" || die "could not mount a tmpfs on $1"
  MOUNTED+=("$1")
}

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# big_file PATH COPY: 1 GiB of random bytes, and a copy of it (dirty pages written back).
big_file() {
  head -c $((1024 * 1024 * 1024)) /dev/urandom >"$1"
  cp "$1" "$2"
}

# small_files FOLDER [tree]: 2000 files of 4 KiB of random bytes, f0000.dat to f1999.dat, in
# FOLDER itself or, with "tree", 100 in each of the 20 folders d00 to d19.
small_files() {
  /usr/bin/python3 - "$1" "${2:-flat}" <<'PY'
import os, sys
folder, layout = sys.argv[1:3]
for i in range(2000):
    sub = os.path.join(folder, "d%02d" % (i // 100)) if layout == "tree" else folder
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, "f%04d.dat" % i), "wb") as f:
        f.write(os.urandom(4096))
PY
}

# local_user HOME: a local user made for this run alone (another run at the same time must not
# reset its password), removed again at the end, with HOME as its home and a random password.
# Sets BENCH_USER and BENCH_PASSWORD, and the "local" server's login and root (see use_server).
local_user() {
  local name
  name=twbench$(head -c 4 /dev/urandom | od -An -tx1 | tr -d ' \n')
  useradd --no-create-home --home-dir "$1" --shell /bin/sh "$name"
  BENCH_USER=$name
  BENCH_PASSWORD=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
  echo "$BENCH_USER:$BENCH_PASSWORD" | chpasswd
  login_local="$BENCH_USER $BENCH_PASSWORD"
  root_local="$1"
}

# Per server: the login, and where the served folder lies in its view (the anonymous user sees it
# as /, the local user by its real path).
login_anonymous="ftp bench@"
root_anonymous=""
# use_server SERVER: sets user, password and r (the served folder's path, empty for /).
use_server() {
  local login=login_$1 root=root_$1
  read -r user password <<<"${!login}"
  r=${!root}
}

# start_vsftpd: starts vsftpd on 127.0.0.1 on a free port (PORT) serving $WORK/root to the
# anonymous user, in the foreground under this script, with the lines read from standard input
# added to its configuration; returns once it greets.
start_vsftpd() {
  PORT=$(free_port)
  mkdir -p "$WORK/empty"
  {
    cat <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$PORT
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root=$WORK/root
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
    cat
  } >"$WORK/vsftpd.conf"
  /usr/sbin/vsftpd "$WORK/vsftpd.conf" >"$WORK/vsftpd.log" 2>&1 &
  SERVER_PID=$!
  local greeting _
  for _ in $(seq 50); do
    kill -0 "$SERVER_PID" 2>/dev/null || { cat "$WORK/vsftpd.log" >&2; die "vsftpd did not start"; }
    greeting=""
    { exec 3<>"/dev/tcp/127.0.0.1/$PORT" && read -r -t 2 greeting <&3; exec 3>&-; } 2>/dev/null || true
    [[ $greeting == 220* ]] && break
    sleep 0.1
  done
  echo "vsftpd on 127.0.0.1:$PORT"
}

# queue_row NAME LOCAL_FOLDER REMOTE_FOLDER SIZE COMMAND TYPE USER PASSWORD: one row for queue_file.
queue_row() { (IFS=$'\t' && echo "$*"); }
# queue_file PATH: a queue file of the rows on standard input (from queue_row), all on the server
# on 127.0.0.1:$PORT in binary mode.
queue_file() {
  /usr/bin/python3 -c '
import sys
path, port = sys.argv[1:3]
enc = lambda s: "".join(chr(b + 10) for b in s.encode())
rows = [line.rstrip("\n").split("\t") for line in sys.stdin if line.strip()]
with open(path, "w", encoding="utf-8") as f:
    f.write("[LISTQUE]\nLISTCOUNT=%d\n" % len(rows))
    for i, (name, local, remote, size, command, kind, user, password) in enumerate(rows, 1):
        cols = [name, local, remote, "127.0.0.1", size, command, "Binary", kind, enc(user), enc(password), port]
        for j, v in enumerate(cols):
            f.write("ROW%d.%d=%s\n" % (i, j, v))
' "$1" "$PORT"
}

# elapsed CMD...: runs CMD with its output discarded (errors kept in $WORK/errors.log), prints its
# wall time in seconds; exits when CMD fails.
elapsed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>>"$WORK/errors.log" || { echo "$BENCH_NAME: failed: $*" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  end=$(date +%s%N)
  /usr/bin/python3 -c "print(($end - $start) / 1e9)"
}

# summary WIDTH OURS PEER LABEL N A_TIMES... B_TIMES... [STALLS_MS...]: one line with the median
# of the per-pair ratios A/B, both medians, and the longest UI stall when stalls are given.
summary() {
  /usr/bin/python3 - "$@" <<'PY'
import statistics, sys
width, ours, peer, label, n = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
values = sys.argv[6:]
a = [float(x) for x in values[:n]]
b = [float(x) for x in values[n:2 * n]]
stalls = [int(x) for x in values[2 * n:]]
ratios = [x / y for x, y in zip(a, b)]
line = "%-*s ratio %.2f  (%s median %.3f s, %s %.3f s, %d pairs, ratios %.2f..%.2f)" % (
    width, label, statistics.median(ratios), ours, statistics.median(a), peer, statistics.median(b), n,
    min(ratios), max(ratios))
if stalls:
    line += "; longest UI stall %d ms" % max(stalls)
with open("/proc/loadavg") as f:
    line += "; load %s" % f.read().split()[0]
print(line)
PY
}

# pairs LABEL N PREPARE A_CMD... -- B_CMD...: runs A and B alternately N times, PREPARE before each
# run, and prints their summary (Tidewick is A), also appended to $RESULTS when that is set. Every
# other pair runs B first, so that neither side always follows the other. The label is padded to
# LABEL_WIDTH (44 unless set).
pairs() {
  local label=$1 n=$2 prepare=$3
  shift 3
  local a=() b=() ta=() tb=()
  while [ "$1" != "--" ]; do
    a+=("$1")
    shift
  done
  shift
  b=("$@")
  local i
  for i in $(seq "$n"); do
    if ((i % 2)); then
      $prepare
      ta+=("$(elapsed "${a[@]}")")
    fi
    $prepare
    tb+=("$(elapsed "${b[@]}")")
    if ((i % 2 == 0)); then
      $prepare
      ta+=("$(elapsed "${a[@]}")")
    fi
  done
  summary "${LABEL_WIDTH:-44}" Tidewick peer "$label" "$n" "${ta[@]}" "${tb[@]}" | tee -a "${RESULTS:-/dev/null}"
}
