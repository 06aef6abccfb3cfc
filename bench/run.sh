#!/usr/bin/env bash
# The benchmarks in one run, each printed beside its reference:
#   (a) stream-parser throughput against memchr over the same bytes
#   (b) CPU time per decoded picture of orvix-cli against the ffmpeg tool
#       decoding the same elementary stream to RGB32
#   (c) latency from a packet written to its RGB picture held, on loopback
#   (d) CPU of orvix-bridge relaying 16 channels of 704x576 25 fps H.264
#       over one recorder connection to 16 clients, against those ffmpeg
#       clients that receive them without decoding
#   (e) the bridge's added delay from a recorder write to an RTSP client,
#       for an MPEG-4 and an H.264 recorder
#   (webrtc) bridge CPU for 16 WebRTC viewers of 16 H.264 channels, CPU of
#       transcoding one MPEG-4 channel for browsers, and the browser's share
#       of the delay to display (rVFC), in headless Chromium
#   (f) time from a recorder's return to the first picture, beside the
#       reconnect delay that applied
#   (grid-d) CPU per decoded picture of orvix-cli showing 16 channels of
#       352x288 25 fps H.264 at once, against the ffmpeg tool decoding the
#       same 16 streams one after another with one thread
#   (grid-e) how many 704x576 25 fps H.264 channels one session decodes with
#       under 1% of the pictures lost
#   (grid-f) the program's own CPU per displayed picture under Xvfb, with the
#       view --renderer auto chooses, against orvix-cli decoding the same
#       stream: the single view at 704x576 and a 16-tile 352x288 grid
#   (rec) the heap a long recording takes per picture, against an
#       unfragmented MP4 muxer writing the same packets
#   (wall-f) the same for a 16-tile wall of 4 recorders of 4 channels each
#       (704x576 H.264 25 fps) against 4 orvix-cli decoding the same 16
#       streams, and the number of recorder connections the wall made
# Usage: bench/run.sh [BUILD_DIR]   (default build/release). Never fails the
# caller: a step that cannot run says so and the others go on.
set -uo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release}/bin
scratch=$(mktemp -d)
sim_pid=
wall_sims=
bridge_pid=
client_pid=
xvfb_pid=
cleanup() {
  for pid in $client_pid $bridge_pid $sim_pid $wall_sims $xvfb_pid; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# start_simulator OUT [OPTIONS...]: (re)starts the recorder simulator on a
# free loopback port with the options given, its output in $scratch/OUT.
# Sets sim_pid, and port to the port it listens on (empty if it did not start).
# first_match FILE SED_SCRIPT TRIES: the first line SED_SCRIPT prints from
# FILE, asked for every 50 ms until it prints one; empty after TRIES.
first_match() {
  local found
  for _ in $(seq "$3"); do
    found=$(sed -n "$2" "$1" 2>/dev/null | head -1)
    [ -n "$found" ] && break
    sleep 0.05
  done
  printf '%s' "$found"
}
start_simulator() {
  local out=$scratch/$1
  shift
  stop_simulator
  "$bin/orvix-recorder-sim" --port 0 "$@" >"$out" 2>/dev/null &
  sim_pid=$!
  # Up to 30 s, for a busy machine.
  port=$(first_match "$out" 's/^listening on .*:\([0-9]*\)$/\1/p' 600)
}
stop_simulator() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  sim_pid=
}
cpu_seconds() {  # cpu_seconds <command...>: user + system seconds of the command
  cpu_seconds_out /dev/null "$@"
}
cpu_seconds_out() {  # cpu_seconds_out OUT <command...>: the same, the command's output kept in OUT
  local TIMEFORMAT='%U %S' out=$1 times
  shift
  times=$( { time "$@" >"$out" 2>/dev/null; } 2>&1 | tail -1)
  awk -v t="$times" 'BEGIN { split(t, p, " "); printf "%.3f", p[1] + p[2] }'
}
cpu_ticks() {  # cpu_ticks PID...: user + system clock ticks so far, summed
  local total=0 pid t
  for pid in "$@"; do
    t=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo 0)
    total=$((total + t))
  done
  echo "$total"
}

echo "== benchmarks"
"$bin/bench_parser" || echo "(a) stream parser: benchmark did not run"

