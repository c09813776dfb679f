#!/bin/sh
# Installs, from Debian's packages, whatever the build, the game and the tests
# need and this machine lacks. Uses sudo when not run as root.
set -eu

packages="cmake make g++ pkg-config libxcb1-dev libxcb-xkb-dev
qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-qpa-plugins
libpulse-dev pulseaudio pulseaudio-utils sox
qt6-image-formats-plugins fonts-liberation
libgl1-mesa-dri libglx-mesa0 libegl-mesa0
xvfb xauth xdotool x11-utils imagemagick
desktop-file-utils appstream
dpkg-dev file lintian"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $package" ;;
    esac
done

[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
else
    sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
