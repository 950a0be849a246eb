# Shared functions of the end-to-end scenarios. Source it from a scenario
# script; the scenario gets the win64 build directory as its first argument.
#
#   e2e_begin NAME BUILD_DIR      work folder, prefix path, cleanup trap
#   e2e_prefix LAYOUT...          make the prefix; LAYOUT items are
#                                 LETTER:TYPE[:LABEL] (TYPE hd, cdrom,
#                                 network, floppy); drive Z: is removed
#   e2e_display WIDTHxHEIGHT      (re)start Xvfb at that size
#   e2e_start_installer [ARGS]    start C:\varnok-setup.exe in the
#                                 background; INSTALLER_PID is its pid
#   e2e_wait_installer            wait for it; returns its exit code
#   e2e_background PROGRAM [ARGS] start another program of C:\ likewise
#   driver SUBCOMMAND [ARGS]      run the driver in the prefix
#   check / check_eq / check_contains   assertions: PASS: name / FAIL: name
#   quietly COMMAND               the command without its output (for check)
#   e2e_end                       print the tally; exit non-zero on a failure

set -u
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_ROOT=${REPO_ROOT:-$(cd "$E2E_DIR/../.." && pwd)}
source "$REPO_ROOT/scripts/wine-lib.sh"

PASSED=0
FAILED=0
INSTALLER_PID=
E2E_PREFIX=
E2E_WORK=

e2e_cleanup() {
    driver_session_end
    if [ -n "$E2E_PREFIX" ]; then end_prefix "$E2E_PREFIX"; fi
    if [ -n "$INSTALLER_PID" ]; then kill "$INSTALLER_PID" 2>/dev/null; wait "$INSTALLER_PID" 2>/dev/null; fi
    stop_display
}

# e2e_begin NAME BUILD_DIR: the work folder is BUILD_DIR/e2e/NAME-PID, this
# run's own. Several people may test one checkout at the same time: with one
# folder per scenario, a second run of it removed the first one's prefix and
# made its own there, so that the first run's driver calls (which find their
# Wine server through the prefix folder) met the second run's server, and
# the second run's "wineserver -k" ended them in the middle of a call. The
# folders of earlier runs whose shell has ended are removed (after ending
# any server of theirs), so a failed run's folder stays until the next run.
e2e_begin() {
    BUILD_DIR=$(cd "$2" && pwd)
    # The host's mkinstaller; the i386 guest names a 32-bit build of it.
    MKINSTALLER=${MKINSTALLER:-$BUILD_DIR/../host/mkinstaller}
    local old
    for old in "$BUILD_DIR/e2e/$1"-*; do
        [ -d "$old" ] || continue
        kill -0 "${old##*-}" 2>/dev/null && continue
        end_prefix "$old/prefix"
        rm -rf "$old"
    done
    E2E_WORK=$BUILD_DIR/e2e/$1-$$
    E2E_PREFIX=$E2E_WORK/prefix
    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK"
    export WINEPREFIX=$E2E_PREFIX
    trap e2e_cleanup EXIT
    # Our own Xvfb every time, so that its size is ours to choose.
    export FORCE_XVFB=1
}

# e2e_prefix LETTER:TYPE[:LABEL]...: a prefix with exactly these drives.
# Drive C: keeps the prefix's own folder; the others get folders in the
# work folder. The installer (the one with the sample package: an image
# without a package refuses to start) and the driver are copied to C:\.
e2e_prefix() {
    new_prefix "$E2E_PREFIX"
    remove_drive "$E2E_PREFIX" z
    map_drives "$E2E_PREFIX" "$E2E_WORK" "$@"
    cp "$BUILD_DIR/varnok-setup-demo.exe" "$E2E_PREFIX/drive_c/varnok-setup.exe"
    cp "$BUILD_DIR/tests/e2e_driver.exe" "$E2E_PREFIX/drive_c/"
}

# e2e_display WIDTHxHEIGHT: a fresh Xvfb of that size. The prefix's server
# is ended first, since Wine keeps to the display it started with.
e2e_display() {
    driver_session_end
    end_prefix "$E2E_PREFIX"
    WINEPREFIX=$E2E_PREFIX "$WINE_SERVER" -w 2>/dev/null || true
    stop_display
    ensure_display "$1x24"
    driver_session_start
}

# Programs started in the background are ended after this many seconds, so
# that a window that never closes fails the scenario instead of hanging it.
E2E_TIMEOUT=${E2E_TIMEOUT:-120}
# Every time limit of a scenario is multiplied by E2E_TIME_SCALE: the i386
# guest, where each Wine start costs seconds, sets it; the driver reads it too.
export E2E_TIME_SCALE=${E2E_TIME_SCALE:-1}

