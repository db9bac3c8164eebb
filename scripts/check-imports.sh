#!/usr/bin/env bash
# check-imports.sh BIN_DIR
# Fails when a shipped binary in BIN_DIR imports a function that its oldest target system does
# not export: Windows 2000 for the 32-bit programs, the first 64-bit Windows (XP x64 / Server 2003
# x64, NT 5.2) for the 64-bit ones. The loader there refuses such a binary, and Wine cannot show
# it (its system DLLs export everything in every version mode).
# - Windows API functions: each imported name is compiled as a reference against the mingw-w64
#   headers set to that system (_WIN32_WINNT 0x0500 or 0x0502); the headers declare a later
#   system's functions only for that system, so such a reference does not compile. Later
#   functions the headers declare anyway are listed in scripts/<system>/newer-functions.txt.
# - C runtime functions (msvcrt.dll): checked against scripts/<system>/msvcrt-functions.txt.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:?usage: check-imports.sh BIN_DIR}
shipped="QvK9ASIO.dll QvK9CPL.exe QvK9InstAsst.exe CertMgr.exe QvK9ASIO64.dll QvK9InstAsst64.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
checked=0

for name in $shipped; do
    file="$bin/$name"
    [ -f "$file" ] || continue
    checked=$((checked + 1))
    # The oldest system, its lists, the compiler whose headers describe it, and its versions.
    if x86_64-w64-mingw32-objdump -f "$file" | grep -q 'file format pei-x86-64'; then
        set -- "XP x64 / Server 2003 x64" winxp64 x86_64-w64-mingw32-gcc-win32 0x0502 0x0600 0x05020000
    else
        set -- "Windows 2000" win2000 i686-w64-mingw32-gcc-win32 0x0500 0x0500 0x05000000
    fi
    system=$1 lists="$here/$2" cc=$3 winnt=$4 ie=$5 ntddi=$6
    allowed="$lists/msvcrt-functions.txt"
    newer="$lists/newer-functions.txt"
    x86_64-w64-mingw32-objdump -p "$file" |
        awk '/DLL Name:/ { dll = toupper($3); next }
             /^\t[0-9a-f]+\t/ { if (dll != "" && NF >= 3) print dll, $3 }' | sort -u >"$work/imports"

    # The C runtime against its list.
    while read -r dll fn; do
        if ! grep -qx -- "$fn" "$allowed"; then
            echo "$name: $dll!$fn is not known to exist in $system's msvcrt.dll"
            status=1
        fi
    done < <(grep '^MSVCRT.DLL ' "$work/imports")

    # Later functions the headers do not hold back.
    while read -r dll fn; do
        if since=$(awk -v f="$fn" '$1 == f { print $2 }' "$newer") && [ -n "$since" ]; then
            echo "$name: $dll!$fn is newer than $system (first in Windows $since)"
            status=1
        fi
    done <"$work/imports"

    # Everything else against the headers of that system.
    {
        echo '#define WIN32_LEAN_AND_MEAN'
        echo "#define _WIN32_WINNT $winnt"
        echo "#define WINVER $winnt"
        echo "#define _WIN32_IE $ie"
        echo "#define NTDDI_VERSION $ntddi"
        for h in windows.h winsvc.h mmsystem.h commctrl.h shellapi.h shlobj.h objbase.h \
            oleauto.h setupapi.h cfgmgr32.h dbt.h wincrypt.h winioctl.h; do
            echo "#include <$h>"
        done
        echo 'void qvk9_imports(void) {'
        grep -v '^MSVCRT.DLL ' "$work/imports" | awk '{ print "    (void)&" $2 ";" }'
        echo '}'
    } >"$work/refs.c"
    if ! LC_ALL=C "$cc" -fsyntax-only -w "$work/refs.c" 2>"$work/errors"; then
        missing=$(grep -o "'[A-Za-z0-9_]*' undeclared" "$work/errors" | tr -d "'" |
            awk '{ print $1 }' | sort -u)
        if [ -z "$missing" ]; then
            cat "$work/errors"
            echo "$name: the import check could not compile its references"
        fi
        for fn in $missing; do
            echo "$name: $(grep " $fn\$" "$work/imports" | awk '{ print $1 }')!$fn is newer than $system"
        done
        status=1
    fi
done

if [ "$checked" -eq 0 ]; then
    echo "check-imports: no shipped binary found in $bin"
    exit 1
fi
[ "$status" -eq 0 ] &&
    echo "check-imports: $checked shipped binaries in $bin import only what their oldest system exports"
exit "$status"
