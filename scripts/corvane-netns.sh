# Two network namespaces, "pc" and "lan", joined by a veth pair, for running Corvane
# and corvane-devsim where their broadcasts cannot reach any real network.
# Source this file, call corvane_netns_create TAG, and corvane_netns_delete from a trap.
# Needs root.

CORVANE_NET=10.231.0            # private addresses, used inside the namespaces only
CORVANE_PC_ADDRESS=$CORVANE_NET.1
CORVANE_LAN_ADDRESS=$CORVANE_NET.2

corvane_netns_create() {
    local tag="$1"
    CORVANE_NS_PC="corvane-pc-$tag"
    CORVANE_NS_LAN="corvane-lan-$tag"
    ip netns add "$CORVANE_NS_PC" || return 1
    ip netns add "$CORVANE_NS_LAN" || return 1
    # Made inside "pc" with its far end placed in "lan": the pair never exists on the host.
    ip -n "$CORVANE_NS_PC" link add pc type veth peer name lan netns "$CORVANE_NS_LAN" || return 1
    ip -n "$CORVANE_NS_PC" addr add "$CORVANE_PC_ADDRESS/24" dev pc || return 1
    ip -n "$CORVANE_NS_LAN" addr add "$CORVANE_LAN_ADDRESS/24" dev lan || return 1
    ip -n "$CORVANE_NS_PC" link set lo up && ip -n "$CORVANE_NS_PC" link set pc up || return 1
    ip -n "$CORVANE_NS_LAN" link set lo up && ip -n "$CORVANE_NS_LAN" link set lan up || return 1
    # The limited broadcast 255.255.255.255 needs a route to leave by.
    ip -n "$CORVANE_NS_PC" route add default dev pc || return 1
}

# A "pc" with two interfaces, as a laptop on the office network with a cable to the devices:
#   pc1 (CORVANE_NET1.1, the default route) -- lan1 (CORVANE_NET1.2)
#   pc2 (CORVANE_NET2.1)                    -- lan2, a switch (CORVANE_NET2.2) with one more port
#                                              to "far", a device's namespace in another subnet
# Call corvane_netns_create_two_lans TAG, and corvane_netns_delete from a trap.
CORVANE_NET1=10.231.1
CORVANE_NET2=10.231.2
CORVANE_FAR_NET=192.168.77     # the misconfigured device's subnet, known to nobody else

corvane_netns_create_two_lans() {
    local tag="$1"
    CORVANE_NS_PC="corvane-pc-$tag"
    CORVANE_NS_LAN="corvane-lan1-$tag"
    CORVANE_NS_LAN2="corvane-lan2-$tag"
    CORVANE_NS_FAR="corvane-far-$tag"
    local ns
    for ns in "$CORVANE_NS_PC" "$CORVANE_NS_LAN" "$CORVANE_NS_LAN2" "$CORVANE_NS_FAR"; do
        ip netns add "$ns" || return 1
        ip -n "$ns" link set lo up || return 1
    done
    # Every pair is made inside one of our namespaces: nothing ever appears on the host.
    ip -n "$CORVANE_NS_PC" link add pc1 type veth peer name lan1 netns "$CORVANE_NS_LAN" || return 1
    ip -n "$CORVANE_NS_PC" link add pc2 type veth peer name lan2 netns "$CORVANE_NS_LAN2" || return 1
    ip -n "$CORVANE_NS_LAN2" link add far type veth peer name port netns "$CORVANE_NS_FAR" || return 1
    ip -n "$CORVANE_NS_LAN2" link add switch type bridge || return 1
    ip -n "$CORVANE_NS_LAN2" link set lan2 master switch || return 1
    ip -n "$CORVANE_NS_LAN2" link set far master switch || return 1
    ip -n "$CORVANE_NS_PC" addr add "$CORVANE_NET1.1/24" dev pc1 || return 1
    ip -n "$CORVANE_NS_PC" addr add "$CORVANE_NET2.1/24" dev pc2 || return 1
    ip -n "$CORVANE_NS_LAN" addr add "$CORVANE_NET1.2/24" dev lan1 || return 1
    ip -n "$CORVANE_NS_LAN2" addr add "$CORVANE_NET2.2/24" dev switch || return 1
    ip -n "$CORVANE_NS_FAR" addr add "$CORVANE_FAR_NET.2/24" dev port || return 1
    ip -n "$CORVANE_NS_PC" link set pc1 up && ip -n "$CORVANE_NS_PC" link set pc2 up || return 1
    ip -n "$CORVANE_NS_LAN" link set lan1 up || return 1
    ip -n "$CORVANE_NS_LAN2" link set lan2 up && ip -n "$CORVANE_NS_LAN2" link set far up || return 1
    ip -n "$CORVANE_NS_LAN2" link set switch up || return 1
    ip -n "$CORVANE_NS_FAR" link set port up || return 1
    # The default route, and with it the system's choice for a limited broadcast, is pc1's.
    ip -n "$CORVANE_NS_PC" route add default dev pc1 || return 1
    # The misconfigured device's broadcast answers need a way out of its namespace.
    ip -n "$CORVANE_NS_FAR" route add default dev port || return 1
}

corvane_netns_delete() {
    local ns
    for ns in "${CORVANE_NS_PC:-}" "${CORVANE_NS_LAN:-}" "${CORVANE_NS_LAN2:-}" "${CORVANE_NS_FAR:-}"; do
        [ -n "$ns" ] && ip netns del "$ns" 2>/dev/null
    done
    # Forgotten, so a second clean-up, or a set-up after this one, starts clean.
    CORVANE_NS_PC="" CORVANE_NS_LAN="" CORVANE_NS_LAN2="" CORVANE_NS_FAR=""
    return 0
}

