#!/bin/sh
# Runs one Windows test program under Wine in the build's prefix, with the
# resource language VELMORA_LANG (en or de). Used as CMake's emulator.
here=$(cd "$(dirname "$0")" && pwd)
: "${VELMORA_BUILD:?set VELMORA_BUILD to the build folder}"
export WINEPREFIX="$VELMORA_BUILD/wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH="$VELMORA_BUILD/locale"
unset LC_ALL LC_MESSAGES
case "${VELMORA_LANG:-en}" in
    de) export LANG=de_DE.UTF-8 ;;
    *) export LANG=en_US.UTF-8 ;;
esac
exec timeout -k 5 "${VELMORA_TEST_TIMEOUT:-300}" wine "$@"
