#!/usr/bin/env bash
# Runs the browser test, installing its Node package first when missing.
#   bash tests/web/run.sh BIN_DIR SCREENSHOT_DIR
set -euo pipefail
cd "$(dirname "$0")"
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "SKIP: node and npm are needed (scripts/install-deps.sh installs them)"
  exit 77
fi
if [ ! -d node_modules/playwright-core ]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
fi
exec node bridge_page_test.mjs "$@"
