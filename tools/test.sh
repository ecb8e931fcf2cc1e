#!/bin/sh
# make test: builds the shipped 32-bit and the 64-bit build, runs every
# suite under the Wine of each build this host can run, and checks the
# binaries of a build it cannot run without running them.
# Usage: test.sh BUILD_ROOT [ctest regex]
set -u
root=$1
filter=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
ARCH=x86 BUILD=. . "$here/wine-env.sh"
if host_runs_32bit; then
    echo "This host runs 32-bit and 64-bit code: both builds are tested under Wine."
    run_x86=yes
else
    echo "This host runs only 64-bit code: the 64-bit build is tested under Wine, the 32-bit build is checked without running it."
    run_x86=no
fi
# Two builds with their Wine prefixes take about 3 GB; say so before a full
# disk shows up as some later step's write error.
mkdir -p "$root"
free_mb=$(df -Pk "$root" | awk 'NR == 2 { print int($4 / 1024) }')
[ "${free_mb:-0}" -ge 3072 ] ||
    echo "warning: only ${free_mb:-?} MB free under $root; the builds and their Wine prefixes need about 3 GB" >&2
sh "$here/build.sh" "$root" x64 || exit 1
sh "$here/build.sh" "$root" x86 || exit 1
sh tests/support/make-prefix.sh "$root/x64" x64 || exit 1
[ $run_x86 = no ] || sh tests/support/make-prefix.sh "$root/x86" x86 || exit 1

set -- ${filter:+-R "$filter"}
# The two builds have their own prefixes, wineservers and X displays, so
# their suites run side by side; each one's report is shown whole after.
log64="$root/x64/tests.log"
log86="$root/x86/tests.log"
started=$(date +%s)
( sh tests/support/run-tests.sh "$root/x64" x64 "$@" >"$log64" 2>&1; echo $? >"$log64.rc" ) &
if [ $run_x86 = yes ]; then
    echo "running the x64 and x86 suites side by side"
    sh tests/support/run-tests.sh "$root/x86" x86 "$@" >"$log86" 2>&1
else
    echo "running the x64 suite; checking the x86 binaries"
    ctest --test-dir "$root/x86" --output-on-failure -L static "$@" >"$log86" 2>&1
fi
x86=$?
x86_time=$(( $(date +%s) - started ))
wait
x64=$(cat "$log64.rc")
x64_time=$(( $(date +%s) - started ))
cat "$log64" "$log86"

verdict() { [ "$1" = 0 ] && echo passed || echo FAILED; }
echo
echo "x64 build: every suite run under 64-bit Wine in ${x64_time} s: $(verdict $x64)"
if [ $run_x86 = yes ]; then
    echo "x86 build: every suite run under 32-bit Wine in ${x86_time} s: $(verdict $x86)"
else
    echo "x86 build: checked only (machine, imports, exports, resources); this host cannot run 32-bit code: $(verdict $x86)"
fi
[ $x64 = 0 ] && [ $x86 = 0 ]
