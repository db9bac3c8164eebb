#!/usr/bin/env bash
# demo.sh BUILD_DIR   (QVK9_WINEARCH=win64 for the 64-bit build tree)
# The whole product end to end on the simulated device, in a fresh 64-bit Wine prefix of its own:
# the package installed by its setup program and the 64-bit installer assistant (certificates,
# search path, autostart that starts the control panel, both drivers' registrations, each in its
# own registry view), our 64-bit ASIO host loading the registered 64-bit driver and streaming a
# test signal through it while the panel shows the stream, then the uninstall, after which the
# demo shows what is gone from both views and compares the registry with the one before the
# install.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath -m "${1:-build}")
prefix="$build/wine-demo"
# Where the Task Scheduler keeps the panel's log-on task.
logon_task="$prefix/drive_c/windows/system32/Tasks/CalmoraQvK9audioCPL"
host="$build/bin/QvK9AsioHost.exe"
shots="$build/bin/sim/QvK9PanelShots.exe"
package="$build/package-sim"
certificate="$build/generated/Calmora.cer"
records="$build/demo"
folder='C:\Program Files\Calmora\Quenvora-K9 USB Audio'
seconds=10
frames=256
rate=48000

say() { printf '%s\n' "$*"; }
step() { printf '\n[%s] %s\n' "$1" "$2"; }
indent() { sed 's/^/    /'; }
fail() {
    say ""
    say "The demo stopped: $*"
    exit 1
}

for file in "$host" "$shots" "$certificate" "$package/Setup.cmd" "$package/QvK9InstAsst64.exe" \
    "$package/QvK9CPL.exe" "$package/QvK9ASIO64.dll" "$package/QvK9ASIO.dll"; do
    [ -f "$file" ] || fail "$file is missing; build first (make)."
done

export QVK9_WINEPREFIX="$prefix"
cleanup() { "$here/wine-prefix.sh" cleanup "$prefix" >/dev/null 2>&1 || true; }
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$records"

