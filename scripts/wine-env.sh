# Sourced: the Wine settings every run of ours uses. WINEPREFIX comes from the caller, and
# QVK9_WINEARCH (win32 or win64) says which programs the prefix runs: 64-bit Wine serves
# machines that cannot execute 32-bit code at all.
export WINEARCH=${QVK9_WINEARCH:-win32}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ "$WINEARCH" = win64 ]; then
    export WINELOADER=/usr/lib/wine/wine64
    WINE=/usr/lib/wine/wine64
else
    WINE=wine
fi
