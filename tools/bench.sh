#!/bin/sh
# Runs the ticker benchmark under Wine on a private Xvfb display wide enough
# for a 2048-pixel ticker. The benchmark reads the CPU of the X server and
# of the wineserver itself, over the same spans as its own; this script
# only finds them. Just before it, the GTK feed ticker (when installed)
# scrolls on the same display for comparison; the floor program runs within
# the benchmark, on the same display too. It runs the shipped 32-bit
# build where the host can, the 64-bit build elsewhere; BENCH_ARCH=x86|x64
# chooses.
# Usage: bench.sh BUILD_ROOT [frames [refreshes]]
set -eu
root=$(cd "$1" && pwd)
frames=${2:-10000}
refreshes=${3:-1000}
here=$(cd "$(dirname "$0")" && pwd)
ARCH=x64 BUILD=. . "$here/wine-env.sh"
if [ -z "${BENCH_ARCH:-}" ] && host_runs_32bit; then ARCH=x86; fi
ARCH=${BENCH_ARCH:-$ARCH}
BUILD="$root/$ARCH"
. "$here/wine-env.sh"
sh "$here/../tests/support/make-prefix.sh" "$BUILD" "$ARCH"
echo "benchmark of the $ARCH build ($BUILD)"
export VELMORA_BUILD="$BUILD" VELMORA_TEST_TIMEOUT=3600 ARCH
xvfb-run -a -s "-screen 0 2560x1024x24" sh -c '
    # The wineserver of this prefix, started first so that it can be found:
    # it works in a folder named after the prefix.
    "$WINESERVER" -p
    tag=$(printf "server-%s-%x" "$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    server=""
    for try in 1 2 3 4 5 6 7 8 9 10; do
        for p in $(pgrep -u "$(id -u)" wineserver); do
            case "$(readlink /proc/$p/cwd)" in *"/$tag") server=$p ;; esac
        done
        [ -n "$server" ] && break
        sleep 0.2
    done
    [ -n "$server" ] || echo "(the wineserver was not found: its column reads 0)"
    x=$(pgrep -f "Xvfb $DISPLAY " | head -n 1)
    gtk=$(sh "$1/tools/bench-gtk.sh" "$x" 20)
    VELMORA_BENCH_SERVER_PID=$server VELMORA_BENCH_X_PID=$x \
        "$1/tests/support/wine-run.sh" "$ARCH" "$VELMORA_BUILD/bin/ticker_bench.exe" "$2" "$3"
    printf "\nthe GTK feed ticker alone on the same display, just before (per 20 ms step):\n%s\n" "$gtk"
    "$WINESERVER" -k
    timeout 60 "$WINESERVER" -w
' bench "$(dirname "$here")" "$frames" "$refreshes"
