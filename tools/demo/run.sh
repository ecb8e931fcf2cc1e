#!/bin/sh
# The demo on one build: serves a copy of the bundled sample feeds on
# 127.0.0.1, installs the DLL with a settings file that points at them into
# the demo prefix, registers it with regsvr32 and lets the toolbar scroll in
# the stand-in browser. The shown feed gains a headline during the run. With
# DISPLAY set the window stays until it is closed; without, it runs under
# Xvfb, writes a PNG and an animated GIF of the window and stops everything
# it started.
# Usage: run.sh BUILD_DIR x86|x64 [live]   (live: the built-in feed list)
set -u
bin=$(cd "$1" && pwd)
ARCH=$2
feeds=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$bin/demo"
mkdir -p "$BUILD"
sh "$here/../tests/support/make-prefix.sh" "$BUILD" $ARCH || exit 1
. "$here/wine-env.sh"
export ARCH WINE
out="$BUILD/out"
rm -rf "$out"
mkdir -p "$out"

# The feeds: a Python web server on the loopback interface, any free port.
server=""
news=""
stop_server() {
    [ -n "$news" ] && kill "$news" 2>/dev/null
    [ -n "$server" ] && kill "$server" 2>/dev/null
}
trap stop_server EXIT
folder="$WINEPREFIX/drive_c/Program Files/Velmora"
mkdir -p "$folder"
cp "$bin/bin/velmora.dll" "$folder/"
rm -f "$folder/serverlist"
if [ "$feeds" != live ]; then
    # A copy, so that the run can change what it serves.
    cp -r "$here/demo/feeds" "$out/feeds"
    python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$out/feeds" >"$out/feeds.log" 2>&1 &
    server=$!
    port=""
    for i in $(seq 50); do
        port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$out/feeds.log" | head -n 1)
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { echo "the feed server did not start:" >&2; cat "$out/feeds.log" >&2; exit 1; }
    base="http://127.0.0.1:$port"
    # "Config"/"Refresh" is a 4-byte struct: 1 minute, then its checksum.
    printf '[Servers]\r\nServers=%s;%s;%s;%s;\r\nshow=%s\r\n[Config]\r\nRefresh=0100000001\r\n' \
        "$base/werkstatt.xml" "$base/nachrichten.xml" "$base/world.rdf" "$base/wirtschaft.rdf" \
        "$base/werkstatt.xml" >"$folder/serverlist"
    echo "serving the sample feeds on $base"
else
    echo "using the built-in default feed list"
fi

# The stand-in browser answers for the browser's application class here.
browser="Z:$(echo "$bin/tools/standin_browser.exe" | tr / '\\')"
"$WINE" reg add 'HKCR\CLSID\{0002DF01-0000-0000-C000-000000000046}\LocalServer32' /ve /d "$browser" /f \
    >/dev/null 2>&1
# Its server and services must not outlive it: started without the display,
# they would hold the session's windows.
timeout 60 "$WINESERVER" -w
export OUT="$out" HERE="$here"
session='
    "$WINE" regsvr32 "C:\\Program Files\\Velmora\\velmora.dll"
    if [ -n "${SHOOT:-}" ]; then
        sh "$HERE/demo/shoot.sh" "$OUT"
        "$WINESERVER" -k
        timeout 60 "$WINESERVER" -w
    else
        "$WINESERVER" -w
    fi
'
if [ -n "${DISPLAY:-}" ]; then
    echo "the browser window stays until you close it"
    # Someone watching sees the news arrive by itself, with the next
    # refresh a minute after the feed was first fetched.
    if [ -n "$server" ]; then
        (
            trap 'kill $wait 2>/dev/null; exit 0' TERM
            sleep 30 & wait=$!
            wait $wait && sh "$here/demo/add-headline.sh" "$out/feeds"
        ) &
        news=$!
    fi
    sh -c "$session"
else
    SHOOT=1 xvfb-run -a -s "-screen 0 1280x1024x24" sh -c "$session"
    [ -f "$out/velmora.png" ] || { echo "no screenshot was taken" >&2; exit 1; }
    echo "screenshot: $out/velmora.png"
    if [ -f "$out/velmora.gif" ]; then echo "animation: $out/velmora.gif"; fi
fi
