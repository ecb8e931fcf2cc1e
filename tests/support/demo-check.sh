#!/bin/sh
# Runs the demo without a display on one build and checks its screenshot:
# it exists, the ticker row in it is not one flat colour, and the row moves
# between the animation's first and tenth frames (a status text stands still).
# Usage: demo-check.sh BUILD_DIR x86|x64
set -u
here=$(cd "$(dirname "$0")" && pwd)
log="$1/demo-check.log"
png="$1/demo/out/velmora.png"
row=380x16+325+63       # inside the ticker, in the browser window's picture
if ! env -u DISPLAY sh "$here/../../tools/demo/run.sh" "$1" "$2" >"$log" 2>&1; then
    cat "$log"
    echo "the demo failed"
    exit 1
fi
[ -f "$png" ] || { cat "$log"; echo "no screenshot at $png"; exit 1; }
colours=$(convert "$png" -crop $row +repage -format %k info:)
echo "the ticker row has $colours colours"
[ "$colours" -gt 1 ] || exit 1
gif="$1/demo/out/velmora.gif"
frames="$1/demo/out/row-%d.png"
convert "$gif" -coalesce -crop $row +repage "$frames" || exit 1
moved=$(compare -metric AE "$1/demo/out/row-0.png" "$1/demo/out/row-9.png" null: 2>&1)
rm -f "$1"/demo/out/row-*.png
echo "the ticker row changed in $moved pixels"
[ "${moved%%.*}" -gt 50 ] 2>/dev/null
