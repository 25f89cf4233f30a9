#!/usr/bin/env bash
# The installer of the x64 package on Wine.
#
#   run_wine_setup_test.sh <package dir> <record_command_line.exe>
#                          <read_message_box.exe> <version_stand_in.sys> <screenshot dir>
#
# Runs the real setup.exe from a copy of the package folder (C:\pkg) in a
# 64-bit Wine prefix on a virtual X display (Xvfb), with Wine's Windows
# version set to win95, nt40 or win2k.  Each message box is found by its
# caption (xdotool), its text and buttons are read from the box's window by
# read_message_box.exe (a Win32 program in the same prefix: the dialog's
# static control 0xFFFF and its button controls), and it is answered with
# a key (y, n, Return) as a user would.  regini.exe and install.exe are
# stand-ins that record their command line.  When a check fails, a PNG of
# the screen is kept in the screenshot directory.
#
# One prefix serves every case: wineboot is what costs time, and a case
# leaves nothing behind that the next one reads.  Before each case the
# package copy, the driver file in system32\drivers and the stand-ins'
# records are removed, the Windows version is set, and no driver service
# runs; each case checks exactly the files it expects.
#
# Exit 0 when every case passed, 1 otherwise.  Every Wine process and the
# X server are ended on every exit path, and every wait is bounded.

set -u

readonly BOOT_TIMEOUT=180
readonly STEP_TIMEOUT=60
readonly SERVER_TIMEOUT=30
readonly SERVER_LINGER=30
readonly BOX_TIMEOUT=30     # for a box to appear or go; they take about a second
readonly SETUP_TIMEOUT=60   # for setup.exe to end after its last box
readonly RECORD_TIMEOUT=30  # for a started stand-in to write its record

readonly SERVICE_KEY='HKLM\System\CurrentControlSet\Services'
readonly CAPTIONS='^(Confirmation|Warning|Error|Information)$'

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

now_ms() { date +%s%3N; }

