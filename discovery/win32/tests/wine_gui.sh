# What the Wine end-to-end tests share: Corvane.exe under Wine on a virtual
# screen with a window manager, in the "pc" namespace of scripts/corvane-netns.sh,
# with a Wine prefix of the run's own whose wineserver (which owns the program's
# sockets) runs inside that namespace.
# Source it after script-lib.sh, corvane-netns.sh and wine-env.sh, with $work,
# $prefix, $corvane_exe and $reader_exe set. WINELOADER names the Wine loader
# for the build's programs (and WINEARCH the prefix's kind); they are started
# through FIELDKIT_WINE_RUN, the build's emulator, when it is set.
# Every step that waits on the screen or on Wine is bounded: a hang fails the test
# and the clean-up still runs, before ctest's own limit would kill the run without
# one (and leave its namespaces behind).

app_pid="" xvfb_pid="" wm_pid="" server_started=""
wine_run="${FIELDKIT_WINE_RUN:-$WINELOADER}"

wine_gui_cleanup() {
    local pid
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$server_started" ] && timeout -k 5 30 ip netns exec "$CORVANE_NS_PC" env WINEPREFIX="$prefix" wineserver -k 2>/dev/null
    for pid in $app_pid $wm_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    corvane_stop_simulators
    corvane_netns_delete
    rm -rf "$work"
}

# What fail prints after the run's logs: the window's state, once Wine runs.
fail_details() {
    if [ -n "$server_started" ]; then
        echo "--- window state ---"
        reader state
    fi
}

# Runs a command in "pc" with the run's prefix (DISPLAY comes from the screen);
# in_pc --within SECONDS COMMAND... bounds it.
in_pc() {
    local limit=()
    if [ "$1" = --within ]; then
        limit=(timeout -k 5 "$2")
        shift 2
    fi
    "${limit[@]}" ip netns exec "$CORVANE_NS_PC" env WINEPREFIX="$prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}

# The window reader's report; bounded, so a hanging read cannot hang the run.
reader() {
    in_pc --within 30 "$wine_run" "$reader_exe" "$@" 2>/dev/null | tr -d '\r'
}

# xdo ARGS...: xdotool, bounded; a hang fails the test. Its other failures are
# left to the step's own check (a key sent to a window that is gone, say).
xdo() {
    timeout -k 5 15 xdotool "$@" 2>/dev/null
    local status=$?
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        fail "xdotool $* did not finish within 15 s"
    fi
    return "$status"
}

# Runs "$@" until it succeeds, for WAIT_SECONDS (default 20) at most; true when it did.
wait_until() {
    local tries
    for ((tries = ${WAIT_SECONDS:-20} * 4; tries > 0; tries--)); do
        "$@" && return 0
        sleep 0.25
    done
    return 1
}
# grep reads to the end: a reader cut short by a closed pipe would fail the pipeline.
state_has() { reader state | grep -- "$1" >/dev/null; }
# wait_for_state PATTERN [SECONDS]
wait_for_state() { WAIT_SECONDS="${2:-20}" wait_until state_has "$1"; }

# The window titled like pattern $1, once visible; nothing after 20 s.
wait_for_window() {
    timeout -k 5 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1
}

running() { kill -0 "$app_pid" 2>/dev/null; }

# Waits for Corvane to end by itself; true when it did.
wait_for_exit() {
    wait_until eval '! running' || return 1
    wait "$app_pid"
    app_pid=""
}

start_corvane() {
    in_pc "$wine_run" "$corvane_exe" >"$work/corvane.log" 2>&1 &
    app_pid=$!
    main_window="$(wait_for_window '^Corvane$')"
    [ -n "$main_window" ] || fail "Corvane's window did not appear"
}

# The virtual screen and the window manager (for Alt+F4).
start_screen() {
    corvane_start_xvfb 150 1024x768x24 "$work/xvfb.log" || fail "the virtual screen did not start"
    xvfb_pid=$CORVANE_XVFB_PID
    openbox >"$work/openbox.log" 2>&1 &
    wm_pid=$!
}

# The run's own prefix, its wineserver started inside "pc" and checked to run
# there only: the program broadcasts through it.
start_wine_in_pc() {
    mkdir -p "$prefix"
    [ -z "$(wine_env_servers_of "$prefix")" ] || fail "a wineserver for $prefix already runs; refusing to share it"
    in_pc --within 30 wineserver -p || fail "cannot start the wineserver"
    server_started=1
    in_pc --within 120 "$WINELOADER" wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
    wine_env_servers_only_in "$CORVANE_NS_PC" "$prefix" ||
        fail "the wineserver for $prefix does not run in $CORVANE_NS_PC; refusing to broadcast"
}
