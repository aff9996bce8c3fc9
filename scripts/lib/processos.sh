# Sourced by the scripts. encerra_processos PID...: ends processes this script started (TERM)
# and reaps them; an empty PID is skipped. Their exit status (143 after TERM) is theirs, not
# the script's: callers run under set -e, and a stop that did its work is a success.
encerra_processos() {
    local pid
    for pid in "$@"; do
        [[ -n $pid ]] || continue
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
