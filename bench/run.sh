#!/usr/bin/env bash
# Throughput and memory of Tidewick's engine against curl and lftp, on loopback against vsftpd.
#
#   bench/run.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured here as Release with -DTIDEWICK_BENCH=ON when it
# has no tidewick yet). Each figure is a ratio measured in this run, with Tidewick and its peer
# run alternately (A B B A ...), because these machines drift by up to 2x between series.
# The median of the per-pair ratios is reported; below 1.0 means Tidewick was faster.
# Every transfer is measured twice: as the anonymous user, whom vsftpd locks into its root, and
# as a local user with a password and no chroot (the way most sites are used), since either
# setup could flatter one side.
# Needs root (vsftpd, the local user), vsftpd, lftp, curl, /usr/bin/time and /usr/bin/python3.
# Takes several minutes.
set -euo pipefail

BENCH_TAG=bench
. "$(dirname "$0")/lib.sh"
PAIRS_BIG=${PAIRS_BIG:-5}    # 1 GiB transfers
PAIRS_SMALL=${PAIRS_SMALL:-15} # sub-second work
PAIRS_TREE=${PAIRS_TREE:-9}  # the 2000-file folders
# ONLY=get,put,tree,flat,list,memory picks some of the measurements (all when empty), SERVERS one
# of the two logins, for another series of a figure that came out close.
ONLY=${ONLY:-}
want() { [ -z "$ONLY" ] || [[ ",$ONLY," == *",$1,"* ]]; }

need_root
need_tools /usr/sbin/vsftpd lftp curl /usr/bin/time /usr/bin/python3
build tidewick list_folder_bench listing_bench
TIDEWICK=$BUILD/src/tidewick
LISTER=$BUILD/bench/list_folder_bench

# --- server ------------------------------------------------------------------------------------
# Anonymous access ("ftp", any password) to $WORK/root, and the local user $BENCH_USER whose home
# it is; /up is writable and may be overwritten.
chmod 755 "$WORK"
mkdir -p "$WORK/root/pub" "$WORK/root/up" "$WORK/root/big" "$WORK/root/none" "$WORK/src" "$WORK/dl"
local_user "$WORK/root"
chmod 777 "$WORK/root/up" # both users upload there
echo "Preparing files..."
big_file "$WORK/root/pub/big.bin" "$WORK/src/big.bin"
small_files "$WORK/root/tree" tree
small_files "$WORK/root/flat"
/usr/bin/python3 -c '
import os, sys
for i in range(100000):
    open(os.path.join(sys.argv[1], "entry_%06d.txt" % i), "wb").close()
' "$WORK/root/big"
chmod -R a+rX "$WORK/root"
sync

start_vsftpd <<CONF
local_enable=YES
local_umask=022
chroot_local_user=NO
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
CONF

# --- queue files for the runner -----------------------------------------------------------------
SERVERS=${SERVERS:-"anonymous local"}
for server in $SERVERS; do
  use_server "$server"
  queue_row big.bin "$WORK/dl/" "$r/pub" 0 Download File "$user" "$password" | queue_file "$WORK/get-$server.que"
  queue_row big.bin "$WORK/src/" "$r/up" 0 Upload File "$user" "$password" | queue_file "$WORK/put-$server.que"
  queue_row tree "$WORK/dl/tw/" "$r/" 0 Download Dir "$user" "$password" | queue_file "$WORK/tree-$server.que"
  queue_row flat "$WORK/dl/tw/" "$r/" 0 Download Dir "$user" "$password" | queue_file "$WORK/flat-$server.que"
done

# --- measuring ----------------------------------------------------------------------------------
RESULTS=$WORK/results.txt

# Each run starts without the last run's dirty pages still being written back.
clear_dl() { rm -rf "$WORK/dl" && mkdir -p "$WORK/dl/tw" && sync; }
clear_up() { rm -f "$WORK/root/up/big.bin" && sync; }
nothing() { :; }

check_same() { cmp -s "$1" "$2" || die "$2 differs from $1"; }

