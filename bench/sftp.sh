#!/usr/bin/env bash
# SFTP throughput of Tidewick's engine against OpenSSH's sftp and lftp, on loopback against one
# sshd started here (as the current user, from a temporary folder: its own host key,
# configuration and authorized_keys; no system service is touched).
#
#   bench/sftp.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured as Release with -DTIDEWICK_BENCH=ON when it has no
# sftp_transfer_bench yet). Every figure is a ratio measured in this run, Tidewick and its peer run
# alternately (A B B A A B ...), the median of the per-pair ratios reported; below 1.0 means Tidewick
# was faster. Each side's time is its whole process: start, SSH handshake, login, transfer.
# Needs sshd (openssh-server), sftp and ssh-keygen (openssh-client), lftp.
set -euo pipefail

BENCH_TAG=sftp-bench
. "$(dirname "$0")/lib.sh"
PAIRS_BIG=${PAIRS_BIG:-5}
PAIRS_TREE=${PAIRS_TREE:-9}

need_tools /usr/sbin/sshd sftp ssh-keygen lftp /usr/bin/python3
build sftp_transfer_bench
ENGINE=$BUILD/bench/sftp_transfer_bench

# --- server and client keys ---------------------------------------------------------------------
mkdir -p "$WORK/home/.ssh" "$WORK/files/tree" "$WORK/dl" "$WORK/up"
chmod 700 "$WORK/home/.ssh"
ssh-keygen -q -t ed25519 -N "" -f "$WORK/host_key"
ssh-keygen -q -t ed25519 -N "" -f "$WORK/home/.ssh/id_ed25519"
cp "$WORK/home/.ssh/id_ed25519.pub" "$WORK/authorized_keys"
[ "$(id -u)" -eq 0 ] && mkdir -p /run/sshd
PORT=$(free_port)
cat > "$WORK/sshd_config" <<CONF
Port $PORT
ListenAddress 127.0.0.1
HostKey $WORK/host_key
PidFile none
AuthorizedKeysFile $WORK/authorized_keys
StrictModes no
UsePAM no
PermitRootLogin yes
PasswordAuthentication no
KbdInteractiveAuthentication no
Subsystem sftp internal-sftp
LogLevel ERROR
CONF
/usr/sbin/sshd -D -e -f "$WORK/sshd_config" &
SERVER_PID=$!
echo "[127.0.0.1]:$PORT $(cut -d' ' -f1,2 "$WORK/host_key.pub")" > "$WORK/home/.ssh/known_hosts"
export HOME=$WORK/home
unset SSH_AUTH_SOCK
USER_NAME=$(id -un)
for _ in $(seq 50); do (echo > /dev/tcp/127.0.0.1/$PORT) 2>/dev/null && break; sleep 0.1; done

# --- data ---------------------------------------------------------------------------------------
head -c 1G /dev/urandom > "$WORK/files/big.bin"
cp "$WORK/files/big.bin" "$WORK/up.bin"
for d in $(seq 1 20); do
  mkdir -p "$WORK/files/tree/d$d"
  for f in $(seq 1 100); do head -c 4096 /dev/urandom > "$WORK/files/tree/d$d/f$f"; done
done

# ssh finds its home through the password file, not $HOME: the key and known_hosts are named.
SSH_OPTIONS="-F /dev/null -i $HOME/.ssh/id_ed25519 -o IdentitiesOnly=yes -o BatchMode=yes -o UserKnownHostsFile=$HOME/.ssh/known_hosts -o StrictHostKeyChecking=yes"
LFTP_SETUP="set sftp:connect-program 'ssh -a -x $SSH_OPTIONS'; open sftp://$USER_NAME:x@127.0.0.1:$PORT"

now() { date +%s.%N; }
timed() { local start; start=$(now); "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; echo "$(now) - $start" | bc; }

ours_get() { "$ENGINE" get 127.0.0.1 "$PORT" "$USER_NAME" "$WORK/files/big.bin" "$WORK/dl/big.bin"; }
ours_put() { "$ENGINE" put 127.0.0.1 "$PORT" "$USER_NAME" "$WORK/up/big.bin" "$WORK/up.bin"; }
ours_tree() { rm -rf "$WORK/dl/tree"; "$ENGINE" mirror 127.0.0.1 "$PORT" "$USER_NAME" "$WORK/files/tree" "$WORK/dl/tree"; }
sftp_get() { echo "get $WORK/files/big.bin $WORK/dl/big.bin" | sftp -q -b - -P "$PORT" $SSH_OPTIONS "$USER_NAME@127.0.0.1"; }
sftp_put() { echo "put $WORK/up.bin $WORK/up/big.bin" | sftp -q -b - -P "$PORT" $SSH_OPTIONS "$USER_NAME@127.0.0.1"; }
lftp_get() { rm -f "$WORK/dl/big.bin"; lftp -c "$LFTP_SETUP; get $WORK/files/big.bin -o $WORK/dl/big.bin"; }
lftp_put() { lftp -c "$LFTP_SETUP; put $WORK/up.bin -o $WORK/up/big.bin"; }
lftp_tree() { rm -rf "$WORK/dl/tree"; lftp -c "$LFTP_SETUP; mirror $WORK/files/tree $WORK/dl/tree"; }

# Byte-exact once before timing.
ours_get && cmp "$WORK/files/big.bin" "$WORK/dl/big.bin"
ours_put && cmp "$WORK/up.bin" "$WORK/up/big.bin"
ours_tree && diff -r "$WORK/files/tree" "$WORK/dl/tree"

# pairs NAME COUNT OURS PEER: alternating runs, then the median ratio and both median times. Every
# other pair starts with the peer, so neither side always finds the caches its way.
pairs() {
  local name=$1 count=$2 ours=$3 peer=$4 a b i ratios="" as="" bs=""
  for i in $(seq "$count"); do
    if [ $((i % 2)) -eq 1 ]; then a=$(timed "$ours"); b=$(timed "$peer"); else b=$(timed "$peer"); a=$(timed "$ours"); fi
    ratios="$ratios $(echo "$a / $b" | bc -l)"; as="$as $a"; bs="$bs $b"
  done
  /usr/bin/python3 - "$name" "$ratios" "$as" "$bs" <<'PY'
import statistics, sys
name, ratios, ours, peer = sys.argv[1], *[list(map(float, s.split())) for s in sys.argv[2:]]
print(f"{name:44s} ratio {statistics.median(ratios):.3f}   tidewick {statistics.median(ours):7.2f} s   peer {statistics.median(peer):7.2f} s   ({len(ratios)} pairs)")
PY
}

pairs "1 GiB download vs sftp" "$PAIRS_BIG" ours_get sftp_get
pairs "1 GiB download vs lftp sftp://" "$PAIRS_BIG" ours_get lftp_get
pairs "1 GiB upload vs sftp" "$PAIRS_BIG" ours_put sftp_put
pairs "1 GiB upload vs lftp sftp://" "$PAIRS_BIG" ours_put lftp_put
pairs "2000 x 4 KiB folder download vs lftp mirror" "$PAIRS_TREE" ours_tree lftp_tree
