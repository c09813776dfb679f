# Sourced by the scripts that play the game for the README: a virtual X
# server of the given size on the given display, and a records folder of
# their own, both gone when the script ends. Sets DISPLAY, XDG_CONFIG_HOME
# and $home.
#   . tools/virtual-desktop.sh :97 1920x1080
home=$(mktemp -d)
Xvfb "$1" -screen 0 "${2}x24" -nolisten tcp >/dev/null 2>&1 &
desktop=$!
trap 'kill $desktop 2>/dev/null || true; rm -rf "$home"' EXIT
sleep 1
export DISPLAY="$1" XDG_CONFIG_HOME="$home"