# e2e_background PROGRAM [ARGS...]: starts a program of C:\ in the
# background (under timeout); BACKGROUND_PID is its pid.
e2e_background() {
    (cd "$E2E_PREFIX/drive_c" &&
        exec timeout $((E2E_TIMEOUT * E2E_TIME_SCALE)) "$WINE_LOADER" "C:\\$1" "${@:2}") &
    BACKGROUND_PID=$!
}

# e2e_start_installer [ARGS...]: starts C:\varnok-setup.exe in the background.
e2e_start_installer() {
    e2e_background varnok-setup.exe "$@"
    INSTALLER_PID=$BACKGROUND_PID
}

# e2e_wait_installer: waits for the background installer; returns its exit code.
e2e_wait_installer() {
    local rc=0
    wait "$INSTALLER_PID" || rc=$?
    INSTALLER_PID=
    return "$rc"
}

# driver SUBCOMMAND [ARGS...]: the driver's output, without CRs. The stderr
# of each call (the driver's own lines, and Wine's error messages) is kept in
# a log of its own under $E2E_WORK/driver/; when the call fails, the report
# below says what happened, on stderr.
driver() {
    if [ -n "$E2E_DRIVER_SESSION" ]; then
        driver_session_call "$@"
        return
    fi
    local rc log start
    log=$E2E_WORK/driver/$(date +%H%M%S.%N)-$1.log
    mkdir -p "$E2E_WORK/driver"
    start=$(date +%s%N)
    (cd "$E2E_PREFIX/drive_c" && E2E_DRIVER_TRACE=1 WINEDEBUG=-all,err+all \
        exec "$WINE_LOADER" 'C:\e2e_driver.exe' "$@" 2>"$log") | tr -d '\r'
    rc=${PIPESTATUS[0]}
    if [ "$rc" -ne 0 ]; then
        driver_report "$rc" $((($(date +%s%N) - start) / 1000000)) "$log" "$@" >&2
    fi
    return "$rc"
}

# With E2E_DRIVER_SESSION=1 (the i386 guest, where every Wine start costs
# seconds) one driver process ("e2e_driver serve") answers every call, from
# the moment the prefix is laid out until its server is ended (e2e_display,
# the cleanup), when the next one starts. It is started in the scenario's
# own shell, never inside $(...), so that every call finds it.
E2E_DRIVER_SESSION=${E2E_DRIVER_SESSION:-}
DRIVER_PID=
DRIVER_IN=
DRIVER_OUT=

driver_session_start() {
    [ -n "$E2E_DRIVER_SESSION" ] || return 0
    local dir=$E2E_WORK/driver
    mkdir -p "$dir"
    rm -f "$dir/in" "$dir/out"
    mkfifo "$dir/in" "$dir/out"
    (cd "$E2E_PREFIX/drive_c" && E2E_DRIVER_TRACE=1 WINEDEBUG=-all,err+all \
        exec "$WINE_LOADER" 'C:\e2e_driver.exe' serve <"$dir/in" >"$dir/out" 2>>"$dir/session.log") &
    DRIVER_PID=$!
    exec {DRIVER_IN}>"$dir/in" {DRIVER_OUT}<"$dir/out"
}

# The programs that the scenario starts inherit the session's pipes, so the
# session's end is told by a signal rather than by the end of its input.
driver_session_end() {
    [ -n "$DRIVER_PID" ] || return 0
    exec {DRIVER_IN}>&- {DRIVER_OUT}<&-
    kill "$DRIVER_PID" 2>/dev/null
    wait "$DRIVER_PID" 2>/dev/null
    DRIVER_PID=
}

# driver_session_call SUBCOMMAND [ARGS...]: driver through the session.
driver_session_call() {
    local line rc= start=$SECONDS
    if [ -z "$DRIVER_PID" ]; then
        echo "driver $*: no driver session (driver_session_start not called)" >&2
        return 1
    fi
    (IFS=$'\t'; printf '%s\n' "$*") >&"$DRIVER_IN"
    while IFS= read -r -t $((300 * E2E_TIME_SCALE)) line <&"$DRIVER_OUT"; do
        line=${line%$'\r'}
        case $line in
        "e2e_driver-end "*) rc=${line#e2e_driver-end }; break ;;
        *) printf '%s\n' "$line" ;;
        esac
    done
    if [ -z "$rc" ]; then
        echo "driver $*: no answer from the driver session after $((SECONDS - start)) s" >&2
        rc=1
    fi
    if [ "$rc" -ne 0 ]; then
        driver_report "$rc" $(((SECONDS - start) * 1000)) "$E2E_WORK/driver/session.log" "$@" >&2
    fi
    return "$rc"
}

# driver_report RC MS LOG SUBCOMMAND [ARGS...]: why a driver call failed:
# Wine's exit status and what the call wrote on stderr (the driver writes a
# line as main() begins and as it returns, so a call that never reached the
# driver, or died inside it, shows as such), then the state of the
# installer, of the prefix's Wine processes and server, and of the display.
driver_report() {
    local rc=$1 ms=$2 log=$3
    shift 3
    echo "driver $*: exit status $rc after $ms ms; its stderr:"
    if [ -s "$log" ]; then sed 's/^/    /' "$log"; else echo "    (nothing)"; fi
    scenario_state
}

