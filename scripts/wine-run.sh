#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix (QVK9_WINEPREFIX, else build/wine-test).
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${QVK9_WINEPREFIX:-$(realpath -m "$here/../build/wine-test")}
. "$here/wine-env.sh"
exec "$WINE" "$@"
