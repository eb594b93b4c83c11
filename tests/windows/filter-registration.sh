#!/usr/bin/env bash
# Filter registration under Wine, where no IIS admin base exists: configure and unconfigure
# answer FALSE (exit 1) after the module's debugger output. The command line's other
# answers are checked on Linux by tests/integration/filter_registration_test.cpp.
# usage: filter-registration.sh BUILD_OUT_FOLDER (of the x86_64 build)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
status=0

# Z: is the root of the Linux file system in a Wine prefix.
dll="Z:$(printf '%s' "$out/Brevant_ISAPI.dll" | tr / '\\')"

fail() {
    echo "FAILED: $*"
    status=1
}

run() {  # arguments of filterctl.exe; sets `output` and `code`
    code=0
    output="$(WINEDEBUG=-all,+debugstr "$here/wine-env.sh" run "$out/filterctl.exe" "$@")" ||
        code=$?
}

for command in configure unconfigure; do
    run "$command" "$dll"
    echo "$output"
    [[ $code -eq 1 ]] || fail "filterctl.exe $command exited with $code, not 1"
    expected="$(printf '%s\n' \
        'OutputDebugStringA "Brevant"' \
        'OutputDebugStringA ": Path to filter = "' \
        "OutputDebugStringA \"${dll//\\/\\\\}\"" \
        'OutputDebugStringA ".\n"' \
        'OutputDebugStringA "Brevant: CoCreateInstance failed = 80040154 \n"')"
    seen="$(grep -o 'OutputDebugStringA ".*' <<<"$output" || true)"
    [[ "$seen" == "$expected" ]] ||
        fail "filterctl.exe $command: debugger output differs; expected:"$'\n'"$expected"
    [[ "$output" == *"answered FALSE"* ]] || fail "filterctl.exe $command: no FALSE reported"
done

exit $status
