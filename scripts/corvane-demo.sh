#!/usr/bin/env bash
# Shows Corvane finding a dozen simulated devices, with no hardware and no real network:
# corvane-devsim plays the devices in a "lan" network namespace, Corvane runs in a "pc"
# namespace, joined by a veth pair; both namespaces are removed afterwards.
# With $DISPLAY set, Corvane opens there until you close it. Without one it runs for a
# few seconds under Xvfb, and a screenshot of the screen is saved and its path printed.
# usage: corvane-demo.sh [build dir]      (as root; builds first when needed)
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build}")"
corvane="$build/discovery/Corvane"
devsim="$build/tools/corvane-devsim/corvane-devsim"

source "$root/scripts/script-lib.sh"
need_root "corvane-demo: network namespaces need root; run: sudo bash $0 ${1:-}" 1
if [ ! -x "$corvane" ] || [ ! -x "$devsim" ]; then
    "$root/scripts/install-deps.sh" demo && "$root/scripts/build.sh" "$build" -DBUILD_TESTING=OFF || exit 1
fi
source "$root/scripts/corvane-netns.sh"

work="$(mktemp -d)"
app_pid="" xvfb_pid=""
cleanup() {
    for pid in $app_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    corvane_stop_simulators
    corvane_netns_delete
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

corvane_netns_create "demo-$$" || { echo "corvane-demo: cannot create the namespaces" >&2; exit 1; }
if ! corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 12 --first-address "$CORVANE_NET.100"; then
    cat "$work/devsim.log" >&2
    exit 1
fi
echo "corvane-demo: 12 simulated devices in namespace $CORVANE_NS_LAN, Corvane in $CORVANE_NS_PC"

if [ -n "${DISPLAY:-}" ]; then
    echo "corvane-demo: Corvane is open on $DISPLAY; close it to end the demo"
    ip netns exec "$CORVANE_NS_PC" env DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" "$corvane" &
    app_pid=$!
    wait "$app_pid"
    app_pid=""
else
    screenshot="$build/corvane-demo.png"
    if ! corvane_start_xvfb 99 800x500x24 "$work/xvfb.log"; then
        echo "corvane-demo: the virtual screen did not start:" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    xvfb_pid=$CORVANE_XVFB_PID
    display="${DISPLAY#:}"
    # The namespace keeps the display's abstract socket out of reach, not its socket file.
    ip netns exec "$CORVANE_NS_PC" env DISPLAY=":$display" "$corvane" >"$work/corvane.log" 2>&1 &
    app_pid=$!
    corvane_wait_for_line "$work/devsim.log" "^probe 1: " || { cat "$work/corvane.log" >&2; exit 1; }
    sleep 3   # let the scan window close and the window settle before the picture
    if import -display ":$display" -window root "$work/screen.png" && convert "$work/screen.png" -trim +repage "$screenshot"; then
        echo "corvane-demo: screenshot saved to $screenshot"
    else
        echo "corvane-demo: could not take the screenshot" >&2
    fi
fi
echo "corvane-demo: what the simulated devices saw:"
sed 's/^/  /' "$work/devsim.log"
