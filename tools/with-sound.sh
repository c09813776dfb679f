#!/bin/sh
# Runs a command with a sound server of its own: PulseAudio with a null sink
# (whose monitor the tests record), in a runtime folder of its own, and stops
# it after. The game then plays into that server, never the desktop's.
# The command finds in CARROWMERE_SOUND_SERVER a script that starts the
# server again once it has stopped it (pulseaudio --kill).
#   tools/with-sound.sh command [argument ...]
set -eu
runtime=$(mktemp -d)
export XDG_RUNTIME_DIR="$runtime"
export PULSE_SERVER="unix:$runtime/pulse/native"
unset PULSE_SINK PULSE_SOURCE
export CARROWMERE_SOUND_SERVER="$runtime/server.sh"
cat >"$CARROWMERE_SOUND_SERVER" <<EOF
#!/bin/sh
# Returns once the server answers, or fails.
exec pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit --log-target=file:$runtime/pulse.log \\
    -L "module-null-sink sink_name=carrowmere rate=48000 channels=2" \\
    -L "module-native-protocol-unix auth-anonymous=1"
EOF
chmod +x "$CARROWMERE_SOUND_SERVER"
stop() {
    pid=$(cat "$runtime/pulse/pid" 2>/dev/null || true)
    if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then
        waited=0
        while kill -0 "$pid" 2>/dev/null && [ $waited -lt 50 ]; do
            waited=$((waited + 1))
            sleep 0.1
        done
    fi
    rm -rf "$runtime"
}
trap stop EXIT INT TERM
if ! "$CARROWMERE_SOUND_SERVER" || ! pactl info >/dev/null 2>&1; then
    echo "with-sound: the sound server did not start:" >&2
    cat "$runtime/pulse.log" >&2
    exit 1
fi
pactl set-default-sink carrowmere >/dev/null
status=0
"$@" || status=$?
exit $status
