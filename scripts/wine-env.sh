# A private Wine environment for running the Windows builds' tests.
# Source this file, call wine_env_start PREFIX-DIR, and wine_env_stop from a trap.
# The loader is named outright: Debian's plain `wine` prefers the 32-bit loader
# whenever 32-bit Wine is installed, even for 64-bit programs.
# One persistent wineserver serves the whole run, so each test program starts
# in a fraction of a second instead of paying Wine's start-up every time.
# Sockets of Windows programs live in the wineserver: start it inside the network
# namespace the programs are meant to use, never outside it for broadcasting tests.

WINE_LOADER_64=/usr/lib/wine/wine64

wine_env_start() {
    export WINEPREFIX="$1"
    export WINELOADER="${WINELOADER:-$WINE_LOADER_64}"
    [ -x "$WINELOADER" ] || { echo "wine-env: no Wine loader at $WINELOADER" >&2; return 1; }
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"   # no Mono or Gecko prompts
    mkdir -p "$WINEPREFIX"
    # Persistent until wine_env_stop; its own output (an object dump when it is
    # stopped) goes to a log beside the prefix, not into the test report.
    wineserver -p >>"$WINEPREFIX/wineserver.log" 2>&1 || return 1
    "$WINELOADER" wineboot -i >/dev/null 2>&1 || { echo "wine-env: wineboot failed in $WINEPREFIX" >&2; return 1; }
    return 0
}

wine_env_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
    return 0
}

# Makes COMn inside the prefix name the given device (a pseudo-terminal's slave).
wine_env_map_com() {
    local n="$1" device="$2"
    mkdir -p "$WINEPREFIX/dosdevices"
    ln -sfn "$device" "$WINEPREFIX/dosdevices/com$n"
}

# The wineservers serving PREFIX, by their environment, one process id a line.
wine_env_servers_of() {
    local pid
    for pid in $(pgrep -x 'wineserver(64)?'); do
        grep -qxz "WINEPREFIX=$1" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
    done
    return 0
}

# True when a wineserver serves PREFIX and every one that does runs in network
# namespace NS: a broadcasting program's sockets live in that server.
# wine_env_servers_only_in NS PREFIX
wine_env_servers_only_in() {
    local ns_id pid found=""
    ns_id="$(ip netns exec "$1" readlink /proc/self/ns/net)" || return 1
    for pid in $(wine_env_servers_of "$2"); do
        [ "$(readlink "/proc/$pid/ns/net")" = "$ns_id" ] || return 1
        found=1
    done
    [ -n "$found" ]
}
