#!/bin/sh
# Prepares a build's Wine prefix (win32 for x86, win64 for x64) and the
# glibc locales Wine needs to pick a resource language.
# Usage: make-prefix.sh BUILD_DIR x86|x64
set -eu
BUILD=$(cd "$1" && pwd)
ARCH=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tools/wine-env.sh"
locales="$BUILD/locale"

mkdir -p "$locales"
for l in de_DE en_US; do
    [ -d "$locales/$l.UTF-8" ] || localedef -i "$l" -f UTF-8 "$locales/$l.UTF-8"
done

# Wine draws caption buttons with Marlett, which Debian ships among Wine's
# data but Wine 8 does not find there: without it they read "0 1 r".
# A copy cut short (a full disk) is redone, and its failure ends the step.
install_marlett() {
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    font=/usr/share/wine/fonts/marlett.ttf
    [ -d "$fonts" ] || return 0
    cmp -s "$font" "$fonts/marlett.ttf" || cp "$font" "$fonts/"
}
if [ -f "$WINEPREFIX/.velmora-ready-2" ]; then
    install_marlett
    exit
fi
log="$BUILD/prefix.log"
started=$(date +%s)
# A prefix that wineboot finished is kept; only the settings below are redone.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    rm -rf "$WINEPREFIX"
    if ! timeout 600 "$WINE" wineboot -i >"$log" 2>&1; then
        echo "wineboot failed for the $ARCH prefix; its output:" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
fi
reg() { timeout 120 "$WINE" reg "$@" >>"$log" 2>&1; }
# No window manager runs under Xvfb: unmanaged windows hide without a 2 s stall.
reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
# A crash must end the test, not wait in a dialog.
reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
# Wine's DirectDraw sets up OpenGL for every object it makes, and that GLX
# work on a rendering thread can deadlock Xlib against a window being shown
# on another. The ticker uses DirectDraw only to wait for the vertical
# blank, which the GDI renderer answers too.
reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d gdi /f
reg add 'HKLM\Software\Microsoft\Internet Explorer\Toolbar' /f
# The faces a Windows user has for the ticker's default font: without them
# the row falls back to a proportional face and the hover to a serif one.
reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /d 'Liberation Mono' /f
reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Arial' /d 'Liberation Sans' /f
reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' /d 'Liberation Serif' /f
install_marlett
timeout 60 "$WINESERVER" -w
touch "$WINEPREFIX/.velmora-ready-2"
echo "made the $ARCH Wine prefix in $(( $(date +%s) - started )) s"