# (b) A recorder simulator sends 704x576 MPEG-4 at 60 pictures a second.
frames=240
start_simulator sim.out --size 704x576 --fps 60
if [ -n "$port" ]; then
  client=(--host 127.0.0.1 --port "$port" --user admin --password 1234 --frames "$frames" --timeout 30)
  cli_cpu=$(cpu_seconds "$bin/orvix-cli" "${client[@]}")
  "$bin/orvix-cli" "${client[@]}" --record "$scratch/stream.mp4" >/dev/null 2>&1
  ff_frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
              -of csv=p=0 "$scratch/stream.mp4" 2>/dev/null)
  ff_cpu=$(cpu_seconds ffmpeg -v error -threads 1 -i "$scratch/stream.mp4" -pix_fmt bgra -f rawvideo -y /dev/null)
  if [ -n "$ff_frames" ] && [ "$ff_frames" -gt 0 ]; then
    awk -v c="$cli_cpu" -v n="$frames" -v f="$ff_cpu" -v m="$ff_frames" 'BEGIN {
      a = 1000 * c / n; b = 1000 * f / m;
      printf "(b) CPU per decoded picture: orvix-cli %.2f ms, ffmpeg %.2f ms (704x576 MPEG-4 to RGB32): %.2fx (target within 1.15x)\n",
             a, b, (b > 0 ? a / b : 0) }'
  else
    echo "(b) CPU per picture: no recording to compare with"
  fi
else
  echo "(b) CPU per picture: the recorder simulator did not start"
fi

"$bin/bench_latency" 2>/dev/null || echo "(c) latency: benchmark did not run"

# (d) The bridge relays 16 channels of one recorder (one connection, a
# pre-encoded loop so that the simulator stays light) to 16 clients for 8 s;
# CPU from /proc.
start_simulator sim2.out --model-code 51 --size 704x576 --fps 25 --channels 16 --loop 2
echo 1234 >"$scratch/pw"
if [ -n "$port" ]; then
  # The simulator encodes its loop at the first request: the first client
  # may wait for that.
  "$bin/orvix-bridge" --host 127.0.0.1 --port "$port" --user admin --password-file "$scratch/pw" --stream h264 \
    --name bench --listen 127.0.0.1:0 --join-wait 120 >"$scratch/bridge.out" 2>"$scratch/bridge.err" &
  bridge_pid=$!
  rtsp=$(first_match "$scratch/bridge.out" 's/^listening on \(rtsp:.*\)$/\1/p' 100)
  joined() { grep -c "joins /bench/" "$scratch/bridge.err"; }
  client_pid=
  for ch in $(seq 16); do
    ffmpeg -v error -rtsp_transport tcp -i "${rtsp}bench/$ch" -c copy -f null - >/dev/null 2>&1 &
    client_pid="$client_pid $!"
    if [ "$ch" = 1 ]; then
      for _ in $(seq 1200); do [ "$(joined)" -ge 1 ] && break; sleep 0.1; done
    fi
  done
  for _ in $(seq 600); do [ "$(joined)" -ge 16 ] && break; sleep 0.1; done
  sleep 2
  joined=$(joined)
  b0=$(cpu_ticks "$bridge_pid"); c0=$(cpu_ticks $client_pid)
  sleep 8
  b1=$(cpu_ticks "$bridge_pid"); c1=$(cpu_ticks $client_pid)
  for pid in $client_pid; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  client_pid=
  awk -v b=$((b1 - b0)) -v c=$((c1 - c0)) -v hz="$(getconf CLK_TCK)" -v joined="$joined" 'BEGIN {
    bp = 100 * b / hz / 8; cp = 100 * c / hz / 8;
    printf "(d) bridge CPU relaying 16 channels of 704x576 25 fps H.264 over one connection to %d of 16 clients: %.1f%% of one core (target under 10%%); the 16 receiving ffmpeg -c copy: %.1f%%: %.2fx\n",
           joined, bp, cp, (cp > 0 ? bp / cp : 0) }'
else
  echo "(d) bridge CPU: the recorder simulator did not start"
fi

"$bin/bench_bridge_latency" 2>/dev/null || echo "(e) bridge latency: benchmark did not run"

