#!/usr/bin/env bash
# End-to-end load test of the x64 kernel driver on Wine.
#
#   run_wine_driver_test.sh <x64 vexlor.sys> <lookup_dos_device.exe> <device_session.exe>
#
# In a fresh 64-bit Wine prefix: install the image as a kernel service
# (demand start, Parameters\Lpt = 1), start it with Wine's own net.exe, see
# from a Win32 program that the DOS name "Vexlor" now maps to
# "\Device\Vexlor0" (DriverEntry ran), run one application session on the
# device (open, version 2.4, no-op, an unserved code failing with error 1,
# close), stop the service, and see that the name is gone (the unload routine
# ran). Wine has no parallel-port driver and no port I/O: the open falls back
# to raw access, and no request that reaches the port is ever sent.
#
# Exit 0 when every step passed, 1 otherwise. Every Wine process of the
# prefix is ended on every exit path, and every wait is bounded.

set -u

readonly BOOT_TIMEOUT=180   # wineboot -i of a new prefix takes 5-12 s here
readonly STEP_TIMEOUT=60    # each wine command takes well under a second
readonly SERVER_TIMEOUT=30
# Seconds the wineserver stays up once no program of ours runs. It keeps
# services.exe and the driver host alive between our commands, and ends
# them by itself should this script be killed before its cleanup.
readonly SERVER_LINGER=30

readonly SERVICE=vexlor
readonly SERVICE_KEY='HKLM\System\CurrentControlSet\Services\vexlor'
readonly IMAGE_PATH='\SystemRoot\system32\drivers\vexlor.sys'
readonly DOS_NAME=Vexlor
readonly DEVICE_NAME='\Device\Vexlor0'

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

now_ms() { date +%s%3N; }

if [[ $# -ne 3 ]]; then
    echo "usage: $0 <x64 vexlor.sys> <lookup_dos_device.exe> <device_session.exe>" >&2
    exit 1
fi
driver_image=$(realpath -e -- "$1") || fail "driver image not found: $1"
lookup_exe=$(realpath -e -- "$2") || fail "lookup program not found: $2"
session_exe=$(realpath -e -- "$3") || fail "session program not found: $3"

for tool in wine wineboot wineserver timeout; do
    command -v "$tool" >/dev/null || fail "$tool not found (install Debian's wine and wine64)"
done

work_dir=$(mktemp -d "${TMPDIR:-/tmp}/vexlor-wine.XXXXXX") || fail "mktemp failed"
export WINEPREFIX="$work_dir/prefix"
# The wineserver keeps its socket and lock in a directory under TMPDIR and
# leaves it there; keep it inside the work directory.
export TMPDIR="$work_dir/tmp"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono/Gecko installers, no menu entries written outside the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Nothing here needs a window; keep Wine off any X or Wayland display.
unset DISPLAY WAYLAND_DISPLAY

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    if [[ -d "$WINEPREFIX" ]]; then
        timeout "$SERVER_TIMEOUT" wineserver -k >/dev/null 2>&1
        if ! timeout "$SERVER_TIMEOUT" wineserver -w >/dev/null 2>&1; then
            echo "WARNING: wineserver of $WINEPREFIX did not end within ${SERVER_TIMEOUT}s" >&2
            status=1
        fi
    fi
    rm -rf -- "$work_dir"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
mkdir "$TMPDIR" || fail "cannot create $TMPDIR"

# run_step DESCRIPTION TIMEOUT COMMAND...: runs COMMAND with its output in a
# log; on failure or time-out, shows the log and fails the test.
step_log="$work_dir/step.log"
run_step() {
    local description=$1 limit=$2
    shift 2
    echo "-- $description"
    timeout --kill-after=5 "$limit" "$@" >"$step_log" 2>&1
    local rc=$?
    if [[ $rc -ne 0 ]]; then
        sed 's/^/   | /' "$step_log" >&2
        if [[ $rc -eq 124 || $rc -eq 137 ]]; then
            fail "$description: no answer within ${limit}s"
        fi
        fail "$description: exit code $rc"
    fi
    sed 's/^/   | /' "$step_log"
}

test_start=$(now_ms)

boot_start=$(now_ms)
run_step "wineboot -i of a new prefix" "$BOOT_TIMEOUT" wineboot -i
boot_ms=$(($(now_ms) - boot_start))
echo "   wineboot: ${boot_ms} ms"

# After wineboot -i two services.exe run, and a service created then cannot
# be started ("Could not get handle to service"). One restart of the server
# leaves a single services.exe; keep that server up between commands.
echo "-- restart the wineserver"
# -k answers 1 when the server is already on its way out; -w tells.
timeout "$SERVER_TIMEOUT" wineserver -k >/dev/null 2>&1
run_step "wait for the wineserver to end" "$SERVER_TIMEOUT" wineserver -w
run_step "start a persistent wineserver" "$SERVER_TIMEOUT" wineserver "-p$SERVER_LINGER"

drivers_dir="$WINEPREFIX/drive_c/windows/system32/drivers"
[[ -d "$drivers_dir" ]] || fail "prefix has no $drivers_dir"
cp -- "$driver_image" "$drivers_dir/vexlor.sys" || fail "cannot copy the driver image"

# Through the service control manager, so that the running services.exe
# knows the service: type 1 (kernel driver), start 3 (demand), error
# control 1 (normal).
run_step "register the kernel service" "$STEP_TIMEOUT" \
    wine sc create "$SERVICE" type= kernel start= demand error= normal binPath= "$IMAGE_PATH"
run_step "set Parameters\\Lpt = 1" "$STEP_TIMEOUT" \
    wine reg add "$SERVICE_KEY\\Parameters" /v Lpt /t REG_DWORD /d 1 /f

run_step "read back the service key" "$STEP_TIMEOUT" wine reg query "$SERVICE_KEY" /s
service_dump=$(tr -d '\r' <"$step_log")
expect_value() {
    local name=$1 type=$2 data=$3
    grep -qE "^ +$name +$type +$(printf '%s' "$data" | sed 's/[\\.]/\\&/g')\$" <<<"$service_dump" ||
        fail "service key: expected $name $type $data"
}
expect_value Type REG_DWORD 0x1
expect_value Start REG_DWORD 0x3
expect_value ErrorControl REG_DWORD 0x1
expect_value ImagePath 'REG_(EXPAND_)?SZ' "$IMAGE_PATH"
expect_value Lpt REG_DWORD 0x1

run_step "$DOS_NAME is not mapped before the load" "$STEP_TIMEOUT" \
    wine "$lookup_exe" "$DOS_NAME" --absent
run_step "start the service (DriverEntry)" "$STEP_TIMEOUT" wine net start "$SERVICE"
run_step "$DOS_NAME maps to $DEVICE_NAME" "$STEP_TIMEOUT" \
    wine "$lookup_exe" "$DOS_NAME" "$DEVICE_NAME"
run_step "open, version, no-op, unserved code, close" "$STEP_TIMEOUT" wine "$session_exe"
run_step "stop the service (unload)" "$STEP_TIMEOUT" wine net stop "$SERVICE"
run_step "$DOS_NAME is gone after the unload" "$STEP_TIMEOUT" \
    wine "$lookup_exe" "$DOS_NAME" --absent

echo "PASS: driver loaded, opened, queried and unloaded on Wine (wineboot ${boot_ms} ms, test $(($(now_ms) - test_start)) ms)"
