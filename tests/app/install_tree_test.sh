#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks the tree: programs and
# libraries where they belong, the desktop entry and the AppStream data
# accepted by their validators, the icons, and the installed program finding
# its own libraries: given a device list (made by the build's demo-store
# tool), `orvix --connect` logs in to the installed recorder simulator.
#   install_tree_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
id=org.orvix.Orvix
work=$(mktemp -d /tmp/orvix-install-XXXXXX)
prefix=$work/prefix
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install tree: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for program in orvix orvix-cli orvix-bridge orvix-recorder-sim orvix-ddns-sim; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program missing"
done
libdir=$(dirname "$(find "$prefix" -name libnodra.so -print -quit)")
[ "$(basename "$libdir")" = orvix ] || fail "libnodra.so is not in a private lib/orvix directory"
[ -e "$libdir/libtlset.so" ] || fail "libtlset.so missing beside libnodra.so"
[ ! -e "$prefix/bin/libnodra.so" ] || fail "a library was installed beside the programs"

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
for size in 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
  [ -f "$icon" ] || fail "icon ${size}x${size} missing"
  # PNG width and height, big-endian at bytes 16 and 20.
  dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4, $7*256+$8}')
  [ "$dims" = "$size $size" ] || fail "icon ${size}x${size} is $dims"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "scalable icon missing"

[ "$("$prefix/bin/orvix" --version)" = "orvix $version" ] || fail "orvix --version from the prefix"
"$prefix/bin/orvix-cli" --help >/dev/null || fail "orvix-cli --help from the prefix"
"$prefix/bin/orvix-bridge" --help >/dev/null || fail "orvix-bridge --help from the prefix"
[ -f "$prefix/lib/systemd/system/orvix-bridge.service" ] || fail "the bridge's systemd unit missing"

# The installed program with its own libraries, against the installed simulator.
# No session bus: the test's password stays out of the user's keyring.
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvix-tests-no-bus
"$prefix/bin/orvix-recorder-sim" --port 0 --fps 2 --log "$work/sim.log" >"$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q '^listening on' "$work/sim.out" && break; sleep 0.1; done
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/sim.out")
[ -n "$port" ] || fail "the installed simulator did not start"
"$build/bin/orvix-demo-store" --port "$port" --name "Installed test" >/dev/null
"$prefix/bin/orvix" --connect "Installed test" >"$work/orvix.out" 2>&1 &
pids+=($!)
for _ in $(seq 300); do grep -q '^LOGIN account=' "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
grep -q '^LOGIN account=' "$work/sim.log" 2>/dev/null || {
  cat "$work/orvix.out" >&2
  fail "the installed orvix did not connect to the recorder of its device list"
}
echo "install tree: ok ($prefix)"
