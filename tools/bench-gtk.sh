#!/bin/sh
# The GTK feed ticker of Debian's "tickr" package scrolling a feed like the
# benchmark's (100 items, a timer of 20 ms, 1 pixel a step, 1024 pixels
# wide) on the benchmark's display, measured alone just before it: its CPU
# and the X server's per 20 ms step, in the benchmark's columns. It keeps
# its settings in ~/.tickr; this run uses instance 99 there and removes it.
# Usage: bench-gtk.sh X_SERVER_PID SECONDS
set -eu
x=$1
seconds=$2
if ! command -v tickr >/dev/null; then
    echo "(the GTK ticker is not installed: apt-get install tickr adds its row)"
    exit 0
fi
# tickr takes its folder from the password entry, not from HOME.
dir=$(getent passwd "$(id -u)" | cut -d: -f6)/.tickr
if ls "$dir"/*99 >/dev/null 2>&1; then
    echo "(the GTK ticker's instance 99 is in use in $dir: no row for it)"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"; rm -f "$dir"/*99' EXIT
i=0
{
    printf '<?xml version="1.0"?><rss version="2.0"><channel><title>bench</title>'
    while [ $i -lt 100 ]; do
        printf '<item><title>Benchmark headline number %d</title><link>http://127.0.0.1/</link>' $i
        printf '<description>d</description></item>'
        i=$((i + 1))
    done
    printf '</channel></rss>\n'
} >"$work/feed.xml"
mkdir -p "$dir"
# With a settings file and a list of its own it opens no first-run dialogs.
printf -- '-delay=20\n-shiftsize=1\n-win_w=1024\n' >"$dir/tickr-conf99"
printf '*  0%s>bench\n' "$work/feed.xml" >"$dir/tickr-url-list99"
tickr -instance-id=99 -delay=20 -shiftsize=1 -win_w=1024 "$work/feed.xml" >"$work/tickr.log" 2>&1 &
ticker=$!

# Nanoseconds on the CPU, summed over a process's threads.
cpu() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { printf "%.0f", ns }'
}
sleep 3
a=$(cpu $ticker) ax=$(cpu "$x") start=$(date +%s%N)
sleep "$seconds"
b=$(cpu $ticker) bx=$(cpu "$x") end=$(date +%s%N)
kill $ticker
wait $ticker 2>/dev/null || true
awk -v a="$a" -v b="$b" -v ax="$ax" -v bx="$bx" -v wall="$((end - start))" 'BEGIN {
    steps = wall / 20e6
    program = (b - a) / 1e6 / steps
    xserver = (bx - ax) / 1e6 / steps
    printf "%-22s %7d %7s %8.3f %8s %10s %8.3f %8.3f %8.2f%%\n", "GTK ticker, 20 ms, 1 px",
        steps, "-", program, "-", "-", xserver, program + xserver, (b - a + bx - ax) * 100 / wall
}'
