#!/usr/bin/env bash
# Runs one end-to-end script in a virtual X server of its own.
set -euo pipefail
exec xvfb-run -a -s '-screen 0 1600x1200x24 -nolisten tcp' "$@"
