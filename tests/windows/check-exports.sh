#!/usr/bin/env bash
# Each module exports exactly what its module-definition file names (i686: the names left
# of "=", decorated or not; x86_64: the undecorated internal names), and no module or
# program needs a runtime DLL of the compiler: every deliverable is one file.
# usage: check-exports.sh OBJDUMP BUILD_OUT_FOLDER
set -euo pipefail
objdump="$1"
out="$2"
status=0

expected_exports() {  # def file, format
    local def="$1" format="$2"
    sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | sed -e 's/;.*//' | while read -r line; do
        [[ -z "$line" ]] && continue
        if [[ "$format" == pei-i386 ]]; then
            echo "${line%%=*}" | tr -d ' \t'
        else
            echo "${line##*=}" | tr -d ' \t' | sed -e 's/@[0-9]*$//'
        fi
    done | sort
}

actual_exports() {  # dll
    "$objdump" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^\s*\[ *[0-9]*\] //p' | sort
}

while read -r dll def; do
    [[ -z "$dll" ]] && continue
    if [[ ! -f "$dll" ]]; then
        echo "missing module: $dll"; status=1; continue
    fi
    format="$("$objdump" -f "$dll" | sed -n 's/.*file format //p')"
    if ! diff <(expected_exports "$def" "$format") <(actual_exports "$dll") >/tmp/exports.$$; then
        echo "exports of $(basename "$dll") ($format) differ from $(basename "$def") (< expected, > found):"
        cat /tmp/exports.$$
        status=1
    else
        echo "ok: $(basename "$dll") ($format) exports $(actual_exports "$dll" | tr '\n' ' ')"
    fi
    rm -f /tmp/exports.$$
done <"$out/exports.manifest"

while IFS= read -r -d '' file; do
    runtime="$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p' |
               grep -iE '^(libgcc|libstdc\+\+|libwinpthread)' || true)"
    if [[ -n "$runtime" ]]; then
        echo "$(basename "$file") needs runtime DLLs: $runtime"
        status=1
    fi
done < <(find "$out" -name '*.dll' -print0 -o -name '*.exe' -print0)

exit $status
