#!/usr/bin/env bash
# Runs Windows test programs under Wine in the project's prefix (build/wine), made on first
# use and kept warm by a persistent wineserver.
#   wine-env.sh run PROGRAM.exe [ARGS...]   run it; its exit code is ours
#   wine-env.sh stop                        end the prefix's wineserver
# Output goes to a file, never a pipe: services.exe would inherit a pipe and keep it open.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEPREFIX="${BREVANT_WINEPREFIX:-$ROOT/build/wine}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
LOGS="$WINEPREFIX.logs"

start_prefix() {
    mkdir -p "$LOGS"
    exec 9>"$LOGS/lock"
    flock 9  # one starter at a time; ctest runs tests in parallel
    if [[ ! -d "$WINEPREFIX/drive_c" ]]; then
        wineboot --init >"$LOGS/wineboot-init.log" 2>&1 </dev/null 9>&- || true
    fi
    wineserver -p >>"$LOGS/wineserver.log" 2>&1 </dev/null 9>&- || true  # fails when already up
    flock -u 9
}

case "${1:-}" in
    run)
        shift
        [[ $# -ge 1 ]] || { echo "usage: $0 run PROGRAM.exe [ARGS...]" >&2; exit 2; }
        start_prefix
        output="$(mktemp "$LOGS/run.XXXXXX")"
        status=0
        wine "$@" >"$output" 2>&1 </dev/null 9>&- || status=$?
        cat "$output"
        rm -f "$output"
        exit $status
        ;;
    stop)
        if [[ -d "$WINEPREFIX" ]]; then
            wineserver -k >/dev/null 2>&1 </dev/null || true
        fi
        ;;
    *)
        echo "usage: $0 run PROGRAM.exe [ARGS...] | stop" >&2
        exit 2
        ;;
esac
