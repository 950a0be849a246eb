#!/bin/bash
# What a user or the package can do to a running installation:
#  - closing the window from its system menu while choosing (a drive
#    selected but not installed): the installer ends with 0, nothing is
#    written anywhere;
#  - stage programs that all fail (exit code 3): the user sees nothing of
#    it; every stage runs, the closing message comes and the exit code is
#    0; the log (/LOG=) names each program's exit code;
#  - a second copy started while the warning is up, and another while the
#    stages run: each ends with 0 at once and opens no window; the first
#    goes on and finishes normally;
#  - an unpack stage that leaves none of the later stages' programs: the
#    installation stops with "Installation Failed" and exit code 1603 (67
#    as Linux sees it), and D:\varnok is gone.
# Usage: faults_runs.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin faults_runs "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"
export E2E_TIMEOUT=90

e2e_prefix c:hd:SYSTEM d:hd:Data
use_demo_installer
e2e_display 1024x768
target=$E2E_WORK/drive_d/varnok

# second_copy NAME: starts another copy of the installer and checks that it
# ends with 0 within 20 seconds, leaving one main window.
second_copy() {
    local rc=0
    (cd "$E2E_PREFIX/drive_c" && exec timeout $((20 * E2E_TIME_SCALE)) "$WINE_LOADER" 'C:\varnok-setup.exe') || rc=$?
    check_eq "$1: the second copy ends with 0" 0 "$rc"
    check_eq "$1: one main window" 1 "$(driver count-windows)"
}

# -- Closing from the system menu while choosing ------------------------------
e2e_start_installer
check "window appears" quietly driver wait-window 20000
driver select 1
driver close
finish "closed while choosing" 0
check_eq "closed while choosing: nothing on D:" "" "$(drive_files "$E2E_WORK/drive_d")"
check_eq "closed while choosing: nothing on C:" no "$(exists "$E2E_PREFIX/drive_c/varnok")"

# -- Failing stage programs, and second copies ----------------------------------
# Every program of the package ends with exit code 3 (and says so on its
# stderr). README.HTM is left out as well, which shows on disk that the
# installer's environment reached the package.
VARNOK_SAMPLE_EXIT_CODE=3 VARNOK_SAMPLE_LEAVE_OUT=README.HTM e2e_start_installer '/LOG=C:\failing.log'
check "window appears again" quietly driver wait-window 20000
driver select 1
driver click
expect_message_up "warning" "Click OK to continue" "$WARNING"
second_copy "while the warning is up"
expect_message_up "the warning is still up" "Click OK to continue" "$WARNING"
answer
title=$(driver title)
check "the stages have begun: $title" grep -qxF -- "$title" <(cut -f2 <<<"$EXPECTED_LOG")
second_copy "during the stages"
expect_message_up "closing message" "Warning, Secret information" "$CLOSING" 60000
answer
finish "failing stages" 0
check_eq "the log names the five programs' exit code 3" 5 \
    "$(tr -d '\r' <"$E2E_PREFIX/drive_c/failing.log" | grep -c 'ended with exit code 3$')"

check_eq "every stage ran under its title" "$EXPECTED_LOG" "$(stage_log "$target")"
check_eq "the package saw the installer's environment" no "$(exists "$target/README.HTM")"
for gone in varnok.exe tute.exe ex1.exe ex2.exe ex3.exe; do
    check_eq "$gone deleted after its failed run" no "$(exists "$target/$gone")"
done
for made in makelibs.bat tutorials/lesson3.txt examples/intro examples/intermediate \
            examples/advanced lib/index.txt; do
    check_eq "present after the failed runs: $made" yes "$(exists "$target/$made")"
done

# -- An unpack stage that leaves none of the later stages' programs --------------
# The user sees the warning, then the title "Installation Failed" and a
# message instead of the closing one; no later stage runs, and everything
# below D:\varnok, what the package wrote itself included, is removed.
rm -rf "$target"
VARNOK_SAMPLE_LEAVE_OUT='*' e2e_start_installer
check "window appears a third time" quietly driver wait-window 20000
driver select 1
driver click
expect_message "unpacked nothing: warning" "Click OK to continue" "$WARNING"
expect_message_up "unpacked nothing: message" "Sorry" "$(stage_failure tute.exe D)" 60000
check_eq "unpacked nothing: title" "Installation Failed" "$(driver title)"
answer
finish "unpacked nothing" 67
check_eq "unpacked nothing: D:\\varnok removed" no "$(exists "$target")"

e2e_end
