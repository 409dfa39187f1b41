# A private Wine environment for running the Windows builds' tests.
# Source this file, call wine_env_start PREFIX-DIR (64-bit programs) or
# wine_env_start32 PREFIX-DIR (32-bit ones), and wine_env_stop from a trap.
# The loader is named outright: Debian's plain `wine` prefers the 32-bit loader
# whenever 32-bit Wine is installed, even for 64-bit programs.
# One persistent wineserver serves the whole run, so each test program starts
# without paying Wine's start-up every time.
# Sockets of Windows programs live in the wineserver: start it inside the network
# namespace the programs are meant to use, never outside it for broadcasting tests.

WINE_LOADER_64=/usr/lib/wine/wine64
WINE_LOADER_32=/usr/lib/wine/wine        # package wine32:i386

# Where the kernel runs no 32-bit (i386) programs, qemu-user runs them once
# binfmt_misc hands them to it. The entry is the one of Debian's
# qemu-user-binfmt: i386 ELF executables, the emulator opened once at
# registration (F, so it is found in any namespace), argv[0] kept (P).
WINE_BINFMT_DIR=/proc/sys/fs/binfmt_misc
WINE_BINFMT_NAME=qemu-i386
WINE_BINFMT_ENTRY=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:FP'
WINE_ENV_BINFMT_DONE=""   # what wine_env_enable_i386 did: "", "enabled", "registered"; "+mounted"

wine_env_start() {
    export WINEPREFIX="$1"
    export WINELOADER="${WINELOADER:-$WINE_LOADER_64}"
    [ -x "$WINELOADER" ] || { echo "wine-env: no Wine loader at $WINELOADER" >&2; return 1; }
    export WINEDEBUG="${WINEDEBUG:--all}"
    # No Mono or Gecko prompts; and no debugger for a program that crashes, which
    # would wait, without a terminal, until the test's time ran out.
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
    mkdir -p "$WINEPREFIX"
    # Persistent until wine_env_stop; its own output (an object dump when it is
    # stopped) goes to a log beside the prefix, not into the test report.
    wineserver -p >>"$WINEPREFIX/wineserver.log" 2>&1 || return 1
    # The boot starts Wine's service processes (services.exe, and through it
    # winedevice.exe, plugplay.exe, svchost.exe), which live as long as the
    # wineserver. They get the boot's streams, a log: had a test started them
    # on demand, they would hold its output open long after it ended.
    # --foreground: a boot that runs out of time loses only wineboot itself,
    # not the services it started. wineboot's status says little where
    # programs run emulated: it reported "boot event wait timed out" and failed
    # for a prefix that became usable. The boot is bounded, and the prefix
    # judged by a program that runs in it and by the services being there.
    local boot_seconds="${WINE_BOOT_SECONDS:-300}" boot=0
    timeout --foreground -k 10 "$boot_seconds" "$WINELOADER" wineboot -i \
        </dev/null >>"$WINEPREFIX/wine-services.log" 2>&1 || boot=$?
    if ! wine_env_prefix_runs; then
        if ((boot == 124 || boot == 137)); then
            echo "wine-env: wineboot still ran after $boot_seconds s, and no program runs in $WINEPREFIX" >&2
        else
            echo "wine-env: no program runs in $WINEPREFIX (wineboot ended with status $boot)" >&2
        fi
        return 1
    fi
    wine_env_runs_in_prefix services.exe || {
        echo "wine-env: Wine's services.exe is not running in $WINEPREFIX after the boot (wineboot ended with status $boot)" >&2
        return 1
    }
    ((boot == 0)) || echo "wine-env: wineboot ended with status $boot, but programs run in $WINEPREFIX" >&2
    return 0
}

# True when a program runs in the prefix: cmd.exe says so, within
# WINE_RUN_SECONDS (default 300). Its output goes to a file, as a pipe would
# be held open by any service process it started (the boot's own ones are
# checked for next).
wine_env_prefix_runs() {
    local out="$WINEPREFIX/prefix-check.txt"
    rm -f "$out"
    timeout -k 10 "${WINE_RUN_SECONDS:-300}" "$WINELOADER" cmd /c echo prefix-runs >"$out" 2>/dev/null
    tr -d '\r' <"$out" 2>/dev/null | grep -qx prefix-runs
}