# (webrtc) WebRTC viewers in headless Chromium (bench/webrtc_viewers.mjs,
# with the browser test's Node package): the bridge's CPU for 16 viewers of
# 16 704x576 25 fps H.264 channels (SRTP included), then for one viewer of a
# 704x576 MPEG-4 channel it transcodes, over 8 s; and rVFC's figures for the
# browser's share of the delay.
# webrtc_row OUT BRIDGE_ARGS... -- PATHS...: starts the bridge on the
# simulator, holds the viewers, prints "CPU% playing delays" in OUT.
webrtc_row() {
  local out=$1 args=() paths=()
  shift
  while [ "$1" != -- ]; do args+=("$1"); shift; done
  shift
  paths=("$@")
  "$bin/orvix-bridge" --host 127.0.0.1 --port "$port" --user admin --password-file "$scratch/pw" \
    --name bench --listen 127.0.0.1:0 --status-listen 127.0.0.1:0 --join-wait 120 "${args[@]}" \
    >"$scratch/wbridge.out" 2>"$scratch/wbridge.err" &
  bridge_pid=$!
  local status
  status=$(first_match "$scratch/wbridge.out" 's/^status on \(http:.*\)\/$/\1/p' 200)
  node bench/webrtc_viewers.mjs "$status" 12 "${paths[@]}" >"$scratch/viewers.out" 2>&1 &
  client_pid=$!
  first_match "$scratch/viewers.out" 's/^playing \([0-9]*\)$/\1/p' 2400 >/dev/null
  sleep 2
  local b0 b1
  b0=$(cpu_ticks "$bridge_pid")
  sleep 8
  b1=$(cpu_ticks "$bridge_pid")
  wait "$client_pid" 2>/dev/null
  client_pid=
  kill "$bridge_pid" 2>/dev/null; wait "$bridge_pid" 2>/dev/null
  bridge_pid=
  awk -v b=$((b1 - b0)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", 100 * b / hz / 8 }' >"$out"
  printf ' %s %s\n' "$(sed -n 's/^playing //p' "$scratch/viewers.out")" \
    "$(sed -n 's/^receive-to-display \(.*\) capture-to-display \(.*\)$/\1 \2/p' "$scratch/viewers.out")" >>"$out"
}
if [ ! -x /usr/bin/chromium ] || [ ! -d tests/web/node_modules/playwright-core ]; then
  echo "(webrtc) WebRTC: needs Debian's chromium and the browser test's Node package (ctest -L web installs it)"
else
  start_simulator sim4.out --model-code 51 --size 704x576 --fps 25 --channels 16 --loop 2 --echo-interval 0
  if [ -n "$port" ]; then
    webrtc_row "$scratch/w16" --stream h264 -- $(for ch in $(seq 16); do printf '/bench/%d ' "$ch"; done)
    read -r cpu playing receive capture <"$scratch/w16"
    awk -v c="$cpu" -v n="$playing" 'BEGIN {
      printf "(webrtc-a) bridge CPU for %d WebRTC viewers of 16 channels of 704x576 25 fps H.264: %.1f%% of one core, %.2f%% per viewer (target: 16 under 25%%)\n",
             n, c, (n > 0 ? c / n : 0) }'
    echo "(webrtc-c) browser share of the delay, rVFC receive to display: median ${receive} ms; capture to display: ${capture} ms (the recorder-to-bridge share is (e)'s; target under 150 ms in all)"
  fi
  start_simulator sim5.out --model-code 11 --size 704x576 --fps 25 --channels 1 --echo-interval 0
  if [ -n "$port" ]; then
    webrtc_row "$scratch/w1" -- /bench/1
    read -r cpu playing receive capture <"$scratch/w1"
    echo "(webrtc-b) bridge CPU transcoding one 704x576 25 fps MPEG-4 channel to H.264 for ${playing} WebRTC viewer: ${cpu}% of one core"
  fi
  stop_simulator
fi
"$bin/bench_reconnect" 2>/dev/null || echo "(f) reconnect: benchmark did not run"
"$bin/bench_recording_memory" 2>/dev/null || echo "(rec) recording memory: benchmark did not run"

