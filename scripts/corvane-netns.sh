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

corvane_netns_delete() {
    [ -n "${CORVANE_NS_PC:-}" ] && ip netns del "$CORVANE_NS_PC" 2>/dev/null
    [ -n "${CORVANE_NS_LAN:-}" ] && ip netns del "$CORVANE_NS_LAN" 2>/dev/null
    return 0
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
