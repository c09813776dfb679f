#!/bin/sh
# Plays games under a virtual X server and takes the README's screenshots:
# the survivor's view by day, then the whole world by day and by night; the
# pause and the end of a run, at scale 1 and 2.
#   tools/screenshots.sh [build-dir] [output-dir]
set -eu
build=${1:-build}
out=${2:-docs}
display=:97

Xvfb $display -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=$display

"$build/carrowmere" >/dev/null 2>&1 &
game=$!
sleep 4
import -window root "$out/survivor.png"

# Give up control, zoom out to the whole world.
xdotool keydown Escape; sleep 0.2; xdotool keyup Escape
xdotool mousemove 1010 540
for step in 1 2 3 4 5; do xdotool click 5; sleep 0.1; done
sleep 1
# Drag the world's centre to the middle of the view: find the lit ground in
# the picture (everything outside the world is black).
import -window root /tmp/carrowmere-zoomed.png
box=$(convert /tmp/carrowmere-zoomed.png -crop 1820x1080+100+0 +repage -threshold 30% -trim -format '%w %h %X %Y' info:)
set -- $box
xdotool mousemove $((100 + $3 + $1 / 2)) $(($4 + $2 / 2)) mousedown 1
xdotool mousemove 1010 540; sleep 0.2; xdotool mouseup 1
sleep 1
import -window root "$out/day.png"

# Midnight falls 1047 physics steps, about 31 seconds, into a game; a slow
# machine takes longer: NIGHT_WAIT sets the wait in seconds.
sleep ${NIGHT_WAIT:-25}
import -window root "$out/night.png"
kill $game

# The pause, then the end of the run given up, on a full-HD screen at the
# scales 1 and 2.
for scale in 1 2; do
    suffix=$([ $scale = 1 ] && echo "" || echo "-scale2")
    QT_SCALE_FACTOR=$scale "$build/carrowmere" >/dev/null 2>&1 &
    game=$!
    sleep 4
    xdotool key p; sleep 0.5
    import -window root "$out/pause$suffix.png"
    xdotool key p; sleep 0.3
    xdotool keydown Escape; sleep 0.1; xdotool keyup Escape; sleep 0.5
    import -window root "$out/end$suffix.png"
    kill $game
done
