#!/bin/sh
# Configures and builds one architecture quietly; prints one line, or the
# compiler's complaints. Usage: build.sh BUILD_ROOT x86|x64 [TARGET ...]
# (every target when none is named)
set -u
root=$1
arch=$2
shift 2
targets=${1:+--target $*}
dir="$root/$arch"
log="$dir/build.log"
mkdir -p "$dir"
started=$(date +%s)
if ! { cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
          -DVELMORA_ARCH="$arch" -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$dir" -j "${JOBS:-2}" $targets -- --no-print-directory; } >"$log" 2>&1; then
    grep -E 'error|Error' "$log" | head -n 40
    echo "the $arch build failed; the whole output is in $log"
    exit 1
fi
if grep -q 'warning:' "$log"; then
    grep 'warning:' "$log" | sort -u
fi
echo "built $arch in $(( $(date +%s) - started )) s ($dir)"
