#!/usr/bin/env bash
# The benchmarks in one run, each printed beside its reference:
#   (a) stream-parser throughput against memchr over the same bytes
#   (b) CPU time per decoded picture of orvix-cli against the ffmpeg tool
#       decoding the same elementary stream to RGB32
#   (c) latency from a packet written to its RGB picture held, on loopback
# Usage: bench/run.sh [BUILD_DIR]   (default build/release). Never fails the
# caller: a step that cannot run says so and the others go on.
set -uo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release}/bin
scratch=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
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
exit 0
