#!/usr/bin/env bash
# Screenshots of ORVIX in a session against the recorder simulator, taken on
# a virtual X server: <build>/screenshots/main_dialog.png (live video with
# its overlay, after Connect) and main_dialog_status.png (the logo and the
# status line, right after a refresh).
#   bash scripts/screenshot.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/release}
case $build in /*) ;; *) build=$root/$build ;; esac

bash scripts/install-deps.sh
# A build directory that exists keeps its configuration.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_WERROR=ON >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target main_dialog_tests

xvfb-run -a -s "-screen 0 1024x768x24" \
  env QT_QPA_PLATFORM=xcb ORVIX_SCREENSHOT_DIR="$build/screenshots" \
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvix-tests-no-bus \
  "$build/bin/main_dialog_tests" --gtest_filter='MainDialogSession.*'
echo "screenshots in $build/screenshots"
