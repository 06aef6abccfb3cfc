#!/usr/bin/env bash
# The benchmarks in one run, each printed beside its reference:
#   (a) stream-parser throughput against memchr over the same bytes
#   (b) CPU time per decoded picture of orvix-cli against the ffmpeg tool
#       decoding the same elementary stream to RGB32
#   (c) latency from a packet written to its RGB picture held, on loopback
#   (d) CPU of orvix-bridge relaying 16 channels of 704x576 25 fps H.264
#       over one recorder connection to 16 clients, against those ffmpeg
#       clients that receive them without decoding
#   (e) the bridge's added delay from a recorder write to an RTSP client
#   (f) time from a recorder's return to the first picture, beside the
#       reconnect delay that applied
#   (grid-d) CPU per decoded picture of orvix-cli showing 16 channels of
#       352x288 25 fps H.264 at once, against the ffmpeg tool decoding the
#       same 16 streams one after another with one thread
#   (grid-e) how many 704x576 25 fps H.264 channels one session decodes with
#       under 1% of the pictures lost
# Usage: bench/run.sh [BUILD_DIR]   (default build/release). Never fails the
# caller: a step that cannot run says so and the others go on.
set -uo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release}/bin
scratch=$(mktemp -d)
sim_pid=
bridge_pid=
client_pid=
cleanup() {
  for pid in $client_pid $bridge_pid $sim_pid; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== benchmarks"
"$bin/bench_parser" || echo "(a) stream parser: benchmark did not run"

# (b) A recorder simulator sends 704x576 MPEG-4 at 60 pictures a second.
frames=240
"$bin/orvix-recorder-sim" --port 0 --size 704x576 --fps 60 >"$scratch/sim.out" 2>/dev/null &
sim_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$scratch/sim.out")
  [ -n "$port" ] && break
  sleep 0.05
done
cpu_seconds() {  # cpu_seconds <command...>: user + system seconds of the command
  local TIMEFORMAT='%U %S' times
  times=$( { time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
  awk -v t="$times" 'BEGIN { split(t, p, " "); printf "%.3f", p[1] + p[2] }'
}
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
kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
"$bin/orvix-recorder-sim" --port 0 --model-code 51 --size 704x576 --fps 25 --channels 16 --loop 2 \
  >"$scratch/sim2.out" 2>/dev/null &
sim_pid=$!
port=
for _ in $(seq 600); do
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$scratch/sim2.out")
  [ -n "$port" ] && break
  sleep 0.05
done
echo 1234 >"$scratch/pw"
cpu_ticks() {  # cpu_ticks PID...: user + system clock ticks so far, summed
  local total=0 pid t
  for pid in "$@"; do
    t=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo 0)
    total=$((total + t))
  done
  echo "$total"
}
if [ -n "$port" ]; then
  # The simulator encodes its loop at the first request: the first client
  # may wait for that.
  "$bin/orvix-bridge" --host 127.0.0.1 --port "$port" --user admin --password-file "$scratch/pw" --stream h264 \
    --name bench --listen 127.0.0.1:0 --join-wait 120 >"$scratch/bridge.out" 2>"$scratch/bridge.err" &
  bridge_pid=$!
  rtsp=
  for _ in $(seq 100); do
    rtsp=$(sed -n 's/^listening on \(rtsp:.*\)$/\1/p' "$scratch/bridge.out")
    [ -n "$rtsp" ] && break
    sleep 0.05
  done
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
"$bin/bench_reconnect" 2>/dev/null || echo "(f) reconnect: benchmark did not run"

# (grid-d) 16 channels of one recorder, each a pre-encoded loop replayed at
# 25 fps; the client decodes them all, then ffmpeg decodes its recording of
# the same streams track by track.
kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
"$bin/orvix-recorder-sim" --port 0 --model-code 51 --channels 16 --fps 25 --loop 1 --echo-interval 0 \
  >"$scratch/sim3.out" 2>/dev/null &
sim_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$scratch/sim3.out")
  [ -n "$port" ] && break
  sleep 0.05
done
if [ -n "$port" ]; then
  grid=(--host 127.0.0.1 --port "$port" --user admin --password 1234 --stream h264 --channel 1-16 --frames 100
        --timeout 60)
  # The client's CPU in one run, the pictures it counts in another.
  cli_cpu=$(cpu_seconds "$bin/orvix-cli" "${grid[@]}")
  "$bin/orvix-cli" "${grid[@]}" >"$scratch/grid.out" 2>/dev/null
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
kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
sim_pid=

"$bin/bench_grid_capacity" 2>/dev/null || echo "(grid-e) grid capacity: benchmark did not run"
exit 0
