#!/usr/bin/env bash
# Instructions per request of every connector_bench case, counted by callgrind: unlike the
# timings, the counts repeat whatever else the machine is doing.
#
#   bench/micro/count_instructions.sh [--fakes] BINARY [N]
#
# Runs `BINARY --instructions CASE N` under callgrind for each case that `BINARY --list-cases`
# names. Callgrind collects only inside brevant_bench_measure, which runs the N iterations,
# and not inside brevant_bench_unmeasured, the preparation some cases need before each
# iteration. Prints a markdown table of the collected total divided by N (default 1000).
# Cases that start a VM (`BINARY --list-vm-cases`) are counted too, with a note: their
# counts vary by a few per cent between runs and with N, as HotSpot compiles in the
# background.
#
# The fake control blocks' callbacks, which stand in for the web server's work, are part of
# the count. --fakes adds a column with their share per request: callgrind collects only
# inside the callbacks, for N and for 2N iterations, and the difference leaves out what
# setup and warm-up spent there; a last column gives what remains, the connector's own.
set -euo pipefail

usage() {
    echo "usage: $0 [--fakes] BINARY [N]" >&2
    exit 2
}

# The services the fakes offer through the control blocks; none calls another.
fake_callbacks=(
    FakeFilterContext::getHeader FakeFilterContext::setHeader FakeFilterContext::addHeader
    FakeFilterContext::getServerVariable FakeFilterContext::writeClient
    FakeFilterContext::allocMem FakeFilterContext::serverSupportFunction
    FakeEcb::getServerVariable FakeEcb::writeClient FakeEcb::readClient
    FakeEcb::serverSupportFunction
)

split_fakes=false
if [[ ${1:-} == --fakes ]]; then
    split_fakes=true
    shift
fi
[[ $# -ge 1 && $# -le 2 ]] || usage
binary=$1
iterations=${2:-1000}
[[ $iterations =~ ^[1-9][0-9]*$ ]] || usage
[[ -x $binary ]] || { echo "$0: $binary is not an executable" >&2; exit 2; }
valgrind=$(command -v valgrind) || { echo "$0: valgrind is not installed" >&2; exit 2; }

# The instructions collected for case $1 in $2 iterations, callgrind's toggles following;
# the case's own complaints go to stderr. The environment is always the same: its size moves
# the program's first heap blocks, and the string functions' paths change with the alignment.
collected() {
    local name=$1 count=$2 output
    shift 2
    if ! output=$(env -i PATH=/usr/bin:/bin "$valgrind" --tool=callgrind \
        --callgrind-out-file=/dev/null "$@" "$binary" --instructions "$name" "$count" \
        2>&1 >/dev/null); then
        echo "$output" >&2
        echo "$0: $name failed under callgrind" >&2
        return 1
    fi
    grep '^connector_bench:' <<<"$output" >&2 || true
    sed -n 's/^==[0-9]*== Collected : \([0-9]*\)$/\1/p' <<<"$output"
}

mapfile -t cases < <("$binary" --list-cases)
[[ ${#cases[@]} -gt 0 ]] || { echo "$0: $binary lists no cases" >&2; exit 1; }
vm_cases=$("$binary" --list-vm-cases)

measured=(--toggle-collect=brevant_bench_measure --toggle-collect=brevant_bench_unmeasured)
in_fakes=()
for callback in "${fake_callbacks[@]}"; do
    in_fakes+=("--toggle-collect=testsupport::$callback(*")
done

# Count $1 per request, rounded; with the note when $2 names a case that starts a VM.
per_request() {
    local count=$((($1 + iterations / 2) / iterations))
    if [[ -n ${2:-} ]] && grep -qxF -- "$2" <<<"$vm_cases"; then
        echo "$count (JVM: varies by a few %)"
    else
        echo "$count"
    fi
}

if $split_fakes; then
    echo "| case | instructions per request | of which in the fakes | the connector's own |"
    echo "|---|---:|---:|---:|"
else
    echo "| case | instructions per request |"
    echo "|---|---:|"
fi
for name in "${cases[@]}"; do
    total=$(collected "$name" "$iterations" "${measured[@]}")
    [[ -n $total ]] || { echo "$0: callgrind reported no count for $name" >&2; exit 1; }
    if $split_fakes; then
        once=$(collected "$name" "$iterations" "${in_fakes[@]}")
        twice=$(collected "$name" $((2 * iterations)) "${in_fakes[@]}")
        fakes=$((twice - once))
        echo "| $name | $(per_request "$total" "$name") | $(per_request "$fakes") |" \
            "$(per_request $((total - fakes)) "$name") |"
    else
        echo "| $name | $(per_request "$total" "$name") |"
    fi
done
