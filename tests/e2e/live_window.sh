#!/bin/bash
# A whole installation with the keyboard alone, at 150 % (LogPixels 144),
# with two long stages, and what the user can do to the window meanwhile:
#  - a second copy started while the first still checks its file (held
#    there by the driver) ends with 0 and makes no window;
#  - Tab goes to the list, then to the button and back with Shift+Tab;
#    Enter on the list and Space on the button with nothing chosen give the
#    box, after which the focus is where it was; the arrow keys choose D:,
#    Tab and Enter install, Enter answers the boxes;
#  - during a stage the window is never deemed hung (left alone for six
#    seconds), answers WM_NULL every 100 ms within 250 ms, shows the
#    stage's title and has painted over the warning that was closed;
#  - closing it as the close box does, with WM_CLOSE or a posted click, and
#    asking it to end the session change nothing; minimised, it comes back
#    when a second copy starts;
#  - the installation completes with every stage, exit code 0.
# In the i386 guest the long stages are as many times longer as every time
# limit (E2E_TIME_SCALE), since starting a second copy takes seconds there.
# Usage: live_window.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin live_window "$1"
source "$E2E_DIR/install-lib.sh"
export E2E_TIMEOUT=150

e2e_prefix c:hd:SYSTEM d:hd:Data
use_demo_installer
e2e_display 1024x768
# All of it at 150 %: the window laid out for 144 DPI.
"$WINE_LOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
target=$E2E_WORK/drive_d/varnok
seconds=$((10 * E2E_TIME_SCALE))
export VARNOK_SAMPLE_SLOW="tute.exe:$seconds ex1.exe:$seconds"

# wait_title TITLE: waits (up to 60 s, scaled) until the window shows TITLE.
wait_title() {
    local i
    for i in $(seq $((300 * E2E_TIME_SCALE))); do
        [ "$(driver title)" = "$1" ] && return 0
        sleep 0.2
    done
    return 1
}

# wait_started PROGRAM: waits (up to 60 s, scaled) until the stage program
# has written its line to install.log, which it does as it starts.
wait_started() {
    local i
    for i in $(seq $((300 * E2E_TIME_SCALE))); do
        stage_log "$target" | cut -f1 | grep -qxF -- "$1" && return 0
        sleep 0.2
    done
    return 1
}

# -- Start, with a second copy during the file check -------------------------
e2e_background e2e_driver.exe start-during-check 'C:\check.txt' 'C:\varnok-setup.exe'
INSTALLER_PID=$BACKGROUND_PID
check "window appears" quietly driver wait-window 30000
held=$(tr -d '\r' <"$E2E_PREFIX/drive_c/check.txt")
check_eq "the first copy claimed the name before its window" \
    "claimed: 1|windows when held: 0" "$(head -n 2 <<<"$held" | paste -sd'|')"
check_eq "the second copy, started during the check, ends with 0 and no window" \
    "second copy: 0|windows after the second: 0" "$(tail -n 2 <<<"$held" | paste -sd'|')"
check_eq "one main window" 1 "$(driver count-windows)"
check_eq "the window at 144 DPI" "180 122 845 647" "$(field rect "$(driver window)")"

# -- Choosing and installing with the keyboard ------------------------------
check "nothing has the focus at the start" quietly driver wait-focus 0 5000
driver keys tab
check "Tab: the list" quietly driver wait-focus 503 5000
driver keys enter
expect_message_up "Enter on the list, nothing chosen" " No Drive Selected" "$NO_SELECTION"
driver keys enter
check "the box answered with Enter, the list has the focus again" \
    quietly driver wait-focus 503 5000
driver keys tab
check "Tab: the button" quietly driver wait-focus 500 5000
driver keys space
expect_message_up "Space on the button, nothing chosen" " No Drive Selected" "$NO_SELECTION"
driver keys enter
check "the button has the focus again" quietly driver wait-focus 500 5000
driver keys shift+tab
check "Shift+Tab: back to the list" quietly driver wait-focus 503 5000
driver keys down down
check_eq "the arrow keys choose D:" "selection: 1" "$(driver items | tail -n 1)"
driver keys tab
check "Tab: the button again" quietly driver wait-focus 500 5000
driver keys enter
expect_message_up "Enter installs: the warning" "Click OK to continue" "$WARNING"
read -r bl bt br bb <<<"$(field rect "$(driver wait-messagebox 1000)")"
box_area="$((br - bl))x$((bb - bt))+$bl+$bt"
import -window root -crop "$box_area" "$E2E_WORK/box.png"
driver keys enter

# -- A long stage: alive, and nothing closes it -------------------------------
check "the tutorials stage begins" wait_title "Installing Tarvesh's Tutorials"
sleep 1.5
import -window root -crop "$box_area" "$E2E_WORK/after-box.png"
differing=$(compare -metric AE "$E2E_WORK/box.png" "$E2E_WORK/after-box.png" null: 2>&1)
check "the warning's place is painted over ($differing pixels differ)" \
    awk -v n="${differing%% *}" 'BEGIN { exit !(n + 0 > 0) }'
check_eq "not hung after six seconds alone" 0 "$(field hung "$(driver probe 6000 0)")"
check_eq "still the tutorials stage" "Installing Tarvesh's Tutorials" "$(driver title)"

check "the examples stage begins" wait_title "Installing The Introductory Example Code"
# Timed once ex1.exe runs: starting a Wine process takes the machine's
# processors for a moment (seconds under emulation), whatever the installer
# does meanwhile.
check "ex1.exe has started" wait_started ex1.exe
probe=$(driver probe 0 3000)
answered=$(field answered "$probe")
check_eq "every WM_NULL answered" "${answered#* of }" "${answered%% of*}"
slowest=$(field slowest "$probe")
check "the slowest answer took $slowest ms (at most 250; all, in ms:$(field times "$probe"))" \
    test "$slowest" -le 250
driver close
driver post 0x0010 0
driver click
check_eq "the end of the session is refused" 0 "$(driver query-end-session)"
check_eq "closing and clicking changed nothing" \
    "1|Installing The Introductory Example Code|message box: none" \
    "$(driver count-windows)|$(driver title)|$(driver status | grep '^message box')"
driver minimize
check_eq "minimised" "iconic=1" "$(driver state | cut -d' ' -f1)"
rc=0
(cd "$E2E_PREFIX/drive_c" && exec timeout $((30 * E2E_TIME_SCALE)) "$WINE_LOADER" 'C:\varnok-setup.exe') || rc=$?
check_eq "a second copy during the stage ends with 0" 0 "$rc"
check_eq "and brings the window back" "iconic=0 visible=1" "$(driver state | cut -d' ' -f1,3)"
check_eq "still the examples stage, one window" "Installing The Introductory Example Code|1" \
    "$(driver title)|$(driver count-windows)"

# -- The end ------------------------------------------------------------------
expect_message_up "closing message" "Warning, Secret information" "$CLOSING" \
    $((120000 + 2000 * seconds))
driver keys enter
rc=0
e2e_wait_installer || rc=$?
check_eq "Enter on the closing message ends the installer with 0" 0 "$rc"
check_eq "every stage ran under its title" "$EXPECTED_LOG" "$(stage_log "$target")"
check_eq "makelibs.bat stays" yes "$(exists "$target/makelibs.bat")"

e2e_end
