# Sourced by the scripts that play the game for the README: a virtual X
# server of $size on $display, and records and replays folders of their own, gone
# when the script ends. Sets DISPLAY, XDG_CONFIG_HOME, XDG_DATA_HOME and $home.
#   display=:97 size=1920x1080; . tools/virtual-desktop.sh
home=$(mktemp -d)
Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
desktop=$!
trap 'kill $desktop 2>/dev/null || true; rm -rf "$home"' EXIT
sleep 1
export DISPLAY="$display" XDG_CONFIG_HOME="$home" XDG_DATA_HOME="$home/data"