# (grid-d) 16 channels of one recorder, each a pre-encoded loop replayed at
# 25 fps; the client decodes them all, then ffmpeg decodes its recording of
# the same streams track by track.
start_simulator sim3.out --model-code 51 --channels 16 --fps 25 --loop 1 --echo-interval 0
if [ -n "$port" ]; then
  grid=(--host 127.0.0.1 --port "$port" --user admin --password 1234 --stream h264 --channel 1-16 --frames 100
        --timeout 60)
  # The client's CPU and the pictures it counts, in one run.
  cli_cpu=$(cpu_seconds_out "$scratch/grid.out" "$bin/orvix-cli" "${grid[@]}")
  cli_pictures=$(awk '/^decoded / { n += $2 } END { print n + 0 }' "$scratch/grid.out")
  "$bin/orvix-cli" "${grid[@]}" --record "$scratch/grid.mp4" >/dev/null 2>&1
  # One ffmpeg process with one decoding thread takes the tracks in turn
  # (ffmpeg's own start-up is then paid once, as the client's is).
  ff_pictures=0
  ff_maps=()
  for track in $(seq 0 15); do
    n=$(ffprobe -v error -select_streams "v:$track" -count_packets -show_entries stream=nb_read_packets \
        -of csv=p=0 "$scratch/grid.mp4" 2>/dev/null)
    [ -z "$n" ] && continue
    ff_pictures=$((ff_pictures + n))
    ff_maps+=(-map "0:v:$track" -pix_fmt bgra -f rawvideo -y /dev/null)
  done
  ff_cpu=0
  [ "$ff_pictures" -gt 0 ] && ff_cpu=$(cpu_seconds ffmpeg -v error -threads 1 -i "$scratch/grid.mp4" "${ff_maps[@]}")
  if [ "$ff_pictures" -gt 0 ] && [ "$cli_pictures" -gt 0 ]; then
    awk -v c="$cli_cpu" -v n="$cli_pictures" -v f="$ff_cpu" -v m="$ff_pictures" 'BEGIN {
      a = 1000 * c / n; b = 1000 * f / m;
      printf "(grid-d) CPU per decoded picture, 16 channels 352x288 H.264: orvix-cli %.2f ms, ffmpeg with one thread %.2f ms: %.2fx (target within 1.1x)\n",
             a, b, (b > 0 ? a / b : 0) }'
  else
    echo "(grid-d) grid CPU: no recording to compare with"
  fi
else
  echo "(grid-d) grid CPU: the recorder simulator did not start"
fi
stop_simulator

"$bin/bench_grid_capacity" 2>/dev/null || echo "(grid-e) grid capacity: benchmark did not run"

