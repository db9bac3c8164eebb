#!/usr/bin/env bash
# Installs what the build and the Wine test runs need, only when something is missing.
# The shipped programs use the win32-threads cross compilers (their runtimes import only what
# Windows 2000, and for 64 bits XP x64, export); the 64-bit test builds use the posix-threads one
# (GoogleTest's threads).
# python3 makes the control panel's artwork; Xvfb gives the panel's pictures a screen, and
# xwd (x11-apps) pictures its notification menu from it; fonts-wine holds Wine's own fonts,
# Marlett among them, which draws the caption buttons (without it they read "0 1 r").
set -euo pipefail
have_tools() {
    command -v i686-w64-mingw32-g++-win32 >/dev/null &&
        command -v x86_64-w64-mingw32-g++-win32 >/dev/null &&
        command -v x86_64-w64-mingw32-g++-posix >/dev/null &&
        command -v wine >/dev/null && command -v wineserver >/dev/null &&
        [ -x /usr/lib/wine/wine64 ] &&
        command -v cmake >/dev/null && command -v ninja >/dev/null &&
        command -v openssl >/dev/null &&
        command -v python3 >/dev/null && command -v Xvfb >/dev/null && command -v xwd >/dev/null &&
        [ -f /usr/src/googletest/CMakeLists.txt ] && dpkg -s fonts-wine >/dev/null 2>&1
}
# 32-bit Wine runs the 32-bit programs of a 64-bit prefix where the machine can execute them; the
# tests find out whether it can. Where the mirror's 32-bit index cannot be had, the run goes on
# without it, and this file says so, so that later runs do not ask again.
no_wine32_stamp=${TMPDIR:-/tmp}/qvk9-install-deps-without-wine32
have_all() {
    have_tools && { dpkg -s wine32:i386 >/dev/null 2>&1 || [ -f "$no_wine32_stamp" ]; }
}
have_all && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO dpkg --add-architecture i386
# A mirror in the middle of a sync fails one index now and then: try again, and in the end go on
# with what was fetched (the install below says whether it was enough).
apt_get() { $SUDO apt-get -o DPkg::Lock::Timeout=900 "$@"; }
for attempt in 1 2 3; do
    apt_get update -q && break
    echo "install-deps: the package index update failed (attempt $attempt)" >&2
    sleep $((attempt * 10))
done
packages=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix wine wine64
    fonts-wine googletest cmake ninja-build openssl python3 xvfb x11-apps)
apt_install() { apt_get install -y -q --no-install-recommends "$@"; }
if ! apt_install "${packages[@]}" wine32:i386; then
    echo "install-deps: 32-bit Wine cannot be installed now; going on with 64-bit Wine alone" >&2
    apt_install "${packages[@]}" && touch "$no_wine32_stamp"
fi
have_all