# A 32-bit prefix (it holds no 64-bit part) served by the 32-bit loader; where
# 32-bit programs cannot run yet, the emulator is registered until wine_env_stop.
wine_env_start32() {
    [ -x "$WINE_LOADER_32" ] ||
        { echo "wine-env: no 32-bit Wine at $WINE_LOADER_32 (scripts/install-deps.sh installs wine32:i386)" >&2; return 1; }
    wine_env_enable_i386 || return 1
    export WINEARCH=win32 WINELOADER="$WINE_LOADER_32"
    # Emulated, a fresh 32-bit prefix took 9 minutes to become usable.
    if wine_env_i386_emulated; then
        WINE_BOOT_SECONDS="${WINE_BOOT_SECONDS:-900}" WINE_RUN_SECONDS="${WINE_RUN_SECONDS:-600}" wine_env_start "$1"
    else
        wine_env_start "$1"
    fi
}

# True when 32-bit programs run, natively or through an emulator already registered.
wine_env_runs_i386() {
    "$WINE_LOADER_32" --version >/dev/null 2>&1
}

# True when 32-bit programs run through qemu-i386 (then each Wine process
# takes tens of seconds to start) rather than natively.
wine_env_i386_emulated() {
    grep -qx enabled "$WINE_BINFMT_DIR/$WINE_BINFMT_NAME" 2>/dev/null
}

# Makes 32-bit programs run: registers qemu-i386 with binfmt_misc (mounting it
# first if needed), or enables its entry if it is there but off. Says plainly
# why not where it cannot (not root, no binfmt_misc, no qemu-user).
wine_env_enable_i386() {
    wine_env_runs_i386 && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "wine-env: this machine runs no 32-bit programs, and registering qemu-i386 with binfmt_misc needs root" >&2
        return 1
    fi
    [ -x /usr/bin/qemu-i386 ] ||
        { echo "wine-env: this machine runs no 32-bit programs, and qemu-i386 is missing (package qemu-user)" >&2; return 1; }
    if [ ! -e "$WINE_BINFMT_DIR/register" ]; then
        mount -t binfmt_misc binfmt_misc "$WINE_BINFMT_DIR" 2>/dev/null ||
            { echo "wine-env: this machine runs no 32-bit programs, and binfmt_misc cannot be mounted at $WINE_BINFMT_DIR" >&2; return 1; }
        WINE_ENV_BINFMT_DONE="+mounted"
    fi
    if [ -e "$WINE_BINFMT_DIR/$WINE_BINFMT_NAME" ]; then
        echo 1 >"$WINE_BINFMT_DIR/$WINE_BINFMT_NAME" || { wine_env_disable_i386; return 1; }
        WINE_ENV_BINFMT_DONE="enabled$WINE_ENV_BINFMT_DONE"
    else
        printf '%s\n' "$WINE_BINFMT_ENTRY" >"$WINE_BINFMT_DIR/register" ||
            { echo "wine-env: binfmt_misc refused the qemu-i386 entry" >&2; wine_env_disable_i386; return 1; }
        WINE_ENV_BINFMT_DONE="registered$WINE_ENV_BINFMT_DONE"
    fi
    wine_env_runs_i386 && return 0
    echo "wine-env: 32-bit programs still do not run with qemu-i386 registered" >&2
    wine_env_disable_i386
    return 1
}

# Undoes what wine_env_enable_i386 did, and nothing else: fresh 64-bit prefixes
# take minutes instead of seconds while the entry is on (Wine then sets up
# their 32-bit part too, emulated).
wine_env_disable_i386() {
    local entry="$WINE_BINFMT_DIR/$WINE_BINFMT_NAME"
    case "$WINE_ENV_BINFMT_DONE" in
        enabled*) echo 0 >"$entry" ;;
        registered*) echo -1 >"$entry" ;;
    esac
    [[ $WINE_ENV_BINFMT_DONE == *+mounted ]] && umount "$WINE_BINFMT_DIR"
    WINE_ENV_BINFMT_DONE=""
    return 0
}

wine_env_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
    wine_env_disable_i386
    return 0
}

# True when a Wine process whose command line ends in COMMAND ("services.exe")
# runs for $WINEPREFIX.
wine_env_runs_in_prefix() {
    local pid
    for pid in $(pgrep -f "\\\\$1\$"); do
        grep -qxz "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && return 0
    done
    return 1
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
