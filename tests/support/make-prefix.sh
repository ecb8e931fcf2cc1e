#!/bin/sh
# Prepares the test Wine prefix and the glibc locales Wine needs to pick a
# resource language. Usage: make-prefix.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
prefix="$build/wineprefix"
locales="$build/locale"

mkdir -p "$locales"
for l in de_DE en_US; do
    [ -d "$locales/$l.UTF-8" ] || localedef -i "$l" -f UTF-8 "$locales/$l.UTF-8"
done

[ -f "$prefix/.velmora-ready" ] && exit 0
rm -rf "$prefix"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout 300 wineboot -i
reg() { timeout 60 wine reg "$@" >/dev/null; }
# No window manager runs under Xvfb: unmanaged windows hide without a 2 s stall.
reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
# A crash must end the test, not wait in a dialog.
reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
reg add 'HKLM\Software\Microsoft\Internet Explorer\Toolbar' /f
timeout 60 wineserver -w
touch "$prefix/.velmora-ready"
