#!/bin/sh
# Installs the Debian packages the builds and the tests need, only those
# missing, so a second run installs nothing. The i386 packages install on
# every x86-64 host, also on one that cannot run their code.
# The demo (and its test) also serve feeds (python3), take screenshots
# (xwd, xwininfo, ImageMagick) and move the pointer (xdotool).
set -eu
packages="cmake make g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix
    mingw-w64-x86-64-dev wine wine32:i386 wine64 fonts-wine fonts-liberation xvfb xauth locales
    googletest nsis python3 x11-apps x11-utils imagemagick xdotool"
missing=""
for p in $packages; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
if [ "$(id -u)" != 0 ]; then
    echo "run as root (or install these packages first):$missing" >&2
    exit 1
fi
case " $(dpkg --print-foreign-architectures | tr '\n' ' ') " in
    *" i386 "*) ;;
    *) dpkg --add-architecture i386 ;;
esac
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends $missing >/dev/null
