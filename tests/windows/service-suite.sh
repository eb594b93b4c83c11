#!/usr/bin/env bash
# Enlistor.exe and Brevant.exe against Wine's service control manager and registry.
#   service-suite.sh WIN64_OUT PREFIX
# PREFIX is made afresh. Wine's services live only as long as its wineserver: the prefix is
# prepared by a transient server, the suite runs under a persistent one. Wine processes
# write to files only, as services.exe keeps the output it inherited open.
set -uo pipefail

OUT="$(cd "$1" && pwd)"
export WINEPREFIX="$2"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="-all"
LOGS="$WINEPREFIX.logs"
HOME_DIR="$WINEPREFIX/drive_c/Brevant ISAPI"
WIN_HOME='C:\Brevant ISAPI'
SERVICES_KEY='HKLM\SYSTEM\CurrentControlSet\Services'
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok:   $*"; }

# Output (CRs removed) in $LOGS/out.txt, status in $status.
run() {
    status=0
    wine "$@" >"$LOGS/raw.txt" 2>&1 </dev/null || status=$?
    tr -d '\r' <"$LOGS/raw.txt" >"$LOGS/out.txt"
}

expect_output() {  # description, expected status, expected output
    if [[ $status -eq $2 ]] && diff -u <(printf '%s' "$3") "$LOGS/out.txt" >"$LOGS/diff.txt"; then
        pass "$1"
    else
        fail "$1 (status $status, expected $2)"
        cat "$LOGS/diff.txt"
    fi
}

# Enlistor.exe, or the copy ENLISTOR names.
expect_enlistor() {  # description, expected status, expected output, arguments...
    local description="$1" expected_status="$2" expected="$3"
    shift 3
    run "$WIN_HOME\\${ENLISTOR:-Enlistor.exe}" "$@"
    expect_output "$description" "$expected_status" "$expected"
}

enlist() {  # service name, start file, stop file
    expect_enlistor "service $1 created" 0 \
        "Successfully created the service($1) with the values: 
    name  = $1
    exe   = $WIN_HOME\\Brevant.exe
    start = $WIN_HOME\\$2
    stop  = $WIN_HOME\\$3
" -n "$1" -start "$2" -stop "$3"
}

# "STATE WIN32_EXIT_CODE SERVICE_EXIT_CODE" of a service.
service_state() {  # name
    run sc query "$1"
    awk '/STATE/ {s=$3} /WIN32_EXIT_CODE/ {w=$3} /SERVICE_EXIT_CODE/ {e=$3} END {print s, w, e}' \
        "$LOGS/out.txt"
}

# The state is the expected one within 20 s: net stop may return before the service has
# even seen the control, and a loaded machine makes Wine's services slow to report.
expect_state() {  # description, service, expected "STATE WIN32 SERVICE"
    local state tries=0
    while state="$(service_state "$2")" && [[ "$state" != "$3" ]] && ((++tries <= 40)); do
        sleep 0.5
    done
    if [[ "$state" == "$3" ]]; then
        pass "$1 ($state)"
    else
        fail "$1: sc query gives '$state', expected '$3'"
        cat "$LOGS/out.txt"
    fi
}

# A line of the file (by default the last command's output) matches.
expect_line() {  # description, [file], grep options and pattern
    local description="$1" file="$LOGS/out.txt"
    shift
    [[ $1 == -* ]] || { file="$1"; shift; }
    if grep -q "$@" "$file"; then
        pass "$description"
    else
        fail "$description"
        cat "$file"
    fi
}

finish() {
    wineserver -k >/dev/null 2>&1 </dev/null
    wineserver -w >/dev/null 2>&1 </dev/null
}

# ---- a fresh prefix, then the persistent server ------------------------------------------

[[ -d "$WINEPREFIX" ]] && finish
rm -rf "$WINEPREFIX" "$LOGS"
mkdir -p "$LOGS"
started=$SECONDS
wineboot -i >"$LOGS/wineboot.log" 2>&1 </dev/null
wineserver -w
mkdir -p "$HOME_DIR"
cp "$OUT/Enlistor.exe" "$OUT/Brevant.exe" "$OUT/tests/StopExit"*.exe "$HOME_DIR/"
cp "$OUT/Enlistor.exe" "$HOME_DIR/Installer.exe"
printf '@echo off\r\n' >"$HOME_DIR/StartBrevant.bat"
printf '@echo off\r\n' >"$HOME_DIR/StopBrevant.bat"
wineserver -p >"$LOGS/wineserver.log" 2>&1 </dev/null
trap finish EXIT
trap 'exit 1' TERM INT  # a ctest time-out still ends the server

# ---- Enlistor ----------------------------------------------------------------------------

# The first command starts services.exe, whose services write their debugger output (and
# only theirs is seen with +debugstr) to this command's standard error.
WINEDEBUG=-all,+debugstr wine "$WIN_HOME\\Enlistor.exe" >"$LOGS/first.txt" \
    2>"$LOGS/services-debug.txt" </dev/null
