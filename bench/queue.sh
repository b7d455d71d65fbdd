#!/usr/bin/env bash
# A queue of 2000 rows, each a 4 KiB file, processed from the queue window (offscreen) against
# `lftp mirror` of the same files, on loopback against vsftpd; then the largest queues the window
# holds, added, sorted, removed, loaded and saved.
#
#   bench/queue.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-bench/ (configured as Release with -DTIDEWICK_BENCH=ON when it has
# no queue_window_bench yet). The window and lftp run alternately (A B B A ...) and the median of
# the per-pair ratios is reported; below 1.0 means the window was faster. The window's time is
# that of Process Que, from the command until the last row is gone; lftp's is its whole process.
# As in run.sh, both run as the anonymous user (locked into the server's root) and as a local user
# with a password. Needs root (vsftpd, the local user), vsftpd, lftp and /usr/bin/python3.
#
# Two things keep the figures steady without favouring either side: both download into a tmpfs made
# for the run (creating and deleting 2000 files on the disk cost as much CPU as the transfers, and
# the journal's work spilled from one run into the next), emptied the same way before every run;
# and every other pair runs lftp first, so neither side always follows the other. DL_ON_DISK=1
# downloads onto the disk instead; SERVERS=anonymous or SERVERS=local measures one of the two.
set -euo pipefail

BENCH_TAG=queue-bench
. "$(dirname "$0")/lib.sh"
PAIRS=${PAIRS:-9}

need_root
need_tools /usr/sbin/vsftpd lftp /usr/bin/python3
build queue_window_bench
WINDOW=$BUILD/bench/queue_window_bench

# --- server: anonymous access to $WORK/root, and the local user whose home it is ---------------
chmod 755 "$WORK"
mkdir -p "$WORK/root"
if [ "${DL_ON_DISK:-0}" = 1 ]; then mkdir -p "$WORK/dl"; else tmpfs_folder "$WORK/dl" 256m; fi
local_user "$WORK/root"
echo "Preparing files..."
small_files "$WORK/root/flat"
chmod -R a+rX "$WORK/root"
sync

start_vsftpd <<CONF
local_enable=YES
local_umask=022
chroot_local_user=NO
CONF

# One Download row per file of the folder, for each login.
SERVERS=${SERVERS:-"anonymous local"}
for server in $SERVERS; do
  use_server "$server"
  for file in "$WORK/root/flat"/*; do
    queue_row "$(basename "$file")" "$WORK/dl/flat/" "$r/flat" 4096 Download File "$user" "$password"
  done | queue_file "$WORK/$server.que"
done

clear_dl() { rm -rf "$WORK/dl/flat" && mkdir -p "$WORK/dl/flat" && sync; }

# window FILE: processes the queue file from the window, prints "SECONDS STALL_MS".
window() {
  local out
  out=$("$WINDOW" run "$1" 2>>"$WORK/errors.log") ||
    { echo "$BENCH_NAME: the queue did not run: $1" >&2; tail -5 "$WORK/errors.log" >&2; exit 1; }
  sed -E 's/seconds=([0-9.]+) stall_ms=([0-9]+) rows=0/\1 \2/' <<<"$out"
}

echo "Checking the transfers once..."
for server in $SERVERS; do
  clear_dl
  window "$WORK/$server.que" >/dev/null
  diff -r "$WORK/root/flat" "$WORK/dl/flat" >/dev/null || die "$server queue run differs"
done

echo
echo "Ratios (window / lftp mirror, median of pairs; goal <= 1.0):"
for server in $SERVERS; do
  use_server "$server"
  tw=() tp=() stalls=()
  run_window() {
    clear_dl
    read -r seconds stall <<<"$(window "$WORK/$server.que")"
    tw+=("$seconds")
    stalls+=("$stall")
  }
  run_lftp() {
    clear_dl
    tp+=("$(elapsed lftp -u "$user,$password" -p "$PORT" -e "mirror $r/flat $WORK/dl/flat; quit" 127.0.0.1)")
  }
  for pair in $(seq "$PAIRS"); do
    if [ $((pair % 2)) -eq 1 ]; then
      run_window
      run_lftp
    else
      run_lftp
      run_window
    fi
  done
  summary 40 window lftp "[$server] 2000-row queue vs lftp mirror" "$PAIRS" "${tw[@]}" "${tp[@]}" "${stalls[@]}"
done

echo
echo "The largest queues in the window:"
"$WINDOW" rows
