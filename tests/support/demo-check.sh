#!/bin/sh
# Runs the demo without a display on one build and checks its pictures: the
# screenshot exists, the ticker row in it is not one flat colour, the row
# moves between the animation's first and tenth frames (a status text
# stands still), and the refresh the demo asks for arrives: the server
# answers a fetch of the changed feed with 200, and no frame after it shows
# the "loading" text.
# Usage: demo-check.sh BUILD_DIR x86|x64
set -u
here=$(cd "$(dirname "$0")" && pwd)
log="$1/demo-check.log"
out="$1/demo/out"
png="$out/velmora.png"
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

rm -f "$out"/row-*.png
convert "$out/velmora.gif" -coalesce -crop $row +repage "$out/row-%d.png" || exit 1
moved=$(compare -metric AE "$out/row-0.png" "$out/row-9.png" null: 2>&1)
echo "the ticker row changed in $moved pixels"
[ "${moved%%.*}" -gt 50 ] 2>/dev/null || exit 1

# shoot.sh wrote the server log's length when the feed gained its
# headline, and the first frame after "Refresh now".
read -r lines first <"$out/refresh.at" || { echo "the demo asked for no refresh"; exit 1; }
fetched=$(tail -n +$((lines + 1)) "$out/feeds.log" | grep -c '"GET /werkstatt.xml HTTP/1.1" 200')
echo "the changed feed was fetched $fetched times"
[ "$fetched" -ge 1 ] || { cat "$out/feeds.log"; exit 1; }
# The status text is centred with a wide margin; a scrolling row has no
# blank 30-pixel stretch at both of its ends at once.
frame=$((first - 1))
count=0
while [ -f "$out/row-$frame.png" ]; do
    ends=$(convert "$out/row-$frame.png" \( +clone -crop 30x14+0+1 +repage -format '%k ' -write info: +delete \) \
           -crop 30x14+350+1 +repage -format '%k' info:)
    if [ "$ends" = "1 1" ]; then
        echo "frame $frame after the refresh shows a status text"
        exit 1
    fi
    frame=$((frame + 1))
    count=$((count + 1))
done
rm -f "$out"/row-*.png
echo "$count frames after the refresh show the scrolling row"
[ "$count" -gt 20 ]