# The port the window probed from, as the simulator's log $1 noted its first probe
# from "pc"'s address; empty when there was none.
corvane_probe_port() {
    sed -n "s/^probe 1: .* from $CORVANE_PC_ADDRESS:\([0-9]*\) to .*/\1/p" "$1"
}

# Namespace $1's UDP counters: datagrams delivered to a socket, and those dropped for a
# full receive buffer, on one line.
corvane_udp_counters() {
    ip netns exec "$1" awk '/^Udp:/ { if (!names) { for (i = 2; i <= NF; i++) col[$i] = i; names = 1 }
        else print $col["InDatagrams"], $col["RcvbufErrors"] }' /proc/net/snmp
}

# Datagrams that reached namespace $1: delivered to a socket, or dropped for a full buffer.
corvane_udp_arrived() {
    local delivered dropped
    read -r delivered dropped < <(corvane_udp_counters "$1")
    echo $((delivered + dropped))
}

# Waits up to $4 seconds for $3 more datagrams than $2 to have reached namespace $1:
# a flood is known to arrive, not assumed to after a while.
# corvane_wait_for_udp NS FROM COUNT SECONDS
corvane_wait_for_udp() {
    local tries
    for ((tries = $4 * 10; tries > 0; tries--)); do
        (($(corvane_udp_arrived "$1") - $2 >= $3)) && return 0
        sleep 0.1
    done
    return 1
}

# Waits up to $3 seconds (default 10) for file $1 to contain a line matching $2.
corvane_wait_for_line() {
    local file="$1" pattern="$2" seconds="${3:-10}" tries
    for ((tries = seconds * 10; tries > 0; tries--)); do
        grep -q -- "$pattern" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# Simulators started by corvane_simulate; the caller's clean-up calls
# corvane_stop_simulators.
CORVANE_SIM_PIDS=()

# corvane_simulate DEVSIM NAMESPACE LOG DEVSIM-OPTIONS...: starts corvane-devsim in
# the namespace; true once it listens.
corvane_simulate() {
    local devsim="$1" ns="$2" log="$3"
    shift 3
    ip netns exec "$ns" "$devsim" "$@" >"$log" 2>&1 &
    CORVANE_SIM_PIDS+=($!)
    corvane_wait_for_line "$log" "^listening on 0.0.0.0 port 36 "
}

corvane_stop_simulators() {
    local pid
    for pid in "${CORVANE_SIM_PIDS[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    CORVANE_SIM_PIDS=()
    return 0
}

# The devices of the two-LAN set-up, logging to DIR/lan1.log, lan2.log and far.log:
# three behind pc1, four behind pc2 and, on pc2's LAN too, one set to a foreign
# subnet that answers by broadcast.
# corvane_simulate_two_lans DEVSIM DIR: false, with CORVANE_SIM_FAILED naming the
# simulator, when one does not start.
corvane_simulate_two_lans() {
    local devsim="$1" dir="$2" lan2_devices=() i
    corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$dir/lan1.log" --devices 3 --first-address "$CORVANE_NET1.100" ||
        { CORVANE_SIM_FAILED=lan1; return 1; }
    for i in 0 1 2 3; do
        lan2_devices+=(--device "$CORVANE_NET2.$((100 + i)),255.255.255.0,02-C0-4E-02-00-0$i,$((21 + i))")
    done
    corvane_simulate "$devsim" "$CORVANE_NS_LAN2" "$dir/lan2.log" "${lan2_devices[@]}" || { CORVANE_SIM_FAILED=lan2; return 1; }
    corvane_simulate "$devsim" "$CORVANE_NS_FAR" "$dir/far.log" --reply-broadcast \
        --device "$CORVANE_FAR_NET.5,255.255.0.0,02-C0-4E-77-00-05,77" || { CORVANE_SIM_FAILED=far; return 1; }
}

# corvane_start_xvfb FIRST-DISPLAY SIZE LOG: an X server on the first free display
# from FIRST-DISPLAY on; exports DISPLAY and sets CORVANE_XVFB_PID. False, with the
# server's complaints in LOG, when no screen came up: a server that ends at once
# (another one took the display first) leads to the next free display, three
# times at most; one that runs but shows no socket within 10 s is stopped.
corvane_start_xvfb() {
    local first="$1" display="$1" attempt tries
    CORVANE_XVFB_PID=""
    for ((attempt = 0; attempt < 3; attempt++)); do
        for (( ; display < first + 100; display++)); do
            [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
        done
        Xvfb ":$display" -screen 0 "$2" -nolisten tcp >>"$3" 2>&1 &
        CORVANE_XVFB_PID=$!
        for ((tries = 100; tries > 0; tries--)); do
            kill -0 "$CORVANE_XVFB_PID" 2>/dev/null || break
            # Up, and the display's lock names this server, not one that raced it.
            if [ -e "/tmp/.X11-unix/X$display" ] &&
                [ "$(tr -d ' \n' <"/tmp/.X$display-lock" 2>/dev/null)" = "$CORVANE_XVFB_PID" ]; then
                export DISPLAY=":$display"
                return 0
            fi
            sleep 0.1
        done
        if kill -0 "$CORVANE_XVFB_PID" 2>/dev/null; then
            kill "$CORVANE_XVFB_PID" 2>/dev/null && wait "$CORVANE_XVFB_PID" 2>/dev/null
            CORVANE_XVFB_PID=""
            echo "corvane_start_xvfb: no screen :$display after 10 s" >>"$3"
            return 1
        fi
        wait "$CORVANE_XVFB_PID" 2>/dev/null
        CORVANE_XVFB_PID=""
        display=$((display + 1))
    done
    echo "corvane_start_xvfb: no X server would start" >>"$3"
    return 1
}
