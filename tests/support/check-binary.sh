#!/bin/sh
# Checks a built PE file without running it: its machine, that it imports
# only system DLLs, that it exports exactly the names listed in EXPORTS, and
# that its resources hold every menu, dialog and string block in German and
# English and the version block, and, as asked, an icon and the manifest for
# its own architecture. Usage: check-binary.sh x86|x64 FILE EXPORTS [icon] [manifest]
set -u
arch=$1
file=$2
expected=$3
shift 3
wants=" $* "
case $arch in
    x64) triple=x86_64-w64-mingw32 format=pei-x86-64 manifest='processorArchitecture="amd64"' ;;
    *) triple=i686-w64-mingw32 format=pei-i386 manifest='processorArchitecture="x86"' ;;
esac
objdump=$triple-objdump
fail() { echo "$(basename "$file"): $*"; status=1; }
status=0
[ -f "$file" ] || { echo "missing: $file"; exit 1; }
"$objdump" -f "$file" | grep -q "file format $format\$" || fail "is not $format"

allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|comctl32|comdlg32|shlwapi|shell32|ddraw|msvcrt|urlmon|version|wininet)\.dll$'
for dll in $("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed" || fail "imports a non-system DLL: $dll"
done

exports=$("$objdump" -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
want=$(grep -v '^#' "$expected" | sed '/^$/d' | sort)
[ "$exports" = "$want" ] || fail "exports differ; got: $(echo $exports); want: $(echo $want)"

# The resource tree as "type name language" lines, from objdump's listing,
# where the depth of an entry shows in its indentation.
resources=$("$objdump" -p "$file" | awk '
    /^The .rsrc Resource Directory section/ { on = 1; next }
    on && /Entry: ID:/ {
        match($0, /^[0-9a-f]+ +/); depth = RLENGTH
        id = $0; sub(/.*ID: 0x/, "", id); sub(/,.*/, "", id)
        if (depth <= 6) type = id; else if (depth <= 8) name = id; else print type, name, id
    }')
[ -n "$resources" ] || fail "has no resources"
for type in 000004 000005 000006; do
    for name in $(echo "$resources" | awk -v t=$type '$1 == t { print $2 }' | sort -u); do
        for lang in 000407 000409; do
            echo "$resources" | grep -q "^$type $name $lang\$" || fail "resource $type/$name lacks language $lang"
        done
    done
done
echo "$resources" | grep -q '^000006 ' || fail "has no string table"
echo "$resources" | grep -q '^000010 000001 ' || fail "has no version block"
case $wants in *" icon "*)
    echo "$resources" | grep -q '^00000e ' || fail "has no icon" ;;
esac
case $wants in *" manifest "*)
    echo "$resources" | grep -q '^000018 000002 ' || fail "has no manifest 2"
    "$triple-strings" -n 8 "$file" | grep -q "$manifest" || fail "manifest does not name $manifest" ;;
esac

[ $status = 0 ] && echo "$(basename "$file"): $format, system imports, exports, resources as expected"
exit $status
