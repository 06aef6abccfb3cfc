#!/usr/bin/env bash
# Runs a program with a session bus and a Secret Service of its own, so that
# tests never reach the user's keyring: a private dbus-daemon (without
# service activation, so nothing else starts on it) and an unlocked
# gnome-keyring-daemon whose keyring lives in a temporary home.
#
#   private_keyring.sh PROGRAM [ARGS...]   runs PROGRAM there, returns its status
#   private_keyring.sh --start-daemon      (from inside) starts another keyring
#                                          daemon, prints its process id
#
# PROGRAM sees ORVIX_PRIVATE_KEYRING_PID, the keyring daemon's process id.
set -euo pipefail

keyring_password=orvix-test-keyring

start_daemon() {
  local log=$ORVIX_PRIVATE_KEYRING_DIR/daemon.log pid
  printf '%s' "$keyring_password" |
    gnome-keyring-daemon --foreground --unlock --components=secrets >>"$log" 2>&1 &
  pid=$!
  echo "$pid" >>"$ORVIX_PRIVATE_KEYRING_DIR/daemon.pids"
  for _ in $(seq 1 200); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
         org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'; then
      echo "$pid"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "private_keyring.sh: gnome-keyring-daemon did not start:" >&2
  cat "$log" >&2
  return 1
}

case "${1:-}" in
  --start-daemon)
    start_daemon
    exit
    ;;
  --inside)
    shift
    pid=$(start_daemon)
    export ORVIX_PRIVATE_KEYRING_PID=$pid
    status=0
    "$@" || status=$?
    # Every daemon started here, also those a test started again.
    while read -r started; do kill "$started" 2>/dev/null || true; done <"$ORVIX_PRIVATE_KEYRING_DIR/daemon.pids"
    exit "$status"
    ;;
esac

[ $# -gt 0 ] || { echo "usage: private_keyring.sh PROGRAM [ARGS...]" >&2; exit 2; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/orvix-keyring-XXXXXX")
trap 'rm -rf "$dir"' EXIT
cat >"$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$dir</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
mkdir -p "$dir/home/.local/share" "$dir/home/.cache" "$dir/run"
chmod 700 "$dir/run"
export ORVIX_PRIVATE_KEYRING_DIR=$dir
export HOME=$dir/home XDG_DATA_HOME=$dir/home/.local/share XDG_CACHE_HOME=$dir/home/.cache XDG_RUNTIME_DIR=$dir/run
unset GNOME_KEYRING_CONTROL SSH_AUTH_SOCK DISPLAY WAYLAND_DISPLAY
status=0
dbus-run-session --config-file="$dir/bus.conf" -- bash "${BASH_SOURCE[0]}" --inside "$@" || status=$?
exit "$status"
