#!/bin/sh
# Runs a command with a sound server of its own: PulseAudio with a null sink
# (whose monitor the tests record), in a runtime folder of its own, and stops
# it after. The game then plays into that server, never the desktop's.
#   tools/with-sound.sh command [argument ...]
set -eu
runtime=$(mktemp -d)
export XDG_RUNTIME_DIR="$runtime"
export PULSE_SERVER="unix:$runtime/pulse/native"
unset PULSE_SINK PULSE_SOURCE
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L "module-null-sink sink_name=carrowmere rate=48000 channels=2" \
    -L "module-native-protocol-unix auth-anonymous=1" >"$runtime/pulse.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true; rm -rf "$runtime"' EXIT INT TERM
waited=0
until pactl info >/dev/null 2>&1; do
    waited=$((waited + 1))
    if [ $waited -gt 100 ] || ! kill -0 $server 2>/dev/null; then
        echo "with-sound: the sound server did not start:" >&2
        cat "$runtime/pulse.log" >&2
        exit 1
    fi
    sleep 0.1
done
pactl set-default-sink carrowmere >/dev/null
status=0
"$@" || status=$?
exit $status
