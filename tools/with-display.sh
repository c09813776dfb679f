#!/bin/sh
# Runs a command on the current display, or under a virtual 1920x1080 X server
# when there is none (CI, a terminal over SSH).
set -eu
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$@"
fi
exec xvfb-run --auto-servernum --server-args="-screen 0 1920x1080x24 -nolisten tcp" "$@"
