#!/bin/sh
# Plays games under a virtual X server into a sound server of their own and
# records what the player hears, for the README: a night at the default size
# and an outbreak at --scale 50, a few seconds each, as Ogg Vorbis.
#   tools/recordings.sh [build-dir] [output-dir]
# (run under tools/with-sound.sh, which starts the sound server)
set -eu
build=${1:-build}
out=${2:-docs}
display=:96 size=1280x720
. "$(dirname "$0")/virtual-desktop.sh"
mkdir -p "$home/carrowmere"
printf 'bestScore=1\n' >"$home/carrowmere/carrowmere.conf" # no first-start card

record() { # name seconds
    parec -d @DEFAULT_MONITOR@ --format=s16le --rate=48000 --channels=2 --raw >"$home/$1.raw" &
    recorder=$!
    sleep "$2"
    kill $recorder
    sox -t raw -r 48000 -e signed -b 16 -c 2 "$home/$1.raw" -C 3 "$out/$1.ogg"
}

# Dusk falls about 16 seconds into a game: give up control near then (in
# this world the survivor is bitten at seventeen), so that the free camera
# hears the crowd, a wave and the night coming.
"$build/carrowmere" --seed 5 >/dev/null 2>&1 &
game=$!
sleep 14
xdotool key Escape
sleep 2
xdotool mousemove 640 360 click 1
for i in 1 2 3; do xdotool click 5; sleep 0.2; done
xdotool click 3
record night 8
kill $game

# The largest outbreak: a survivor among thousands, screaming.
"$build/carrowmere" --seed 5 --scale 50 >/dev/null 2>&1 &
game=$!
sleep 12
xdotool key space
record outbreak 7 &
recording=$!
sleep 3
xdotool key space
wait $recording
kill $game
