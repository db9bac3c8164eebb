#!/usr/bin/env bash
# wine-prefix.sh setup|cleanup PREFIX [WINDOWS_VERSION]
# setup: a fresh prefix (QVK9_WINEARCH: win32 or win64) with Wine's own fonts, the null display
# driver, crashes that end the crashing process at once instead of waiting on an invisible
# dialog, the Windows version asked for (winecfg's names: winxp64, win7, win10, ...) and a
# persistent wineserver whose stdio is detached, so that readers of a Wine program's output
# (ctest) see it end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=$1
export WINEPREFIX=$(realpath -m "$2")
version=${3:-}
. "$here/wine-env.sh"
reg() { "$WINE" reg add "$@" /f </dev/null >/dev/null 2>&1; }
case "$action" in
setup)
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    "$here/wine-fonts.sh" "$WINEPREFIX" "$WINE"
    reg 'HKCU\Software\Wine\Drivers' /v Graphics /d null
    reg 'HKCU\Software\Wine\Drivers' /v Audio /d ""
    reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
    if [ -n "$version" ]; then
        "$WINE" winecfg -v "$version" </dev/null >/dev/null 2>&1
    fi
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1
    "$WINE" wineboot </dev/null >/dev/null 2>&1
    ;;
cleanup)
    wineserver -k >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 setup|cleanup PREFIX [WINDOWS_VERSION]" >&2
    exit 2
    ;;
esac