# scenario_state: the state of the installer, of the prefix's Wine processes
# and server, of the display, and what the driver sees.
scenario_state() {
    if [ -n "$INSTALLER_PID" ]; then
        if kill -0 "$INSTALLER_PID" 2>/dev/null; then
            echo "  installer (timeout pid $INSTALLER_PID): running"
        else
            echo "  installer (timeout pid $INSTALLER_PID): ended"
        fi
    fi
    echo "  Wine processes of the prefix:$(prefix_processes)"
    echo "  wineserver of the prefix: $(prefix_server)"
    echo "  display: $(display_owner)"
    echo "  the installer's state (driver status):"
    (cd "$E2E_PREFIX/drive_c" && WINEDEBUG=-all,err+all \
        "$WINE_LOADER" 'C:\e2e_driver.exe' status 2>&1) | tr -d '\r' | sed 's/^/    /'
    echo "    (status exit status ${PIPESTATUS[0]})"
}

# prefix_processes: " PID:NAME" for every process started in this prefix.
prefix_processes() {
    local proc
    for proc in /proc/[0-9]*; do
        if { tr '\0' '\n' <"$proc/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$E2E_PREFIX"; then
            printf ' %s:%s' "${proc#/proc/}" "$(cat "$proc/comm" 2>/dev/null)"
        fi
    done
}

# prefix_server: the wineserver that serves this prefix: it works in a
# folder named after the prefix's device and inode (under /tmp/.wine-UID, or
# under the folder that Debian's Wine names in the prefix's file wineserver).
prefix_server() {
    local dev ino name proc
    if ! read -r dev ino < <(stat -c '%d %i' "$E2E_PREFIX" 2>/dev/null); then
        echo "none (the prefix folder is gone)"
        return
    fi
    name=server-$(printf '%x-%x' "$dev" "$ino")
    for proc in /proc/[0-9]*; do
        if [[ $(readlink "$proc/cwd" 2>/dev/null) == */"$name" ]]; then
            echo "pid ${proc#/proc/} ($(cat "$proc/comm" 2>/dev/null)) in $(readlink "$proc/cwd")"
            return
        fi
    done
    echo "none (no process works in a folder $name)"
}

# display_owner: DISPLAY, whether its socket is there, the Xvfb that holds
# its lock (an Xvfb started with -displayfd may keep none), and whether the
# one this scenario started still runs.
display_owner() {
    local n=${DISPLAY#:} owner socket=missing
    owner=$(tr -d ' ' 2>/dev/null <"/tmp/.X$n-lock")
    if [ -S "/tmp/.X11-unix/X$n" ]; then socket=there; fi
    printf '%s (socket %s, lock held by pid %s); this scenario started pid %s' "$DISPLAY" \
        "$socket" "${owner:-none}" "${XVFB_PID:-none}"
    if [ -n "$XVFB_PID" ] && ! kill -0 "$XVFB_PID" 2>/dev/null; then printf ' (ended)'; fi
    echo
}

# wait_until SECONDS COMMAND...: runs COMMAND every 0.2 s until it
# succeeds, for at most SECONDS (scaled); fails when it never does.
wait_until() {
    local i
    for i in $(seq $(($1 * 5 * E2E_TIME_SCALE))); do
        "${@:2}" && return 0
        sleep 0.2
    done
    return 1
}

# quietly COMMAND...: runs the command with its output discarded.
quietly() { "$@" >/dev/null; }

pass() { PASSED=$((PASSED + 1)); echo "PASS: $1"; }
# The first failed check of a scenario also shows the state it met, since a
# failure that comes only now and then may not be seen again.
fail() {
    FAILED=$((FAILED + 1))
    echo "FAIL: $1 ($2)"
    if [ "$FAILED" -eq 1 ]; then
        echo "  state at the first failure (after ${SECONDS} s of the scenario):"
        scenario_state | sed 's/^/  /'
    fi
}

# check NAME COMMAND...: passes when the command succeeds.
check() {
    local name=$1; shift
    if "$@"; then pass "$name"; else fail "$name" "command failed: $*"; fi
}

# check_eq NAME EXPECTED ACTUAL
check_eq() {
    if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected '$2', got '$3'"; fi
}

# check_contains NAME NEEDLE HAYSTACK: one whole line of HAYSTACK is NEEDLE.
check_contains() {
    if grep -qxF -- "$2" <<<"$3"; then pass "$1"; else fail "$1" "no line '$2' in: $(tr '\n' '|' <<<"$3")"; fi
}

# field NAME TEXT: the value of the line "NAME: value" of TEXT.
field() {
    sed -n "s/^$1: //p" <<<"$2" | head -n 1
}

e2e_end() {
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
}