echo "Checking the transfers once..."
for server in $SERVERS; do
  use_server "$server"
  clear_dl
  "$TIDEWICK" --run-queue "$WORK/get-$server.que" >/dev/null
  check_same "$WORK/root/pub/big.bin" "$WORK/dl/big.bin"
  clear_up
  "$TIDEWICK" --run-queue "$WORK/put-$server.que" >/dev/null
  check_same "$WORK/src/big.bin" "$WORK/root/up/big.bin"
  for folder in tree flat; do
    "$TIDEWICK" --run-queue "$WORK/$folder-$server.que" >/dev/null
    diff -r "$WORK/root/$folder" "$WORK/dl/tw/$folder" >/dev/null || die "$server folder download of $folder differs"
  done
  entries=$("$LISTER" 127.0.0.1 "$PORT" "$user" "$password" "$r/big")
  [ "$entries" = 100000 ] || die "listing gave $entries entries, not 100000"
done

echo
echo "Ratios (Tidewick / peer, median of pairs; goal in brackets):"
: >"$RESULTS"
for server in $SERVERS; do
  use_server "$server"
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
# The first chosen login: its queue files are the ones written above.
read -r memory_server _ <<<"$SERVERS"
use_server "$memory_server"
# peak_of EXPECT LABEL CMD...: prints and records the peak memory of CMD in MiB. EXPECT is "ok" for
# a command that must succeed and "stopped" for one that must fail (the listing bound stopping an
# endless listing); the script exits otherwise, since the memory of a run that went wrong says
# nothing.
peak_of() {
  local expect=$1 label=$2 status=0
  shift 2
  /usr/bin/time -f %M -o "$WORK/rss.txt" "$@" >/dev/null 2>>"$WORK/errors.log" || status=$?
  if [ "$expect" = ok ] && [ "$status" -ne 0 ]; then
    echo "$BENCH_NAME: failed ($status): $*" >&2
    tail -5 "$WORK/errors.log" >&2
    exit 1
  fi
  [ "$expect" = ok ] || [ "$status" -ne 0 ] || die "not stopped: $*"
  PEAK_KIB=$(tail -1 "$WORK/rss.txt")
  printf '%-44s %6.1f MiB\n' "$label" "$(/usr/bin/python3 -c "print($PEAK_KIB / 1024)")" | tee -a "$RESULTS"
}
clear_dl
peak_of ok "[$memory_server] runner, 1 GiB download" "$TIDEWICK" --run-queue "$WORK/get-$memory_server.que"
check_same "$WORK/root/pub/big.bin" "$WORK/dl/big.bin"
clear_up
peak_of ok "[$memory_server] runner, 1 GiB upload" "$TIDEWICK" --run-queue "$WORK/put-$memory_server.que"
check_same "$WORK/src/big.bin" "$WORK/root/up/big.bin"
peak_of ok "GetFolderContents, 100,000 entries" "$LISTER" 127.0.0.1 "$PORT" "$user" "$password" "$r/big"
full=$PEAK_KIB
peak_of ok "GetFolderContents, an empty folder" "$LISTER" 127.0.0.1 "$PORT" "$user" "$password" "$r/none"
printf '%-44s %6.0f bytes [< 120]\n' "  so per listed entry" "$(/usr/bin/python3 -c "print(($full - $PEAK_KIB) * 1024 / 100000)")" |
  tee -a "$RESULTS"
peak_of ok "for scale: lftp get, 1 GiB" lftp -u "$user,$password" -p "$PORT" -e "get $r/pub/big.bin -o $WORK/dl/big2.bin; quit" 127.0.0.1

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
  peak_of stopped "names of $((length + 11)) characters" "$LISTER" 127.0.0.1 "$endless_port" ftp bench /
  grep -o 'The listing is larger than [^;]*' "$WORK/errors.log" | tail -1 | sed 's/^/  /' | tee -a "$RESULTS"
  wait "$endless_pid" 2>/dev/null || true
done

echo
echo "Listing parser alone:"
"$BUILD/bench/listing_bench" --benchmark_filter='BM_UnixLines|BM_UnixWholeListing' 2>/dev/null | grep -E '^BM_' | tee -a "$RESULTS"
