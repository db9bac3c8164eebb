#!/usr/bin/env bash
# probe.sh [--build DIR] [--load N] [--realtime] [--soak] [options...]
# Streams through the simulated-device driver in a Wine prefix of its own and prints the
# probe's report. Options are QvK9AsioHost's (--seconds, --frames, --rate, --bits, ...).
#   --soak       run the host's soak instead of one probe (--sessions, --seed, --first, ...)
#   --load N     keep N busy loops running beside the stream (other work on the machine)
#   --driver DLL the simulated driver to stream through; by default the one the shipped 64-bit
#                tree builds with the shipped runtime (the test tree's where there is none)
#   --realtime   run the host and the wineserver in the real-time class: what the driver's
#                time-critical threads get on Windows, and what Wine maps its priorities to
#                only where RLIMIT_NICE allows it
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build/x64"
driver=""
load=0
realtime=0
command=probe
args=()
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --load) load=$2; shift 2 ;;
    --driver) driver=$2; shift 2 ;;
    --realtime) realtime=1; shift ;;
    --soak) command=soak; shift ;;
    *) args+=("$1"); shift ;;
    esac
done
build=$(realpath -m "$build")
if [ -z "$driver" ]; then
    driver="$build/../win64/bin/sim/QvK9ASIO64.dll"
    [ -f "$driver" ] || driver="$build/bin/sim/QvK9ASIO64.dll"
fi
prefix="$build/wine-probe"
export QVK9_WINEPREFIX="$prefix"
export QVK9_WINEARCH=${QVK9_WINEARCH:-win64}

loaders=()
cleanup() {
    [ ${#loaders[@]} -gt 0 ] && kill "${loaders[@]}" 2>/dev/null
    "$here/wine-prefix.sh" cleanup "$prefix" >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$here/wine-prefix.sh" setup "$prefix" >/dev/null 2>&1 || { echo "no Wine prefix" >&2; exit 1; }
"$here/wine-run.sh" regsvr32 /s "$(realpath -m "$driver")" || { echo "not registered" >&2; exit 1; }

launcher=()
if [ "$realtime" = 1 ]; then
    # The wineserver of this prefix, not the newest one on the machine: other prefixes may run.
    server=""
    for pid in $(pgrep wineserver); do
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$prefix" && server=$pid
    done
    [ -n "$server" ] && chrt -f -p 10 "$server" || { echo "no real-time class here" >&2; exit 1; }
    launcher=(chrt -f 10)
fi
for ((i = 0; i < load; i++)); do
    (while :; do :; done) &
    loaders+=($!)
done
echo "$command: ${args[*]}  (busy loops beside it: $load, real-time class: $([ $realtime = 1 ] && echo yes || echo no))"
"${launcher[@]}" "$here/wine-run.sh" "$build/bin/QvK9AsioHost.exe" "$command" "${args[@]}" 2>&1 | sed -u 's/\r$//'
exit "${PIPESTATUS[0]}"
