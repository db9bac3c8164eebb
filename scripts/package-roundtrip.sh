#!/usr/bin/env bash
# package-roundtrip.sh BUILD_DIR [PACKAGE_DIR]   (QVK9_WINEARCH=win64 for a 64-bit build dir)
# Installs the package (default: BUILD_DIR/package-sim) into a fresh Wine prefix with its setup
# program, shows what the install left, uninstalls, and prints the difference of the registry
# before the install and after the uninstall.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
package=$(realpath "${2:-$build/package-sim}")
prefix=$build/wine-roundtrip
out=$build/roundtrip
mkdir -p "$out"
"$here/wine-prefix.sh" setup "$prefix"
export WINEPREFIX=$prefix
. "$here/wine-env.sh"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

w() { "$WINE" "$@" </dev/null 2>/dev/null; }
q() { w reg query "$@" 2>/dev/null | tr -d '\r' | sed '/^$/d' || true; }

# What a Windows installation has and a new prefix lacks.
w reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion' /v DevicePath /t REG_EXPAND_SZ \
    /d '%SystemRoot%\inf' /f >/dev/null
w reg add 'HKLM\SOFTWARE\Policies\Microsoft\Windows' /f >/dev/null
sleep 1

w regedit /E "$(w winepath -w "$out/before.reg")"
setup=$(w winepath -w "$package/Setup.cmd")
folder='C:\Program Files\Calmora\Quenvora-K9 USB Audio'

echo "== install"
w cmd /c "$setup" install "$folder"
sleep 1
echo "autostart:     $(q 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v CalmoraQvK9audioCPL | tail -1)"
echo "search path:   $(q 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion' /v DevicePath | tail -1)"
echo "signing:       $(q 'HKLM\SOFTWARE\Policies\Microsoft\Windows\DeviceInstall\Settings' /v AllSigningEqual | tail -1)"
echo "ASIO driver:   $(q 'HKLM\SOFTWARE\ASIO\Quenvora-K9 USB Audio ASIO' /v CLSID | tail -1)"
echo "certificates:  root $(q 'HKLM\Software\Microsoft\SystemCertificates\Root\Certificates' | grep -c Certificates\\\\ || true)," \
    "trusted publisher $(q 'HKLM\Software\Microsoft\SystemCertificates\TrustedPublisher\Certificates' | grep -c Certificates\\\\ || true)"
echo "package files: $(ls "$prefix/drive_c/Program Files/Calmora/Quenvora-K9 USB Audio" | tr '\n' ' ')"

echo "== uninstall"
w cmd /c "$setup" uninstall "$folder"
sleep 3
sleep 1
w regedit /E "$(w winepath -w "$out/after.reg")"
# regedit writes UTF-16. The first use of the certificate functions makes Wine import the host's
# root certificates and create empty user stores, and its console and display drivers keep their
# settings: those keys are Wine's, not ours, and are left out; our own certificate (by its
# thumbprint) stays in the comparison.
ours=$(openssl x509 -inform DER -in "$build/generated/Calmora.cer" -noout -fingerprint -sha1 |
    sed 's/.*=//; s/://g')
for f in before after; do
    iconv -f UTF-16LE -t UTF-8 "$out/$f.reg" | tr -d '\r' |
        awk -v ours="$ours" '
            /^\[/ { skip = ($0 ~ /SystemCertificates/ && index($0, ours) == 0) ||
                           $0 ~ /\\Console\]$/ || $0 ~ /Control\\Video\\/ }
            !skip' >"$out/$f.txt"
done
echo "== registry after uninstall against before install (certificate $ours)"
diff "$out/before.txt" "$out/after.txt" || true
