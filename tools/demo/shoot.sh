#!/bin/sh
# The demo's pictures, taken on its Xvfb display: a PNG of the browser
# window once the headlines scroll. Usage: shoot.sh OUT_FOLDER
set -u
out=$1
frame=1000x320+0+0      # the stand-in browser's window
sleep 6                 # the feeds load and the row starts to scroll
xwd -root -silent | convert xwd:- -crop $frame +repage "$out/velmora.png"
