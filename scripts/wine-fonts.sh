#!/usr/bin/env bash
# wine-fonts.sh PREFIX WINE
# Gives the prefix (WINEPREFIX, WINEARCH set by the caller) the fonts a person's Windows has for
# our dialogs. Wine's own fonts (Debian's fonts-wine: Marlett, which draws the caption buttons,
# MS Sans Serif, Tahoma, ...) go into the prefix's Fonts folder, since this Wine looks for fonts
# there and in fontconfig's folders only: without them the caption buttons read "0 1 r". And
# "MS Shell Dlg", the dialogs' font, stands for MS Sans Serif as on Windows (whose Microsoft Sans
# Serif has its metrics), not for Tahoma as Wine sets it: the templates' labels are measured for
# that font, and Tahoma's narrower dialog units cut them. Files already in the folder are kept.
set -euo pipefail
prefix=${1:?usage: wine-fonts.sh PREFIX WINE}
wine=${2:?usage: wine-fonts.sh PREFIX WINE}
own=/usr/share/wine/fonts
if ! [ -f "$own/marlett.ttf" ]; then
    echo "Wine's own fonts are missing (scripts/install-deps.sh installs fonts-wine)" >&2
    exit 0
fi
target="$prefix/drive_c/windows/Fonts"
mkdir -p "$target"
for font in "$own"/*; do
    [ -e "$target/$(basename "$font")" ] || cp "$font" "$target/"
done
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'MS Shell Dlg' /d 'MS Sans Serif' /f </dev/null >/dev/null 2>&1