if [[ $# -ne 5 ]]; then
    echo "usage: $0 <package dir> <record_command_line.exe> <read_message_box.exe>" \
        "<version_stand_in.sys> <screenshot dir>" >&2
    exit 1
fi
package_dir=$(realpath -e -- "$1") || fail "package folder not found: $1"
recorder_exe=$(realpath -e -- "$2") || fail "recorder not found: $2"
reader_exe=$(realpath -e -- "$3") || fail "message box reader not found: $3"
stand_in_sys=$(realpath -e -- "$4") || fail "stand-in driver not found: $4"
screenshot_dir=$(realpath -m -- "$5")
converter="$(dirname "$(realpath -e -- "$0")")/xwd_to_png.py"
for file in setup.exe vexlor.sys reg.ini vexlor.inf; do
    [[ -f "$package_dir/$file" ]] || fail "package has no $file"
done

for tool in wine wineboot wineserver timeout Xvfb xdotool python3; do
    command -v "$tool" >/dev/null || fail "$tool not found (scripts/install-deps.sh windows)"
done

work_dir=$(mktemp -d "${TMPDIR:-/tmp}/vexlor-wine-setup.XXXXXX") || fail "mktemp failed"
export WINEPREFIX="$work_dir/prefix"
export TMPDIR="$work_dir/tmp"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WAYLAND_DISPLAY

xvfb_pid=""
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
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf -- "$work_dir"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
mkdir "$TMPDIR" "$work_dir/screen" || fail "cannot create the work directories"

# A display of our own: Xvfb picks a free number and writes it to fd 3;
# -fbdir keeps the screen as an XWD file for the screenshots.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -fbdir "$work_dir/screen" \
    >"$work_dir/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
read -r -t 30 display <&3 || fail "Xvfb did not start: $(cat "$work_dir/xvfb.log")"
exec 3<&-
export DISPLAY=":$display"

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
}

test_start=$(now_ms)
boot_start=$(now_ms)
run_step "wineboot -i of a new prefix" "$BOOT_TIMEOUT" wineboot -i
boot_ms=$(($(now_ms) - boot_start))
echo "   wineboot: ${boot_ms} ms"
# One services.exe after a restart of the server (see run_wine_driver_test.sh).
timeout "$SERVER_TIMEOUT" wineserver -k >/dev/null 2>&1
run_step "wait for the wineserver to end" "$SERVER_TIMEOUT" wineserver -w
run_step "start a persistent wineserver" "$SERVER_TIMEOUT" wineserver "-p$SERVER_LINGER"

drive_c="$WINEPREFIX/drive_c"
drivers_dir="$drive_c/windows/system32/drivers"
pkg="$drive_c/pkg"
tools_dir="$drive_c/vexlor-test"
[[ -d "$drivers_dir" ]] || fail "prefix has no $drivers_dir"
mkdir -p "$tools_dir" || fail "cannot create $tools_dir"
cp -- "$reader_exe" "$tools_dir/read_message_box.exe" || fail "cannot copy the reader"
# The running drivers: the package's own and the stand-in, as two services
# that create the same device; one at most runs at a time.
cp -- "$package_dir/vexlor.sys" "$drivers_dir/vexlor_running.sys" || fail "cannot copy vexlor.sys"
cp -- "$stand_in_sys" "$drivers_dir/version_stand_in.sys" || fail "cannot copy the stand-in"
run_step "register the package's driver as a service" "$STEP_TIMEOUT" \
    wine sc create vexlor type= kernel start= demand error= normal \
    binPath= '\SystemRoot\system32\drivers\vexlor_running.sys'
run_step "set its Parameters\\Lpt = 1" "$STEP_TIMEOUT" \
    wine reg add "$SERVICE_KEY\\vexlor\\Parameters" /v Lpt /t REG_DWORD /d 1 /f
run_step "register the stand-in driver as a service" "$STEP_TIMEOUT" \
    wine sc create vexlor_standin type= kernel start= demand error= normal \
    binPath= '\SystemRoot\system32\drivers\version_stand_in.sys'
for value in "VersionMajor 3" "VersionMinor 1"; do
    set -- $value
    run_step "stand-in Parameters\\$1 = $2" "$STEP_TIMEOUT" \
        wine reg add "$SERVICE_KEY\\vexlor_standin\\Parameters" /v "$1" /t REG_DWORD /d "$2" /f
done

case_name=""
shot_count=0
case_fail() {
    mkdir -p "$screenshot_dir"
    shot_count=$((shot_count + 1))
    local shot="$screenshot_dir/${case_name// /_}-$shot_count.png"
    if python3 "$converter" "$work_dir/screen/Xvfb_screen0" "$shot" 2>/dev/null; then
        echo "   screenshot: $shot" >&2
    fi
    fail "[$case_name] $*"
}

# The X window of a visible box with this caption, or nothing.
box_window() { timeout 10 xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }

wait_for_box() {
    local caption=$1 deadline=$(($(now_ms) + BOX_TIMEOUT * 1000)) window
    while (($(now_ms) < deadline)); do
        window=$(box_window "$caption")
        if [[ -n "$window" ]]; then
            echo "$window"
            return 0
        fi
        kill -0 "$setup_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# answer CAPTION BUTTONS TEXT KEY: the next box has this caption, buttons
# and text (CR and LF written \r and \n); press KEY on it.
answer() {
    local caption=$1 buttons=$2 text=$3 key=$4 window reply
    window=$(wait_for_box "$caption") || case_fail "no \"$caption\" box (expected: $text)"
    reply=$(timeout "$STEP_TIMEOUT" wine "$tools_dir/read_message_box.exe" "$caption" | tr -d '\r')
    local want
    want=$(printf 'buttons: %s\ntext: %s' "$buttons" "$text")
    if [[ "$reply" != "$want" ]]; then
        printf '   expected:\n%s\n   read from the window:\n%s\n' "$want" "$reply" >&2
        case_fail "the \"$caption\" box differs"
    fi
    echo "   box \"$caption\": $text -> $key"
    timeout "$BOX_TIMEOUT" xdotool windowfocus --sync "$window" key "$key" ||
        case_fail "cannot press $key on the \"$caption\" box"
    local deadline=$(($(now_ms) + BOX_TIMEOUT * 1000))
    while timeout 10 xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null |
        grep -qx "$window"; do
        (($(now_ms) < deadline)) || case_fail "the \"$caption\" box stays after $key"
        sleep 0.1
    done
}

# Starts setup.exe from the package copy, under Wine's version $1.
start_setup() {
    local version=$1
    timeout "$STEP_TIMEOUT" wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f \
        >/dev/null 2>&1 || case_fail "cannot set the Windows version $version"
    (cd "$pkg" && exec timeout --kill-after=5 "$((SETUP_TIMEOUT + 4 * BOX_TIMEOUT))" \
        wine setup.exe >"$work_dir/setup.log" 2>&1) &
    setup_pid=$!
}

# setup.exe ends with exit code 0 and shows no further box.
expect_setup_end() {
    local deadline=$(($(now_ms) + SETUP_TIMEOUT * 1000)) window
    while kill -0 "$setup_pid" 2>/dev/null; do
        window=$(timeout 10 xdotool search --onlyvisible --name "$CAPTIONS" 2>/dev/null | head -n 1)
        if [[ -n "$window" ]]; then
            case_fail "unexpected box \"$(timeout 10 xdotool getwindowname "$window")\""
        fi
        (($(now_ms) < deadline)) || case_fail "setup.exe did not end"
        sleep 0.1
    done
    wait "$setup_pid"
    local rc=$?
    [[ $rc -eq 0 ]] || case_fail "setup.exe ended with exit code $rc"
}

# The record of a started stand-in: its three lines, once written.
wait_for_record() {
    local record="$pkg/$1.txt" deadline=$(($(now_ms) + RECORD_TIMEOUT * 1000))
    while [[ ! -f "$record" ]]; do
        (($(now_ms) < deadline)) || case_fail "$1.exe was not started"
        sleep 0.1
    done
    tr -d '\r' <"$record"
}

expect_no_record() {
    [[ ! -e "$pkg/$1.txt" ]] || case_fail "$1.exe was started: $(head -n 1 "$pkg/$1.txt")"
}

expect_driver_copied() {
    cmp -s "$package_dir/vexlor.sys" "$drivers_dir/vexlor.sys" ||
        case_fail "system32\\drivers\\vexlor.sys is not the package's vexlor.sys"
}

expect_driver_not_copied() {
    [[ ! -e "$drivers_dir/vexlor.sys" ]] || case_fail "system32\\drivers\\vexlor.sys was written"
}

# begin_case NAME [STAND-INS...]: a fresh package copy (with the named
# stand-ins, regini and/or install), no installed driver file.
begin_case() {
    case_name=$1
    shift
    echo "== $case_name"
    rm -rf -- "$pkg" "$drivers_dir/vexlor.sys"
    mkdir "$pkg" && cp -- "$package_dir"/* "$pkg/" || fail "cannot copy the package"
    local stand_in
    for stand_in in "$@"; do
        cp -- "$recorder_exe" "$pkg/$stand_in.exe" || fail "cannot copy the $stand_in stand-in"
    done
    case_start=$(now_ms)
}

end_case() { echo "   passed in $(($(now_ms) - case_start)) ms"; }

service() {
    run_step "$1 $2" "$STEP_TIMEOUT" wine net "$1" "$2"
}

readonly FIRST_QUESTION='You are about to install VexLor driver.\r\nDo you want to continue ?'
readonly INF_ARGUMENTS='"C:\pkg\vexlor.inf" VEXLOR'

begin_case "Windows 95 refused" regini install
start_setup win95
answer Confirmation yes,no "$FIRST_QUESTION" y
answer Error ok "It is not necessary to install this driver under this operating system." Return
expect_setup_end
expect_driver_not_copied
expect_no_record regini
expect_no_record install
end_case

begin_case "No at the first question" regini install
start_setup nt40
answer Confirmation yes,no "$FIRST_QUESTION" n
expect_setup_end
expect_driver_not_copied
expect_no_record regini
expect_no_record install
end_case

begin_case "NT 4 install with regini" regini
start_setup nt40
answer Confirmation yes,no "$FIRST_QUESTION" y
answer Information ok "It is necessary to restart computer." Return
expect_setup_end
expect_driver_copied
record=$(wait_for_record regini)
[[ "$(sed -n 1p <<<"$record")" == "regini.exe reg.ini" ]] ||
    case_fail "regini.exe started as: $(sed -n 1p <<<"$record")"
[[ "$(sed -n 3p <<<"$record")" == 'C:\pkg' ]] ||
    case_fail "regini.exe started in: $(sed -n 3p <<<"$record")"
echo "   regini.exe: $(sed -n 1p <<<"$record") in $(sed -n 3p <<<"$record")"
end_case

begin_case "NT 4 install without regini"
start_setup nt40
answer Confirmation yes,no "$FIRST_QUESTION" y
answer Error ok "Unable to update registry." Return
expect_setup_end
expect_driver_copied
end_case

begin_case "Windows 2000 INF installer" install
start_setup win2k
answer Confirmation yes,no "$FIRST_QUESTION" y
expect_setup_end
record=$(wait_for_record install)
[[ "$(sed -n 2p <<<"$record")" == "$INF_ARGUMENTS" ]] ||
    case_fail "install.exe arguments: $(sed -n 2p <<<"$record")"
echo "   install.exe: $(sed -n 2p <<<"$record")"
expect_driver_not_copied
end_case

begin_case "Windows 2000 without the INF installer"
start_setup win2k
answer Confirmation yes,no "$FIRST_QUESTION" y
answer Error ok "Unable to find driver installator." Return
expect_setup_end
end_case

# On NT 4 a running driver leads to the replace question, a missing one to
# a plain copy: the question shows that setup opened the device, and no
# keep question comes before it, so the version read was not above 2.4.
begin_case "NT 4 with the package's driver running (2.4)" regini
printf 'older driver' >"$drivers_dir/vexlor.sys"
service start vexlor
start_setup nt40
answer Confirmation yes,no "$FIRST_QUESTION" y
answer Information yes,no \
    "Driver is already installed in your computer. Do you want to replace it ?" y
answer Information ok "Driver updated sucessfully. It is necessary to restart computer." Return
expect_setup_end
expect_driver_copied
expect_no_record regini
service stop vexlor
end_case

readonly KEEP_QUESTION='ENG: Driver in computer (3.1) seems to be newer than one being installed (2.4). Do you want to keep current driver ?\r\n\r\n'

begin_case "Windows 2000 with a 3.1 driver running, kept" install
service start vexlor_standin
start_setup win2k
answer Confirmation yes,no "$FIRST_QUESTION" y
answer Warning yes,no "$KEEP_QUESTION" y
expect_setup_end
# The installer has ended; an install.exe it had started would have
# written its record by now.
expect_no_record install
end_case

begin_case "Windows 2000 with a 3.1 driver running, replaced" install
start_setup win2k
answer Confirmation yes,no "$FIRST_QUESTION" y
answer Warning yes,no "$KEEP_QUESTION" n
expect_setup_end
record=$(wait_for_record install)
[[ "$(sed -n 2p <<<"$record")" == "$INF_ARGUMENTS" ]] ||
    case_fail "install.exe arguments: $(sed -n 2p <<<"$record")"
service stop vexlor_standin
end_case

echo "PASS: setup.exe on Wine (wineboot ${boot_ms} ms, test $(($(now_ms) - test_start)) ms)"
