#!/bin/sh
# Checks a built PE file without running it: its machine, that it imports
# only system DLLs and nothing newer than Windows XP offers, that it exports
# exactly the names listed in EXPORTS, and that its resources hold every
# menu, dialog and string block in German and English and the version block,
# and, as asked, an icon, the manifest for its own architecture (a DLL's,
# resource 2) and a program's manifest (resource 1) for its architecture that
# asks for administrator rights.
# Usage: check-binary.sh x86|x64 FILE EXPORTS [icon] [manifest] [elevated]
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

allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|comctl32|comdlg32|shlwapi|shell32|ddraw|msvcrt|urlmon|version|wininet|oleacc)\.dll$'
for dll in $("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed" || fail "imports a non-system DLL: $dll"
done

# Calls that Windows XP, the declared minimum of both builds, lacks: the
# newer ones this code could plausibly reach for, matched by name against
# every import. Not exhaustive; it catches the usual slips.
newer='GetThreadId|GetProcessIdOfThread|GetTickCount64|QueryFullProcessImageName[AW]|CancelIoEx'
newer="$newer|(Initialize|Acquire|Release)SRWLock[A-Za-z]*|[A-Za-z]*ConditionVariable[A-Za-z]*|InitOnce[A-Za-z]+"
newer="$newer|Fls(Alloc|Free|GetValue|SetValue)|Create(Event|Mutex|Semaphore)Ex[AW]|[A-Za-z]+LocaleName[A-Za-z]*"
newer="$newer|Reg(DeleteTree|GetValue|SetKeyValue|DeleteKeyEx|CopyTree)[AW]|ChangeWindowMessageFilter(Ex)?"
newer="$newer|SetProcessDPIAware|SHGetKnownFolderPath|TaskDialog(Indirect)?|[a-z_]+_s"
imports=$("$objdump" -p "$file" | sed -n '/^The Import Tables/,/^The Export Tables/p' |
          sed -n 's/^\s*[0-9a-f]\+\s\+[0-9]\+\s\+\([A-Za-z_][A-Za-z0-9_]*\)$/\1/p')
[ -n "$imports" ] || fail "lists no imported names"
late=$(echo "$imports" | grep -xE "$newer" | sort -u)
[ -z "$late" ] || fail "imports what Windows XP lacks: $(echo $late)"

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
case $wants in *" elevated "*)
    echo "$resources" | grep -q '^000018 000001 ' || fail "has no program manifest 1"
    "$triple-strings" -n 8 "$file" | grep -q "$manifest" || fail "manifest does not name $manifest"
    "$triple-strings" -n 8 "$file" | grep -q 'level="requireAdministrator"' ||
        fail "manifest does not ask for administrator rights" ;;
esac

[ $status = 0 ] && echo "$(basename "$file"): $format, system imports, exports, resources as expected"
exit $status
