#!/usr/bin/env bash
# wine-prefix.sh setup|cleanup PREFIX
# setup: a fresh 32-bit prefix with the null display driver and a persistent wineserver whose
# stdio is detached, so that readers of a Wine program's output (ctest) see it end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=$1
export WINEPREFIX=$(realpath -m "$2")
. "$here/wine-env.sh"
case "$action" in
setup)
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "" /f </dev/null >/dev/null 2>&1
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    ;;
cleanup)
    wineserver -k >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 setup|cleanup PREFIX" >&2
    exit 2
    ;;
esac
