#!/usr/bin/env bash
# Runs one Windows program under Wine. The cross builds' emulator (the
# toolchains point CMAKE_CROSSCOMPILING_EMULATOR at a copy in the build that
# names the loader and the build's retry log), and what the Wine test scripts
# start the build's programs with (FIELDKIT_WINE_RUN).
#   wine-run.sh --loader LOADER --log RETRY-LOG PROGRAM [ARGUMENT...]
# Wine now and then ends a process at start without running its program: it
# fails within about a second having printed nothing (a test program has not
# printed its first line). That outcome, and only that, is run once more, and
# the rerun is appended to RETRY-LOG. Every other outcome is the program's own
# and is passed on as it is. Standard input and output stay the caller's:
# output to a file is judged by the file's growth, output to a pipe by the
# relay that passes it on (scripts/wine-output-relay.pl), which ends when the
# program has ended, even where a process the program started still holds its
# end; output to anything else (a terminal, /dev/null, /dev/full, a closed
# descriptor) cannot be seen, and a run whose output nobody can see is never
# run again.
set -u
loader="" log=""
while (($#)); do
    case "$1" in
        --loader) loader="$2"; shift 2 ;;
        --log) log="$2"; shift 2 ;;
        --) shift; break ;;
        *) break ;;
    esac
done
if [ -z "$loader" ] || [ -z "$log" ] || (($# == 0)); then
    echo "usage: wine-run.sh --loader LOADER --log RETRY-LOG PROGRAM [ARGUMENT...]" >&2
    exit 2
fi
# Wine starts a program's own child processes with the loader it names.
export WINELOADER="$loader"
# How soon a failure counts as Wine's own start failure, in milliseconds.
start_failure_ms="${FIELDKIT_WINE_START_FAILURE_MS:-1000}"

# A descriptor the caller closed stays closed for the program; until then it
# holds /dev/null, so that no pipe of the wrapper's own lands on it.
closed=()
for fd in 0 1 2; do
    [ -e "/proc/$$/fd/$fd" ] && continue
    closed+=("$fd")
    eval "exec $fd<>/dev/null"
done

relay="$(dirname "$0")/wine-output-relay.pl"
work="$(mktemp -d)"
child=""
trap 'rm -rf "$work"' EXIT
# Non-interactive shells start background commands ignoring SIGINT: the program
# is asked to end with TERM whatever the wrapper got.
trap '[ -n "$child" ] && kill -TERM "$child" 2>/dev/null' INT TERM HUP

close_fd() {
    local fd
    for fd; do eval "exec $fd>&-"; done
}

now_ms() { local t="$EPOCHREALTIME"; echo $((${t/[.,]/} / 1000)); }

# One attempt. Sets status, elapsed_ms and printed (yes, no, or unknown).
attempt() {
    local fd kind target seen_any="" printed_any="" size_before=() relay_of=() controls=() out=()
    local stdin control feed
    # Background commands get /dev/null for input unless told otherwise.
    exec {stdin}<&0
    for fd in 1 2; do
        target="$(readlink "/proc/$$/fd/$fd" 2>/dev/null)" || target=""
        [[ " ${closed[*]} " == *" $fd "* ]] && target=""
        kind=other
        if [[ $target == pipe:* ]]; then
            kind=pipe
        elif [ -n "$target" ] && [ -f "/proc/$$/fd/$fd" ]; then
            kind="file"
        fi
        out[fd]=$fd
        case "$kind" in
            file)
                size_before[fd]="$(stat -L -c %s "/proc/$$/fd/$fd")"
                seen_any=1
                ;;
            pipe)
                seen_any=1
                if ((fd == 2)) && [ "$target" = "$(readlink "/proc/$$/fd/1")" ]; then
                    out[2]=${out[1]}    # one pipe for both: one copy keeps their order
                    continue
                fi
                mkfifo "$work/fifo$fd"
                # The relay's standard input reaches its end when the wrapper
                # closes it: the program has ended.
                exec {control}> >(close_fd "${controls[@]}"
                                  exec perl "$relay" "$work/fifo$fd" >&"$fd")
                relay_of[fd]=$!
                controls+=("$control")
                exec {feed}>"$work/fifo$fd"
                out[fd]=$feed
                ;;
        esac
    done
    local started
    started="$(now_ms)"
    (
        # The program gets the caller's descriptors (a closed one stays closed)
        # and no others: a relay's control that it held open would outlive it.
        exec 0<&"$stdin" {stdin}<&-
        ((out[1] != 1)) && exec 1>&"${out[1]}"
        ((out[2] != 2)) && exec 2>&"${out[2]}"
        ((out[1] != 1)) && close_fd "${out[1]}"
        ((out[2] != 2 && out[2] != out[1])) && close_fd "${out[2]}"
        close_fd "${controls[@]}" "${closed[@]}"
        exec "$loader" "$@"
    ) &
    child=$!
    while :; do
        wait "$child"
        status=$?
        kill -0 "$child" 2>/dev/null || break
    done
    child=""
    elapsed_ms=$(($(now_ms) - started))
    # The program has ended: the relays pass on what their FIFOs still hold and end.
    ((out[1] != 1)) && close_fd "${out[1]}"
    ((out[2] != 2 && out[2] != out[1])) && close_fd "${out[2]}"
    exec {stdin}<&-
    close_fd "${controls[@]}"
    for fd in 1 2; do
        if [ -n "${relay_of[fd]:-}" ]; then
            wait "${relay_of[fd]}" && printed_any=1    # 0: it passed something on
        elif [ -n "${size_before[fd]:-}" ]; then
            [ "$(stat -L -c %s "/proc/$$/fd/$fd")" != "${size_before[fd]}" ] && printed_any=1
        fi
    done
    rm -f "$work"/fifo*
    if [ -n "$printed_any" ]; then
        printed=yes
    elif [ -n "$seen_any" ]; then
        printed=no
    else
        printed=unknown
    fi
}

attempt "$@"
if ((status != 0 && elapsed_ms < start_failure_ms)) && [ "$printed" = no ]; then
    printf '%s status %d after %d ms, nothing printed; run again: %s\n' \
        "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$status" "$elapsed_ms" "$*" >>"$log"
    attempt "$@"
fi
exit "$status"