# (grid-f) The program shows the simulator on a virtual X server (no window
# manager: its window is mapped as it is) with the view --renderer auto
# chooses there. Its CPU comes from /proc over a fixed window once pictures
# flow; the pictures it displayed in that window from its ORVIX_STATS=1
# report, asked for with SIGUSR1. orvix-cli then decodes the same stream for
# the same time, its pictures counted from --verbose.
window_s=8
# cpu_ms PID: the process's CPU time so far in ms, from its threads' run
# times in nanoseconds (clock ticks of 10 ms would be a tenth of the
# client's time in the window). Threads that ended are not in it: none do
# while pictures flow. Falls back to the clock ticks.
cpu_ms() {
  local ns
  ns=$(cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }')
  if [ "${ns:-0}" -gt 0 ]; then
    awk -v n="$ns" 'BEGIN { printf "%.3f", n / 1e6 }'
  else
    awk -v t="$(cpu_ticks "$1")" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.3f", 1000 * t / hz }'
  fi
}
catches_usr1() {  # catches_usr1 PID: the process has its SIGUSR1 handler (signal 10: bit 0x200 of SigCgt)
  local mask
  mask=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$1/status" 2>/dev/null)
  [ -n "$mask" ] && [ $(( 0x$mask & 0x200 )) -ne 0 ]
}
displayed_now() {  # displayed_now PID ERR: the pictures the program has displayed so far
  local before now
  catches_usr1 "$1" || return 1
  before=$(grep -c '^displayed ' "$2")
  kill -USR1 "$1" 2>/dev/null || return 1
  for _ in $(seq 100); do
    now=$(grep -c '^displayed ' "$2")
    [ "$now" -gt "$before" ] && break
    sleep 0.02
  done
  sed -n 's/^displayed \([0-9]*\) pictures$/\1/p' "$2" | tail -1
}
decoded_now() { grep -c '^picture ' "$1"; }  # decoded_now OUT: orvix-cli's pictures so far
# measure_displayed PID ERR SETTLE: waits for the program's first picture
# (30 s at most) and SETTLE seconds more, then measures its CPU per
# displayed picture over window_s: sets f_ms and f_rate (pictures a
# second), empty when none was displayed.
measure_displayed() {
  local pid=$1 err=$2 n0= n1 t0 t1 s0 s1
  f_ms=
  f_rate=
  for _ in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || break
    n0=$(displayed_now "$pid" "$err")
    [ "${n0:-0}" -gt 0 ] && break
    sleep 0.2
  done
  [ "${n0:-0}" -gt 0 ] || return
  sleep "$3"
  t0=$(cpu_ms "$pid"); s0=$(date +%s.%N); n0=$(displayed_now "$pid" "$err")
  sleep "$window_s"
  t1=$(cpu_ms "$pid"); s1=$(date +%s.%N); n1=$(displayed_now "$pid" "$err")
  if [ "$((n1 - n0))" -gt 0 ]; then
    f_ms=$(awk -v a="$t0" -v b="$t1" -v n=$((n1 - n0)) 'BEGIN { printf "%.2f", (b - a) / n }')
    f_rate=$(awk -v n=$((n1 - n0)) -v a="$s0" -v b="$s1" 'BEGIN { printf "%.1f", n / (b - a) }')
  fi
}
# measure_orvix LABEL [OPTIONS...]: sets f_ms and f_rate (pictures a second),
# empty when no picture was displayed.
measure_orvix() {
  local label=$1 pid
  shift
  f_ms=
  f_rate=
  rm -rf "$scratch/config"
  mkdir -p "$scratch/config"
  XDG_CONFIG_HOME=$scratch/config "$bin/orvix-demo-store" --name bench --port "$port" --stream h264 \
    >/dev/null 2>&1 || return
  # Every picture, not the key pictures alone ("I only" is on by default).
  mkdir -p "$scratch/config/orvix"
  printf '[view]\niframeOnly=false\n' >"$scratch/config/orvix/orvix.conf"
  : >"$scratch/orvix-$label.err"
  DISPLAY=:$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$scratch/config ORVIX_STATS=1 \
    DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvix-bench-no-bus \
    "$bin/orvix" --connect bench "$@" >/dev/null 2>>"$scratch/orvix-$label.err" &
  pid=$!
  client_pid=$pid
  measure_displayed "$pid" "$scratch/orvix-$label.err" 1
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; client_pid=
}
# measure_cli LABEL [OPTIONS...]: the same for orvix-cli, per decoded picture.
measure_cli() {
  local label=$1 pid n0 n1 t0 t1 s0 s1
  shift
  c_ms=
  c_rate=
  "$bin/orvix-cli" --host 127.0.0.1 --port "$port" --user admin --password 1234 --stream h264 \
    --frames 1000000 --timeout 600 --verbose "$@" >"$scratch/cli-$label.out" 2>/dev/null &
  pid=$!
  client_pid=$pid
  for _ in $(seq 150); do
    [ "$(decoded_now "$scratch/cli-$label.out")" -gt 0 ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  if [ "$(decoded_now "$scratch/cli-$label.out")" -gt 0 ]; then
    sleep 1
    t0=$(cpu_ms "$pid"); s0=$(date +%s.%N); n0=$(decoded_now "$scratch/cli-$label.out")
    sleep "$window_s"
    t1=$(cpu_ms "$pid"); s1=$(date +%s.%N); n1=$(decoded_now "$scratch/cli-$label.out")
    if [ "$((n1 - n0))" -gt 0 ]; then
      c_ms=$(awk -v a="$t0" -v b="$t1" -v n=$((n1 - n0)) 'BEGIN { printf "%.2f", (b - a) / n }')
      c_rate=$(awk -v n=$((n1 - n0)) -v a="$s0" -v b="$s1" 'BEGIN { printf "%.1f", n / (b - a) }')
    fi
  fi
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; client_pid=
}
# compare_f WHAT LABEL [PROGRAM OPTIONS...] -- [CLI OPTIONS...]: the program
# and orvix-cli measured in turn, rounds_f times (this machine's speed
# drifts between runs seconds apart); one line with the median round's
# figures and ratio, and every round's ratio.
rounds_f=5
compare_f() {
  local what=$1 label=$2 orvix_options=() cli_options=() ratios= round line
  shift 2
  while [ $# -gt 0 ] && [ "$1" != -- ]; do orvix_options+=("$1"); shift; done
  [ "${1:-}" = -- ] && shift
  cli_options=("$@")
  : >"$scratch/rounds-$label"
  for round in $(seq "$rounds_f"); do
    measure_orvix "$label" "${orvix_options[@]}"
    if [ -z "$f_ms" ]; then
      echo "(grid-f) $what: the program displayed no picture"
      return
    fi
    measure_cli "$label" "${cli_options[@]}"
    if [ -z "$c_ms" ]; then
      echo "(grid-f) $what: orvix-cli decoded no picture to compare with"
      return
    fi
    awk -v a="$f_ms" -v ar="$f_rate" -v b="$c_ms" -v br="$c_rate" \
      'BEGIN { printf "%.4f %s %s %s %s\n", (b > 0 ? a / b : 0), a, ar, b, br }' >>"$scratch/rounds-$label"
  done
  ratios=$(sort -n "$scratch/rounds-$label" | awk '{ printf "%s%.2f", (NR > 1 ? " " : ""), $1 }')
  line=$(sort -n "$scratch/rounds-$label" | sed -n "$(( (rounds_f + 1) / 2 ))p")
  echo "$line" | awk -v what="$what" -v n="$rounds_f" -v all="$ratios" '{
    printf "(grid-f) %s: orvix %.2f ms per displayed picture (%.1f a second), orvix-cli %.2f ms per decoded picture (%.1f a second): %.2fx, the median of %d rounds (%s) (target within 1.5x)\n",
           what, $2, $3, $4, $5, $1, n, all }'
}
# (wall-f) Four simulators of 4 channels each, in the device list as
# "wall 1" ... "wall 4" with a saved 16-tile layout of all their cameras;
# the program shows it with `orvix --wall bench`, and 4 orvix-cli (one per
# recorder, all its channels) decode the same streams for the same time.
# rounds_wall rounds in turn (this machine's speed drifts), the median
# printed. The recorders' connections
# while the program ran come from the simulators' logs.
rounds_wall=5
wall_connections() { cat "$scratch"/wall/sim*.log 2>/dev/null | grep -c 'CLIENT connected'; }
wall_f() {
  local dir=$scratch/wall i port id ports=() layout pid pids n0 n1 t0 t1 s0 s1 c0 round line ratios connections=
  rm -rf "$dir"
  mkdir -p "$dir/config/orvix"
  layout="[view]\niframeOnly=false\n\n[wall]\nlayouts\\\\size=1\nlayouts\\\\1\\\\name=bench\nlayouts\\\\1\\\\arrangement=16\nlayouts\\\\1\\\\tiles\\\\size=16\n"
  for i in 1 2 3 4; do
    "$bin/orvix-recorder-sim" --port 0 --model-code 51 --size 704x576 --fps 25 --channels 4 --loop 1 \
      --echo-interval 0 --log "$dir/sim$i.log" >"$dir/sim$i.out" 2>/dev/null &
    wall_sims="$wall_sims $!"
  done
  for i in 1 2 3 4; do
    port=$(first_match "$dir/sim$i.out" 's/^listening on .*:\([0-9]*\)$/\1/p' 600)
    id=$(XDG_CONFIG_HOME=$dir/config "$bin/orvix-demo-store" --name "wall $i" --port "${port:-1}" --stream h264 \
         2>/dev/null | sed -n 's/.*(id \([0-9]*\))$/\1/p')
    if [ -z "$port" ] || [ -z "$id" ]; then
      echo "(wall-f) 16-tile wall: recorder $i could not be set up"
      return
    fi
    ports+=("$port")
    for c in 1 2 3 4; do
      n0=$(( (i - 1) * 4 + c ))
      layout="${layout}layouts\\\\1\\\\tiles\\\\$n0\\\\recorder=$id\nlayouts\\\\1\\\\tiles\\\\$n0\\\\camera=$c\n"
    done
  done
  printf "$layout" >"$dir/config/orvix/orvix.conf"
  : >"$dir/rounds"
  for round in $(seq "$rounds_wall"); do
    # The program.
    : >"$dir/orvix.err"
    c0=$(wall_connections)
    DISPLAY=:$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$dir/config ORVIX_STATS=1 \
      DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvix-bench-no-bus \
      "$bin/orvix" --wall bench >/dev/null 2>>"$dir/orvix.err" &
    pid=$!
    client_pid=$pid
    # The 16 streams start one after another: 2 s more before measuring.
    measure_displayed "$pid" "$dir/orvix.err" 2
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; client_pid=
    connections=$(( $(wall_connections) - c0 ))
    if [ -z "$f_ms" ]; then
      echo "(wall-f) 16-tile wall: the program displayed no picture"
      return
    fi
    # The four clients at once, their CPU and pictures summed.
    pids=
    for i in 0 1 2 3; do
      "$bin/orvix-cli" --host 127.0.0.1 --port "${ports[$i]}" --user admin --password 1234 --stream h264 \
        --channel 1-4 --frames 1000000 --timeout 600 --verbose >"$dir/cli$i.out" 2>/dev/null &
      pids="$pids $!"
    done
    client_pid=$pids
    sum_decoded() { cat "$dir"/cli*.out | grep -c '^picture '; }
    sum_cpu() { local total=0 p; for p in $pids; do total=$(awk -v a="$total" -v b="$(cpu_ms "$p")" 'BEGIN { printf "%.3f", a + b }'); done; echo "$total"; }
    for _ in $(seq 300); do [ "$(sum_decoded)" -gt 0 ] && break; sleep 0.2; done
    c_ms=
    if [ "$(sum_decoded)" -gt 0 ]; then
      sleep 2
      t0=$(sum_cpu); s0=$(date +%s.%N); n0=$(sum_decoded)
      sleep "$window_s"
      t1=$(sum_cpu); s1=$(date +%s.%N); n1=$(sum_decoded)
      if [ "$((n1 - n0))" -gt 0 ]; then
        c_ms=$(awk -v a="$t0" -v b="$t1" -v n=$((n1 - n0)) 'BEGIN { printf "%.2f", (b - a) / n }')
        c_rate=$(awk -v n=$((n1 - n0)) -v a="$s0" -v b="$s1" 'BEGIN { printf "%.1f", n / (b - a) }')
      fi
    fi
    for p in $pids; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
    client_pid=
    if [ -z "$c_ms" ]; then
      echo "(wall-f) 16-tile wall: orvix-cli decoded no picture to compare with"
      return
    fi
    awk -v a="$f_ms" -v ar="$f_rate" -v b="$c_ms" -v br="$c_rate" -v k="$connections" \
      'BEGIN { printf "%.4f %s %s %s %s %s\n", (b > 0 ? a / b : 0), a, ar, b, br, k }' >>"$dir/rounds"
  done
  for p in $wall_sims; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  wall_sims=
  ratios=$(sort -n "$dir/rounds" | awk '{ printf "%s%.2f", (NR > 1 ? " " : ""), $1 }')
  line=$(sort -n "$dir/rounds" | sed -n "$(( (rounds_wall + 1) / 2 ))p")
  echo "$line" | awk -v n="$rounds_wall" -v all="$ratios" '{
    printf "(wall-f) 16-tile wall of 4 recorders (4 channels each, 704x576 H.264 25 fps): orvix %.2f ms per displayed picture (%.1f a second), 4 orvix-cli %.2f ms per decoded picture (%.1f a second): %.2fx, the median of %d rounds (%s) (target within 1.3x); recorder connections: %d (target 4)\n",
           $2, $3, $4, $5, $1, n, all, $6 }'
}
if ! command -v Xvfb >/dev/null; then
  echo "(grid-f) program CPU per picture: not measured, no Xvfb"
