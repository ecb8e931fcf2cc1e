#!/bin/sh
# Checks a built PE file: it imports only system DLLs and exports exactly
# the names listed in the given file. Usage: check-binary.sh FILE EXPORTS
set -u
file=$1
expected=$2
objdump=i686-w64-mingw32-objdump
allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|comctl32|comdlg32|shlwapi|shell32|ddraw|msvcrt|urlmon|version)\.dll$'
status=0
for dll in $($objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
        echo "imports a non-system DLL: $dll"
        status=1
    fi
done
exports=$($objdump -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
want=$(grep -v '^#' "$expected" | sed '/^$/d' | sort)
if [ "$exports" != "$want" ]; then
    echo "exports differ; got:"; echo "$exports"; echo "want:"; echo "$want"
    status=1
fi
[ $status = 0 ] && echo "imports and exports as expected"
exit $status
