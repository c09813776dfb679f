#!/bin/sh
# Plays games under a virtual X server and takes the README's screenshots:
# the first start's card, the survivor's view, the summary of a run, the
# whole world by day and by night, the menu, the pause at night, and a
# replay at twice the pace.
#   tools/screenshots.sh [build-dir] [output-dir]
set -eu
build=${1:-build}
out=${2:-docs}
display=:97 size=1920x1080
. "$(dirname "$0")/virtual-desktop.sh"

# A first start ever: the card of the goal and the keys.
"$build/carrowmere" --seed 5 >/dev/null 2>&1 &
game=$!
sleep 4
import -window root "$out/help.png"
xdotool key q
sleep 4
import -window root "$out/survivor.png"

# A run of twelve seconds given up, and its summary (in this world the
# survivor is bitten at seventeen).
sleep 8
xdotool key Escape
sleep 0.5
import -window root "$out/summary.png"

# Keep watching, the whole world in view, by day and then at midnight
# (1047 physics steps, about 31 seconds, into a game; NIGHT_WAIT for a slow
# machine).
sleep 1
xdotool mousemove 1010 540 click 1
xdotool key Home
sleep 1
import -window root "$out/day.png"
sleep ${NIGHT_WAIT:-14}
import -window root "$out/night.png"

# The menu, the keyboard's place on "Restart".
xdotool key Escape
sleep 0.5
xdotool key Tab
sleep 0.5
import -window root "$out/menu.png"
kill $game

# The pause by night, the survivor wearing its ring (in this world it lives
# through the night).
"$build/carrowmere" --seed 10 >/dev/null 2>&1 &
game=$!
sleep ${NIGHT_WAIT:-25}
xdotool key p
sleep 0.5
import -window root "$out/pause.png"
kill $game

# The replay the tests keep, at twice its pace, a few seconds in (its
# survivor is let go seven seconds in).
"$build/carrowmere" --replay tests/replays/steered.replay >/dev/null 2>&1 &
game=$!
sleep 2.5
xdotool key 2
sleep 1
import -window root "$out/replay.png"
kill $game