else
  # -displayfd: the server picks a free display and writes its number.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
  xvfb_pid=$!
  display=$(first_match "$scratch/display" '1p' 100)
  if [ -z "$display" ]; then
    echo "(grid-f) program CPU per picture: not measured, Xvfb did not start"
  else
    start_simulator sim4.out --model-code 51 --size 704x576 --fps 25 --loop 1 --echo-interval 0
    if [ -n "$port" ]; then
      compare_f "single view 704x576 H.264 25 fps" single
    else
      echo "(grid-f) single view: the recorder simulator did not start"
    fi
    if ! "$bin/orvix" --help 2>/dev/null | grep -q -- '--view'; then
      echo "(grid-f) 16-tile grid: not measured, the program has no --view"
    else
      start_simulator sim5.out --model-code 51 --channels 16 --fps 25 --loop 1 --echo-interval 0
      if [ -n "$port" ]; then
        compare_f "16-tile grid 352x288 H.264 25 fps" grid --view 16 -- --channel 1-16
      else
        echo "(grid-f) 16-tile grid: the recorder simulator did not start"
      fi
    fi
    stop_simulator
    if ! "$bin/orvix" --help 2>/dev/null | grep -q -- '--wall'; then
      echo "(wall-f) 16-tile wall: not measured, the program has no --wall"
    else
      wall_f
    fi
  fi
  kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
fi
exit 0
