#!/usr/bin/env bash
# Runs one end-to-end script in a virtual X server of its own. The server never resets: an X
# server starts afresh when its last client leaves, and a client connecting meanwhile (a test's
# next step, after it has closed every window) is refused the display.
set -euo pipefail
exec xvfb-run -a -s '-screen 0 1600x1200x24 -nolisten tcp -noreset' "$@"
