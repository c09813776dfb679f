#!/bin/sh
# Runs a command on the current display, or under a virtual 1920x1080 X server
# when there is none (CI, a terminal over SSH).
set -eu
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$@"
fi

# The server picks a free display itself and says which when it is ready
# (-displayfd). xvfb-run's --auto-servernum guesses one from the lock files
# instead, and on a machine that runs several jobs at once a test could find
# nobody answering on the display it was given.
dir=$(mktemp -d "${TMPDIR:-/tmp}/carrowmere-display.XXXXXX")
server=
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || :
    [ -z "$server" ] || wait "$server" 2>/dev/null || :
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Only this user's programs may connect: the server reads the cookie when it
# starts, the clients find it under the display's number.
cookie=$(mcookie)
: >"$dir/auth"
xauth -q -f "$dir/auth" add :0 . "$cookie"
Xvfb -displayfd 3 -auth "$dir/auth" -screen 0 1920x1080x24 -nolisten tcp \
    3>"$dir/display" >"$dir/log" 2>&1 &
server=$!
tries=0
until [ -s "$dir/display" ]; do
    if ! kill -0 "$server" 2>/dev/null || [ "$tries" -ge 100 ]; then
        echo "with-display: the X server did not start:" >&2
        cat "$dir/log" >&2
        exit 1
    fi
    tries=$((tries + 1))
    sleep 0.1
done
display=:$(cat "$dir/display")
xauth -q -f "$dir/auth" add "$display" . "$cookie"
# A display started here has no session bus: without this, every Qt program
# on it would fork dbus-launch to start one, and a child forked from a
# threaded program can hang before its exec, and the program with it.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    export DBUS_SESSION_BUS_ADDRESS=disabled:
fi
status=0
DISPLAY=$display XAUTHORITY=$dir/auth "$@" || status=$?
exit $status
