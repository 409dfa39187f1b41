# What the test, benchmark and demo scripts share. Source it; it defines:
#   fail MESSAGE...         ends the run as failed, with the run's logs
#   skip MESSAGE...         ends the run as skipped, in ctest's convention
#   need_root WHY [STATUS]  ends the run unless it runs as root
#   script_deadline SECONDS bounds the whole run, so its clean-up still runs

# Exit status 77 is what the tests' SKIP_RETURN_CODE tells ctest means "skipped".
SCRIPT_SKIPPED=77

# fail MESSAGE...: prints "FAILED: MESSAGE", then every log of the run ($work/*.log;
# the last $FAIL_LOG_LINES lines of each when that is set), then whatever the
# script's own fail_details function prints, if it has one; exit status 1.
fail() {
    echo "FAILED: $*"
    local log
    for log in "${work:-/nonexistent}"/*.log; do
        [ -f "$log" ] || continue
        echo "--- $(basename "$log") ---"
        if [ -n "${FAIL_LOG_LINES:-}" ]; then
            tail -n "$FAIL_LOG_LINES" "$log"
        else
            cat "$log"
        fi
    done
    if declare -F fail_details >/dev/null; then
        fail_details
    fi
    exit 1
}

# skip MESSAGE...: prints "SKIPPED: MESSAGE"; exit status 77.
skip() {
    echo "SKIPPED: $*"
    exit "$SCRIPT_SKIPPED"
}

# need_root WHY [STATUS]: returns when run as root. Otherwise a test is skipped
# (skip WHY); with STATUS, a tool prints WHY on standard error and exits with STATUS.
need_root() {
    [ "$(id -u)" -eq 0 ] && return 0
    if [ -n "${2:-}" ]; then
        echo "$1" >&2
        exit "$2"
    fi
    skip "$1"
}

# script_deadline SECONDS: after SECONDS the run is stopped as failed: the script
# and then its children (the step it waits for) get TERM, which this sets to exit
# with 130 through the script's EXIT trap, so its clean-up runs. Keep it well
# inside ctest's TIMEOUT, which kills without any clean-up. The watchdog ends by
# itself within a second of the script.
script_deadline() {
    local seconds="$1" script=$$
    trap 'exit 130' INT TERM
    (
        for ((left = seconds; left > 0; left--)); do
            sleep 1
            kill -0 "$script" 2>/dev/null || exit 0
        done
        echo "FAILED: still running after $seconds s; stopping it"
        kill -TERM "$script" 2>/dev/null
        for child in $(ps -o pid= --ppid "$script"); do
            [ "$child" -eq "$BASHPID" ] || kill -TERM "$child" 2>/dev/null
        done
    ) &
}
