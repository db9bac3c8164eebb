#!/usr/bin/env bash
# panel-screenshots.sh PANEL_EXE SHOTS_EXE OUTDIR [DRIVER_DLL HOST_EXE]
# Runs the simulated-device panel on a Wine virtual desktop under Xvfb (so that the notification
# area exists) in a prefix of its own, takes the pictures with QvK9PanelShots.exe and saves them
# as PNG files in OUTDIR. With a driver and our ASIO host, the driver is registered there and the
# host streams through it while the pictures are taken. The programs are 64-bit builds: this
# machine runs 64-bit Wine only.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
panel=$(realpath "$1")
shots=$(realpath "$2")
out=$(realpath -m "$3")
driver=${4:+$(realpath "$4")}
host=${5:+$(realpath "$5")}
command -v Xvfb >/dev/null || { echo "Xvfb is missing (apt-get install xvfb)" >&2; exit 2; }
mkdir -p "$out"
rm -f "$out"/*.bmp "$out"/*.png

export WINEPREFIX="$out/prefix"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
sleep 1

if [ ! -d "$WINEPREFIX" ]; then
    "$wine64" wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
fi
"$here/wine-fonts.sh" "$WINEPREFIX" "$wine64"
"$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
"$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "" /f </dev/null >/dev/null 2>&1
"$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1
wineserver -w

winout=$("$wine64" winepath -w "$out" 2>/dev/null | tr -d '\r')
if [ -n "$driver" ] && [ -n "$host" ]; then
    "$wine64" regsvr32 /s "$driver" </dev/null >/dev/null 2>&1
    # On the panel's desktop, or the driver's commands cannot find the panel's window.
    winhost=$("$wine64" winepath -w "$host" 2>/dev/null | tr -d '\r')
    "$wine64" explorer /desktop=shell,1024x768 "$winhost" probe --seconds 60 --frames 256 \
        --rate 48000 </dev/null >/dev/null 2>&1 &
    sleep 2
fi
winpanel=$("$wine64" winepath -w "$panel" 2>/dev/null | tr -d '\r')
"$wine64" explorer /desktop=shell,1024x768 "$winpanel" </dev/null >/dev/null 2>&1 &
winshots=$("$wine64" winepath -w "$shots" 2>/dev/null | tr -d '\r')
# The tool runs on the same desktop as the panel, or it cannot find its window.
"$wine64" explorer /desktop=shell,1024x768 "$winshots" "$winout" </dev/null >/dev/null 2>&1 &
# The icon's menu is pictured from the X server (a copy of the screen inside Wine shows it black);
# the file menu-pictured tells the tool it may close the menu.
report() { [ -f "$out/shots.txt" ] && tr -d '\r' <"$out/shots.txt"; }
menu_pictured=0
for _ in $(seq 1 240); do
    if [ "$menu_pictured" -eq 0 ] && report | grep -q '^tray menu open'; then
        if command -v xwd >/dev/null; then
            sleep 0.5
            xwd -root -silent -display "$display" -out "$out/screen.xwd" &&
                python3 "$here/bmp-to-png.py" --xwd "$out/screen.xwd" 704 648 320 120 \
                    "$out/tray-menu.png" >/dev/null
            rm -f "$out/screen.xwd"
        fi
        touch "$out/menu-pictured"
        menu_pictured=1
    fi
    report | grep -qx done && break
    sleep 0.5
done
{ [ -f "$out/shots.txt" ] && tr -d '\r' <"$out/shots.txt" | grep -vx done; } || echo "no report from the pictures tool"
rm -f "$out/shots.txt" "$out/menu-pictured"
# The panel and the desktop end with the prefix's wineserver (cleanup).
python3 "$here/bmp-to-png.py" "$out"/*.bmp
rm -f "$out"/*.bmp
[ -f "$out/tray-menu.png" ] && echo "$out/tray-menu.png"
true