w() { "$here/wine-run.sh" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# A registry key or value as `reg query` shows it; nothing when it is not there (reg prints its
# "unable to find" on standard output).
q() { w reg query "$@" | grep -E 'HKEY_|REG_' || true; }
value_of() { q "$1" /v "$2" | grep REG_ | sed 's/^ *[^ ]* *REG_[A-Z_]* *//'; }
present() { if [ -n "$1" ]; then say "    $2: still there"; else say "    $2: gone"; fi; }
panel_runs() { "$here/wine-run.sh" "$shots" --running </dev/null >/dev/null 2>&1; }
wait_for_panel() {
    for _ in $(seq 1 "$1"); do
        if [ "$2" = up ]; then panel_runs && return 0; else panel_runs || return 0; fi
        sleep 0.5
    done
    return 1
}
# The whole registry as text, without what Wine itself changes when a program first uses the
# certificate functions (it imports the host's root certificates and makes empty user stores)
# and without its console and display settings; our own certificate stays in.
thumbprint=$(openssl x509 -inform DER -in "$certificate" -noout -fingerprint -sha1 |
    sed 's/.*=//; s/://g')
registry_snapshot() {
    w regedit /E "$(w winepath -w "$records/$1.reg")"
    iconv -f UTF-16LE -t UTF-8 "$records/$1.reg" | tr -d '\r' |
        awk -v ours="$thumbprint" '
            /^\[/ { skip = ($0 ~ /SystemCertificates/ && index($0, ours) == 0) ||
                           $0 ~ /\\Console\]$/ || $0 ~ /Control\\Video\\/ }
            !skip' >"$records/$1.txt"
}
clsid='{58527022-702F-47D6-B9F4-97556F3FF061}'
native_asio='HKLM\SOFTWARE\ASIO\Quenvora-K9 USB Audio ASIO'
wow_asio='HKLM\SOFTWARE\Wow6432Node\ASIO\Quenvora-K9 USB Audio ASIO'
native_class="HKLM\\Software\\Classes\\CLSID\\$clsid"
wow_class="HKLM\\Software\\Classes\\Wow6432Node\\CLSID\\$clsid"
server_of() { q "$1\\InprocServer32" /ve | grep REG_ | sed 's/^ *[^ ]* *REG_[A-Z_]* *//'; }
# Some machines (CI's among them) cannot execute 32-bit code: Wine's 32-bit side cannot start.
runs_32bit() { "$here/wine-run.sh" 'C:\windows\syswow64\cmd.exe' /c exit 7 </dev/null >/dev/null 2>&1; [ $? -eq 7 ]; }
certificate_in() {
    q "HKLM\\Software\\Microsoft\\SystemCertificates\\$1\\Certificates\\$thumbprint"
}

say "Quenvora-K9 USB Audio software demo, on the simulated device under Wine"
say "(Wine prefix: $prefix)"

step 1/6 "Making a fresh Wine prefix, with what a Windows installation has and a new prefix lacks ..."
started=$SECONDS
"$here/wine-prefix.sh" setup "$prefix" >/dev/null 2>&1 || fail "the Wine prefix could not be made."
w reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion' /v DevicePath /t REG_EXPAND_SZ \
    /d '%SystemRoot%\inf' /f >/dev/null
w reg add 'HKLM\SOFTWARE\Policies\Microsoft\Windows' /f >/dev/null
registry_snapshot before
say "    done in $((SECONDS - started)) s; the registry is saved for the comparison at the end."

step 2/6 "Installing the package with its setup program, as a user does ..."
setup=$(w winepath -w "$package/Setup.cmd")
say "    Setup.cmd install \"$folder\""
say "    (it copies the package and starts the 64-bit installer assistant with /A,/O,/C)"
w cmd /c "$setup" install "$folder" >/dev/null
say "    setup's exit code: $? (0: every step was done; otherwise what could not be, see README)"
say "    autostart entry:   $(value_of 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' CalmoraQvK9audioCPL)"
say "    log-on task:       $([ -f "$logon_task" ] && echo "CalmoraQvK9audioCPL, runs $(tr -d '\0\r' <"$logon_task" | sed -n 's:.*<Command>\(.*\)</Command>.*:\1:p')" || echo none)"
say "    search path:       $(value_of 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion' DevicePath)"
say "    signing policy:    AllSigningEqual = $(value_of 'HKLM\SOFTWARE\Policies\Microsoft\Windows\DeviceInstall\Settings' AllSigningEqual)"
say "    64-bit driver:     native view, ASIO key CLSID $(value_of "$native_asio" CLSID),"
say "                       server $(server_of "$native_class")"
if runs_32bit; then
    say "    32-bit driver:     32-bit view (WOW6432Node), ASIO key CLSID $(value_of "$wow_asio" CLSID),"
    say "                       server $(server_of "$wow_class")"
else
    say "    32-bit driver:     in the package; this machine cannot run 32-bit programs, so its"
    say "                       registration by the 32-bit RegSvr32 could not run: 32-bit view"
    say "                       ASIO key $( [ -n "$(q "$wow_asio")" ] && echo present || echo absent)"
fi
say "    certificate:       root store $([ -n "$(certificate_in Root)" ] && echo yes || echo no)," \
    "trusted publishers $([ -n "$(certificate_in TrustedPublisher)" ] && echo yes || echo no)" \
    "(SHA-1 $thumbprint)"
say "    package folder:    $(ls "$prefix/drive_c/Program Files/Calmora/Quenvora-K9 USB Audio" | tr '\n' ' ')"
if wait_for_panel 20 up; then
    say "    control panel:     running, started by the autostart step"
else
    say "    control panel:     not running"
fi
"$here/wine-run.sh" "$host" list </dev/null 2>&1 | tr -d '\r' | indent
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "the host finds no registered ASIO driver after the install."

step 3/6 "Loading the registered driver the way an ASIO host does, and asking what it offers ..."
"$here/wine-run.sh" "$host" info </dev/null 2>&1 | tr -d '\r' | indent
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "the driver could not be loaded and initialised."

step 4/6 "Streaming for $seconds s: $frames-frame buffers at $rate Hz. The host writes a numbered"
say "    test signal to the outputs; the simulated device plays it and records it back."
say "    Halfway through, what the control panel shows is read from its controls."
probe_log=$(mktemp)
"$here/wine-run.sh" "$host" probe --seconds "$seconds" --frames "$frames" --rate "$rate" \
    </dev/null >"$probe_log" 2>&1 &
host_pid=$!
sleep $((seconds / 2))
say ""
say "    The control panel while the host streams:"
"$here/wine-run.sh" "$shots" --texts </dev/null 2>/dev/null | tr -d '\r' | indent | indent
say ""
wait "$host_pid"
probe=$?
tr -d '\r' <"$probe_log" | indent
rm -f "$probe_log"

step 5/6 "Pictures of the control panel while a host streams (Xvfb, Wine virtual desktop) ..."
if command -v Xvfb >/dev/null; then
    bash "$here/panel-screenshots.sh" "$package/QvK9CPL.exe" "$shots" "$build/panel-pictures" \
        "$package/QvK9ASIO64.dll" "$host" 2>/dev/null | grep -E '\.png$' | indent
else
    say "    skipped: Xvfb is not installed."
fi

step 6/6 "Uninstalling with the setup program ..."
w cmd /c "$setup" uninstall "$folder" >/dev/null
say "    setup's exit code: $?"
wait_for_panel 20 down
present "$(q "$native_class")" "64-bit driver's COM class (native view)"
present "$(q "$native_asio")" "64-bit driver's ASIO entry (native view)"
present "$(q "$wow_class")" "32-bit driver's COM class (32-bit view)"
present "$(q "$wow_asio")" "32-bit driver's ASIO entry (32-bit view)"
present "$(q 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v CalmoraQvK9audioCPL)" \
    "autostart entry"
present "$(value_of 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion' DevicePath | grep -i quenvora)" \
    "search-path entry"
present "$(ls "$logon_task" 2>/dev/null)" "log-on task"
present "$(ls "$prefix/drive_c/windows/inf/QvK9USB.inf" 2>/dev/null)" "staged copy of the driver's INF"
present "$(ls "$prefix/drive_c/windows/system32/drivers/CaQvK9.sys" 2>/dev/null)" "CaQvK9.sys in the drivers folder"
present "$(ls -d "$prefix/drive_c/Program Files/Calmora/Quenvora-K9 USB Audio" 2>/dev/null)" \
    "package folder"
if panel_runs; then say "    control panel: still running"; else say "    control panel: ended"; fi
say "    certificate: $([ -n "$(certificate_in Root)" ] && echo "stays in the root store" || echo "gone")"
say "    (the uninstall has no certificate step: the maker's certificate stays, as do the"
say "    \"ASIOPATH\" and \"ASIOPATH64\" profile entries and AllSigningEqual = 0)"
registry_snapshot after
say ""
say "    The registry after the uninstall against the one before the install:"
say "    (keys and value names; whole texts in $records/before.txt and after.txt)"
diff "$records/before.txt" "$records/after.txt" | grep -E '^[<>] ["[]' | cut -c1-110 |
    indent | indent

say ""
case "$probe" in
0)
    say "What happened: the package installed, the control panel started by itself, the driver"
    say "loaded, streamed for $seconds s and carried every frame of the test signal from its outputs"
    say "back to its inputs, in order, with none lost, and the uninstall took the package away again."
    say "The figures above give the measured round-trip latency beside the one the driver reports,"
    say "the timing of its buffer switches and the CPU time it costs per switch."
    exit 0
    ;;
4)
    say "What happened: the driver loaded and streamed, and the signal came back, but not intact:"
    say "see the Signal and Buffer switches sections above. Dropouts at this buffer size usually"
    say "mean the machine was too busy to keep the simulated device fed in time (other builds or"
    say "tests running); run 'make demo' again on a quieter machine to tell load from a fault."
    exit 0
    ;;
3)
    fail "the stream ran, but the test signal never came back on the inputs."
    ;;
5)
    fail "the driver broke a rule ASIO hosts rely on (marked FAULT above)."
    ;;
*)
    fail "the stream could not be set up or started (host exit code $probe)."
    ;;
esac
