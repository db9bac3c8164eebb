# Sourced: the Wine settings every run of ours uses. WINEPREFIX comes from the caller.
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
