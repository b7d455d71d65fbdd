#!/usr/bin/env bash
# Transfers through the main window (offscreen) against the headless runner and lftp, on loopback
# against vsftpd, and the longest stall of the window's UI thread while they run.
#
#   bench/window.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured as Release with -DTIDEWICK_BENCH=ON when it has
# no window_transfer_bench yet). The window and its peer run alternately (A B B A ...) and the
# median of the per-pair ratios is reported; below 1.0 means the window was faster. The window's
# time is that of the Download or Upload command, from the command to the end of the run (the
# receiving pane listed again); the peers' is their whole process.
# Needs root (vsftpd), vsftpd, lftp and /usr/bin/python3. Takes a few minutes.
set -euo pipefail

BENCH_TAG=window-bench
. "$(dirname "$0")/lib.sh"
PAIRS_BIG=${PAIRS_BIG:-5}   # 1 GiB transfers
PAIRS_TREE=${PAIRS_TREE:-9} # the 2000-file folder

need_root
need_tools /usr/sbin/vsftpd lftp /usr/bin/python3
build tidewick window_transfer_bench
TIDEWICK=$BUILD/src/tidewick
WINDOW=$BUILD/bench/window_transfer_bench

# --- server: anonymous access to $WORK/root; /up is writable ------------------------------------
chmod 755 "$WORK"
mkdir -p "$WORK/root/pub" "$WORK/root/up" "$WORK/src" "$WORK/dl"
chown ftp "$WORK/root/up"
echo "Preparing files..."
big_file "$WORK/root/pub/big.bin" "$WORK/src/big.bin"
small_files "$WORK/root/tree" tree
chmod -R a+rX "$WORK/root"
sync

start_vsftpd <<CONF
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
CONF

queue_row big.bin "$WORK/dl/" /pub 0 Download File ftp bench@ | queue_file "$WORK/get.que"
queue_row big.bin "$WORK/src/" /up 0 Upload File ftp bench@ | queue_file "$WORK/put.que"

clear_dl() { rm -rf "$WORK/dl" && mkdir -p "$WORK/dl" && sync; }
clear_up() { rm -f "$WORK/root/up/big.bin" && sync; }

# window ARGS...: runs one window transfer, prints "SECONDS STALL_MS".
window() {
  local out
  out=$("$WINDOW" 127.0.0.1 "$PORT" ftp bench@ "$@" 2>>"$WORK/errors.log") ||
    { echo "$BENCH_NAME: window transfer failed: $*" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  sed -E 's/seconds=([0-9.]+) stall_ms=([0-9]+)/\1 \2/' <<<"$out"
}
# compare LABEL N PREPARE "WINDOW ARGS" PEER_CMD...: alternates the window and the peer N times,
# every other pair with the peer first.
compare() {
  local label=$1 n=$2 prepare=$3 args=$4; shift 4
  local tw=() stalls=() tp=() i
  run_window() {
    $prepare
    read -r seconds stall <<<"$(window $args)"
    tw+=("$seconds"); stalls+=("$stall")
  }
  for i in $(seq "$n"); do
    ((i % 2)) && run_window
    $prepare
    tp+=("$(elapsed "$@")")
    ((i % 2)) || run_window
  done
  summary 46 window peer "$label" "$n" "${tw[@]}" "${tp[@]}" "${stalls[@]}"
}

echo "Checking the transfers once..."
clear_dl
window download /pub "$WORK/dl" big.bin >/dev/null
cmp -s "$WORK/root/pub/big.bin" "$WORK/dl/big.bin" || die "download differs"
clear_up
window upload /up "$WORK/src" big.bin >/dev/null
cmp -s "$WORK/src/big.bin" "$WORK/root/up/big.bin" || die "upload differs"
clear_dl
window download / "$WORK/dl" tree >/dev/null
diff -r "$WORK/root/tree" "$WORK/dl/tree" >/dev/null || die "folder download differs"

echo
echo "Ratios (window / peer, median of pairs; goals: 1 GiB <= 1.05 of the runner, folder <= 1.0 of lftp,"
echo "no UI stall above 50 ms):"
compare "1 GiB download vs tidewick --run-queue" "$PAIRS_BIG" clear_dl "download /pub $WORK/dl big.bin" \
  "$TIDEWICK" --run-queue "$WORK/get.que"
compare "1 GiB upload vs tidewick --run-queue" "$PAIRS_BIG" clear_up "upload /up $WORK/src big.bin" \
  "$TIDEWICK" --run-queue "$WORK/put.que"
compare "2000 x 4 KiB folder vs lftp mirror" "$PAIRS_TREE" clear_dl "download / $WORK/dl tree" \
  lftp -u ftp,bench -p "$PORT" -e "mirror /tree $WORK/dl/tree; quit" 127.0.0.1
