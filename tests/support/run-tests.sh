#!/bin/sh
# Runs one build's tests under its Wine with windows on a private Xvfb
# display, then checks that no Windows process was left behind.
# Usage: run-tests.sh BUILD x86|x64 [ctest args]
set -u
BUILD=$(cd "$1" && pwd)
ARCH=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tools/wine-env.sh"
export VELMORA_BUILD="$BUILD" ARCH WINE
# Each build searches for a free display from a number of its own, so the
# two builds' runs can start side by side.
case $ARCH in x64) first=100 ;; *) first=200 ;; esac
xvfb-run -a -n $first -s "-screen 0 1280x1024x24" sh -c '
    # One server and its services for the whole run: each test program then
    # starts in a fraction of a second.
    "$WINESERVER" -p
    "$WINE" cmd /c exit 0 >/dev/null 2>&1
    ctest --test-dir "$VELMORA_BUILD" --output-on-failure "$@"
    rc=$?
    left=$(sh "$0" "$WINEPREFIX")
    if [ -n "$left" ]; then
        echo "Windows processes were left running after the $ARCH tests:" >&2
        echo "$left" >&2
        rc=1
    fi
    "$WINESERVER" -k
    timeout 60 "$WINESERVER" -w
    exit $rc
' "$here/left-running.sh" "$@"
