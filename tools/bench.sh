#!/bin/sh
# Runs the ticker benchmark under Wine on a private Xvfb display and adds
# the CPU that the X server and the wineserver spent meanwhile.
# Usage: bench.sh BUILD [frames]
set -eu
build=$(cd "$1" && pwd)
frames=${2:-10000}
export VELMORA_BUILD="$build" WINEPREFIX="$build/wineprefix" WINEDEBUG=-all VELMORA_TEST_TIMEOUT=3600
here=$(cd "$(dirname "$0")" && pwd)
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    cpu() { awk "{print \$14 + \$15}" /proc/$1/stat 2>/dev/null || echo 0; }
    x=$(pgrep -f "Xvfb $DISPLAY " | head -n 1)
    # The wineserver of this prefix works in a folder named after the prefix.
    tag=$(printf "server-%s-%x" "$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    "$1/tests/support/wine-run.sh" "$2/bin/ticker_bench.exe" "$3" > "$2/bench.out" &
    run=$!
    sleep 3
    server=""
    for p in $(pgrep wineserver); do
        case "$(readlink /proc/$p/cwd)" in *"/$tag") server=$p ;; esac
    done
    x0=$(cpu $x); s0=$(cpu ${server:-0})
    wait $run
    x1=$(cpu $x); s1=$(cpu ${server:-0})
    cat "$2/bench.out"
    hz=$(getconf CLK_TCK)
    echo "Xvfb CPU            $(( (x1 - x0) * 1000 / hz )) ms in all (from 3 s after the start)"
    echo "wineserver CPU      $(( (s1 - s0) * 1000 / hz )) ms in all"
    wineserver -w
' bench "$(dirname "$here")" "$build" "$frames"
