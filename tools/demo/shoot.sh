#!/bin/sh
# The demo's pictures, taken on its Xvfb display once the headlines scroll:
# a PNG of the browser window, and a GIF of about four seconds: scrolling,
# a switch to the second tab, a hover with its tooltip, and a keyboard step
# through the headlines. Usage: shoot.sh OUT
set -u
out=$1
frame=1000x320+0+0      # the stand-in browser's window
tab2="250 104"          # the second tab, on the screen
row="520 70"            # a place in the ticker row
address="300 38"        # the address bar
page="500 250"          # the page, away from the band
frames="$out/frames"
mkdir -p "$frames"

# Without a window manager, Wine's X windows are not stacked as its own
# z-order says: a pop-up over the frame shows black in a capture of the
# root. Each visible pop-up's own X window has its pixels; they are laid
# over the capture where they stand.
shot() {
    n=$(printf '%02d' "$1")
    xwd -root -silent >"$frames/$n.xwd"
    for id in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*standin_browser.*/\1/p'); do
        info=$(xwininfo -id "$id")
        echo "$info" | grep -q 'IsViewable' || continue
        x=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
        y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
        [ "$x" = 0 ] && [ "$y" = 0 ] && continue    # the frame itself
        xwd -id "$id" -silent >"$frames/$n-pop.xwd" &&
            echo "$x $y" >"$frames/$n-pop.at"
    done
}

compose() {
    for f in "$frames"/[0-9][0-9].xwd; do
        n=${f%.xwd}
        if [ -f "$n-pop.at" ]; then
            read -r x y <"$n-pop.at"
            convert "xwd:$f" "xwd:$n-pop.xwd" -geometry "+$x+$y" -composite "$n.png"
        else
            convert "xwd:$f" "$n.png"
        fi
        convert "$n.png" -crop $frame +repage "$n.png"
    done
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
compose
cp "$frames/01.png" "$out/velmora.png"
convert -delay 20 -loop 0 "$frames"/[0-9][0-9].png -layers Optimize "$out/velmora.gif"
rm -rf "$frames"
