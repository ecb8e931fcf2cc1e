#!/bin/sh
# make demo: picks the build this host can run, builds the DLL and the
# stand-in browser, and runs the demo (tools/demo/run.sh).
# Usage: demo.sh BUILD_ROOT [live]   (live: the built-in default feed list)
set -u
root=$1
here=$(cd "$(dirname "$0")" && pwd)
ARCH=x86 BUILD=. . "$here/wine-env.sh"
if host_runs_32bit; then
    arch=x86
    echo "This host runs 32-bit code: the demo uses the shipped 32-bit build."
else
    arch=x64
    echo "This host runs only 64-bit code: the demo uses the 64-bit build."
fi
sh "$here/build.sh" "$root" $arch velmora standin_browser || exit 1
exec sh "$here/demo/run.sh" "$root/$arch" $arch "${2:-}"
