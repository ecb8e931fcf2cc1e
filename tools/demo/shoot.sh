#!/bin/sh
# The demo's pictures, taken on its Xvfb display once the headlines scroll:
# a PNG of the browser window, and a GIF: scrolling, a switch to the second
# tab, a hover with its tooltip, a keyboard step through the headlines, and
# a refresh that brings a new headline in at the right edge. Writes
# OUT/refresh.at for the demo's check: the server log's line count when
# the feed gained the headline, and the first frame after the refresh.
# Usage: shoot.sh OUT
set -u
out=$1
frame=1000x320+0+0      # the stand-in browser's window
tab2="250 104"          # the second tab, on the screen
row="520 70"            # a place in the ticker row
address="300 38"        # the address bar
page="500 250"          # the page, away from the band
menu="45 70"            # the band's menu button, its first control
frames="$out/frames"
mkdir -p "$frames"

# Without a window manager, Wine's X windows are not stacked as its own
# z-order says: a pop-up over the frame shows black in a capture of the
# root. Each visible pop-up's own X window has its pixels; they are laid
# over the capture where they stand.
shot() {
    n=$(printf '%02d' "$1")
    xwd -root -silent >"$frames/$n.xwd"
    k=0
    for id in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*standin_browser.*/\1/p'); do
        info=$(xwininfo -id "$id")
        echo "$info" | grep -q 'IsViewable' || continue
        x=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
        y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
        [ "$x" = 0 ] && [ "$y" = 0 ] && continue    # the frame itself
        k=$((k + 1))
        xwd -id "$id" -silent >"$frames/$n-pop$k.xwd" &&
            echo "$x $y" >"$frames/$n-pop$k.at"
    done
}

compose() {
    for f in "$frames"/[0-9][0-9].xwd; do
        n=${f%.xwd}
        convert "xwd:$f" "$n.png"
        for at in "$n"-pop*.at; do
            [ -f "$at" ] || continue
            read -r x y <"$at"
            convert "$n.png" "xwd:${at%.at}.xwd" -geometry "+$x+$y" -composite "$n.png"
        done
        convert "$n.png" -crop $frame +repage "$n.png"
    done
}

# The headline the keys chose is underlined in the link colour from the
# row's left edge; only "Open workshop", the shortest, ends before x 610.
open_workshop_chosen() {
    colour=$(xwd -root -silent | convert xwd:- -format '%[pixel:p{610,77}]' info:)
    [ "$colour" != "srgb(0,0,255)" ]
}

sleep 6
i=0
for step in 1 2 3 4 5 6 7 8 9 10; do i=$((i + 1)); shot $i; sleep 0.1; done
xdotool mousemove $tab2 click 1
for step in 1 2 3 4 5 6; do i=$((i + 1)); shot $i; sleep 0.1; done
xdotool mousemove $row
sleep 1.5               # the row stops and the tip opens
for step in 1 2 3 4 5 6; do i=$((i + 1)); shot $i; sleep 0.1; done
# From the address bar Tab goes to the menu button, Tab again to the
# ticker; Right chooses the first headline, then the next.
xdotool mousemove $page
xdotool mousemove $address click 1
xdotool key Tab key Tab key Right
sleep 0.8
for step in 1 2 3; do i=$((i + 1)); shot $i; sleep 0.1; done
xdotool key Right
sleep 0.8
for step in 1 2 3; do i=$((i + 1)); shot $i; sleep 0.1; done
# Steps on to "Open workshop", so that the row is known: the timber fair
# follows it, and the new headline, last in the feed, follows that.
for step in 1 2 3 4; do
    open_workshop_chosen && break
    xdotool key Right
    sleep 0.8
    i=$((i + 1)); shot $i
done
# The address bar takes the focus: the row scrolls on from the headline.
xdotool mousemove $address click 1
# The refresh is asked for through the band's own menu rather than
# awaited: the settings give a one-minute interval, which would make the
# run a minute longer.
lines=$(wc -l <"$out/feeds.log")
sh "$(dirname "$0")/add-headline.sh" "$out/feeds"
xdotool mousemove $menu click 1
sleep 0.5
i=$((i + 1)); shot $i
# "Refresh now" is the eighth item; the keys skip the separators.
xdotool key --delay 50 Down Down Down Down Down Down Down Down
sleep 0.3
i=$((i + 1)); shot $i
xdotool key Return
xdotool mousemove $page
echo "$lines $((i + 1))" >"$out/refresh.at"
# The timber fair enters whole, then the new headline after it.
for step in $(seq 36); do i=$((i + 1)); shot $i; sleep 0.1; done
compose
cp "$frames/01.png" "$out/velmora.png"
convert -delay 20 -loop 0 "$frames"/[0-9][0-9].png -layers Optimize "$out/velmora.gif"
rm -rf "$frames"
