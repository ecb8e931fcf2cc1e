# Sourced with ARCH (x86 or x64) and BUILD set: the Wine of that build, its
# prefix inside the build folder, and whether this host can run it.
# 64-bit Wine is started through its own loader and server: the wrappers in
# /usr/bin pick the 32-bit loader, which some hosts cannot execute.
export WINEPREFIX="$BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$ARCH" = x64 ]; then
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
    WINE=/usr/lib/wine/wine64
else
    export WINEARCH=win32 WINESERVER=/usr/lib/wine/wineserver64
    WINE=wine
fi

# Runs a 32-bit program: some x86-64 hosts run 64-bit user code only.
host_runs_32bit() {
    env -u WINEPREFIX -u WINEARCH -u WINELOADER /usr/lib/wine/wine --version >/dev/null 2>&1
}
