#!/bin/sh
# Runs one Windows test program under the Wine of its build, in the build's
# prefix, with the resource language VELMORA_LANG (en or de). CMake's
# emulator: wine-run.sh x86|x64 PROGRAM [ARGS]
here=$(cd "$(dirname "$0")" && pwd)
: "${VELMORA_BUILD:?set VELMORA_BUILD to the build folder}"
ARCH=$1
BUILD=$VELMORA_BUILD
shift
. "$here/../../tools/wine-env.sh"
export LOCPATH="$VELMORA_BUILD/locale"
unset LC_ALL LC_MESSAGES
case "${VELMORA_LANG:-en}" in
    de) export LANG=de_DE.UTF-8 ;;
    *) export LANG=en_US.UTF-8 ;;
esac
exec timeout -k 5 "${VELMORA_TEST_TIMEOUT:-300}" "$WINE" "$@"
