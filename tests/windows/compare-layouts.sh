#!/usr/bin/env bash
# usage: compare-layouts.sh LINUX_PROBE WINDOWS_PROBE.exe (the layout probe's two builds)
set -euo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
linux="$("$1")"
windows="$("$here/wine-env.sh" run "$2" | tr -d '\r')"
if diff <(echo "$linux") <(echo "$windows"); then
    echo "stand-in and Windows agree on $(echo "$linux" | wc -l) sizes, offsets and constants"
else
    echo "(< stand-in, > Windows)"
    exit 1
fi