status=$?
tr -d '\r' <"$LOGS/first.txt" >"$LOGS/out.txt"
expect_output "defaults beside the program create the service Brevant" 0 \
    "Successfully created the service(Brevant) with the values: 
    name  = Brevant
    exe   = $WIN_HOME\\Brevant.exe
    start = $WIN_HOME\\StartBrevant.bat
    stop  = $WIN_HOME\\StopBrevant.bat
"

# Parameters hold the paths above: the services below run them.
run reg query "$SERVICES_KEY\\Brevant" /v ImagePath
expect_line "a program path with a blank is recorded in quotes" \
    -xF "    ImagePath    REG_SZ    \"$WIN_HOME\\Brevant.exe\""
run reg query "$SERVICES_KEY\\Brevant" /v Start
expect_line "started on demand" -E "Start +REG_DWORD +0x3$"

expect_enlistor "a second run leaves the service alone" 1 \
    "The service(Brevant) already exists!!!
"
# The rest of the text is checked byte for byte by tests/unit/native/installer.
run "$WIN_HOME\\Enlistor.exe" -?
for default in Brevant.exe StartBrevant.bat StopBrevant.bat; do
    expect_line "-? names the default $default" -F "(default=$default)"
done
not_found() {  # description, option, argument, the path shown
    expect_enlistor "$1" 1 "
Couldn't find the service's ${2#-} command file in location:

    $4
" -n Other "$2" "$3"
}
not_found "a relative start command lies below the program's folder" -start 'bin\go.bat' \
    "$WIN_HOME\\bin\\go.bat"
not_found "a share path is relative too" -start '\\server\go.bat' "$WIN_HOME\\\\\\server\\go.bat"
not_found "a path with a drive letter is used as it is" -stop 'C:\nowhere\Stop.bat' \
    'C:\nowhere\Stop.bat'
ENLISTOR=Installer.exe expect_enlistor "under another file name nothing is created" 1 "
Failed to get handle to Enlistor.exe, error = 126.
"

# ---- Brevant.exe under the service control manager ---------------------------------------

# One service per stop command, each with a start command to mark. The exit codes' meanings
# are tests/unit/native/ntservice's; -4 shows that all 32 bits arrive.
for code in 0 4; do
    cp "$OUT/tests/StartRecorder.exe" "$HOME_DIR/Start$code.exe"
    enlist "BrevantStop$code" "Start$code.exe" "StopExit$code.exe"
    run net start "BrevantStop$code"
    expect_state "net start BrevantStop$code runs" "BrevantStop$code" "4 0 0"
    for ((tries = 0; tries < 20; ++tries)); do
        [[ -f "$HOME_DIR/Start$code.exe.ran" ]] && break
        sleep 0.25
    done
    [[ -f "$HOME_DIR/Start$code.exe.ran" ]] && pass "the start command of BrevantStop$code ran" ||
        fail "the start command of BrevantStop$code did not run"
    run net stop "BrevantStop$code"
    after="1 0 0" && [[ $code == 4 ]] && after="4 1066 4294967292"  # -4 leaves it running
    expect_state "a stop command ending with -$code gives $after" "BrevantStop$code" "$after"
done

# Parameters without "Start": the registry's error code, file not found.
cp "$OUT/tests/StartRecorder.exe" "$HOME_DIR/StartNoValue.exe"
enlist BrevantNoStart StartNoValue.exe StopExit0.exe
run reg delete "$SERVICES_KEY\\BrevantNoStart\\Parameters" /v Start /f
run net start BrevantNoStart
expect_state "Parameters without Start give the stopped state" BrevantNoStart "1 2 0"

# A start file that is gone by the time the service starts: 1066 and -10.
cp "$OUT/tests/StartRecorder.exe" "$HOME_DIR/StartGone.exe"
enlist BrevantGone StartGone.exe StopExit0.exe
rm -f "$HOME_DIR/StartGone.exe"
run net start BrevantGone
expect_state "a start file that does not exist gives the stopped state" BrevantGone \
    "1 1066 4294967286"

expect_line "the service explains the stop command's -4 in the debugger output" \
    "$LOGS/services-debug.txt" -F '[BREVANT] Invalid admin username and password \n'

# From a prompt, outside the service control manager.
WINEDEBUG=-all,+debugstr wine "$WIN_HOME\\Brevant.exe" >"$LOGS/prompt.txt" 2>&1 </dev/null
expect_line "Brevant.exe from a prompt reports the dispatcher error 1063" "$LOGS/prompt.txt" \
    -F '[BREVANT] StartServiceCtrlDispatcher error = 1063 \n'

echo "service suite: $((SECONDS - started)) s, $failures failure(s); logs in $LOGS"
[[ $failures -eq 0 ]]
