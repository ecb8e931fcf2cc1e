#!/bin/sh
# Runs the ticker benchmark under Wine on a private Xvfb display and adds
# the CPU that the X server and the wineserver spent meanwhile. It runs the
# shipped 32-bit build where the host can, the 64-bit build elsewhere.
# Usage: bench.sh BUILD_ROOT [frames]
set -eu
root=$(cd "$1" && pwd)
frames=${2:-10000}
here=$(cd "$(dirname "$0")" && pwd)
ARCH=x64 BUILD=. . "$here/wine-env.sh"
if host_runs_32bit; then ARCH=x86; fi
BUILD="$root/$ARCH"
. "$here/wine-env.sh"
sh "$here/../tests/support/make-prefix.sh" "$BUILD" "$ARCH"
echo "benchmark of the $ARCH build ($BUILD)"
export VELMORA_BUILD="$BUILD" VELMORA_TEST_TIMEOUT=3600 ARCH
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    cpu() { awk "{print \$14 + \$15}" /proc/$1/stat 2>/dev/null || echo 0; }
    x=$(pgrep -f "Xvfb $DISPLAY " | head -n 1)
    # The wineserver of this prefix works in a folder named after the prefix.
    tag=$(printf "server-%s-%x" "$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    "$1/tests/support/wine-run.sh" "$ARCH" "$VELMORA_BUILD/bin/ticker_bench.exe" "$2" > "$VELMORA_BUILD/bench.out" &
    run=$!
    sleep 3
    server=""
    for p in $(pgrep wineserver); do
        case "$(readlink /proc/$p/cwd)" in *"/$tag") server=$p ;; esac
    done
    x0=$(cpu $x); s0=$(cpu ${server:-0})
    wait $run
    x1=$(cpu $x); s1=$(cpu ${server:-0})
    cat "$VELMORA_BUILD/bench.out"
    hz=$(getconf CLK_TCK)
    echo "Xvfb CPU            $(( (x1 - x0) * 1000 / hz )) ms in all (from 3 s after the start)"
    echo "wineserver CPU      $(( (s1 - s0) * 1000 / hz )) ms in all"
    "$WINESERVER" -w
' bench "$(dirname "$here")" "$frames"
