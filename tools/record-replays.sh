#!/bin/sh
# Records the replays the tests play, anew: needed whenever the replay's
# format or its rules (Replay::rules) change, since older ones are refused.
# A game played under a virtual X server with real keys and clicks: steered,
# a scream, let go while paused, the summary taken down, the free camera's
# noise, the window closed. Prints the check of the new file: its steps go
# into the tests that name them (tst_game, tst_session).
#   tools/record-replays.sh [build-dir]
set -eu
build=${1:-build}
tests=$(dirname "$0")/../tests/replays
display=:95 size=1280x720
. "$(dirname "$0")/virtual-desktop.sh"
mkdir -p "$home/carrowmere"
printf 'bestScore=1\n' >"$home/carrowmere/carrowmere.conf" # no first-start card

"$build/carrowmere" --seed 7 --windowed --mute >/dev/null 2>&1 &
game=$!
xdotool search --sync --onlyvisible --name '^Carrowmere$' >/dev/null
sleep 2
xdotool keydown Left; sleep 0.6; xdotool keyup Left
xdotool key space
xdotool keydown Up; sleep 0.4; xdotool keyup Up
sleep 1
xdotool key p; sleep 0.3
xdotool key Escape; sleep 0.3 # let go while paused
xdotool key p
sleep 1.5 # the summary's first second
xdotool mousemove 640 360 click 1 # takes it down
sleep 1
xdotool click 3 # a noise where the free camera looks
sleep 2
xdotool search --name '^Carrowmere$' windowclose
wait $game

set -- "$XDG_DATA_HOME"/carrowmere/replays/*.replay
[ $# -eq 1 ] || { echo "record-replays: expected one replay, found $#" >&2; exit 1; }
cp "$1" "$tests/steered.replay"
"$build/carrowmere" --replay "$tests/steered.replay" --verify
