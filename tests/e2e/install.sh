#!/bin/bash
# The whole installation through the window, with the sample package packed
# into the installer: the press without a selection, a complete run onto D:
# (texts, panel, titles logged by each stage, files left and deleted, exit
# code), and a WM_COMMAND 500 with a non-zero high word that starts nothing.
# Usage: install.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin install "$1"
source "$E2E_DIR/install-lib.sh"

e2e_prefix c:hd:SYSTEM d:hd:Data
use_demo_installer
e2e_display 1024x768
e2e_start_installer
check "window appears" quietly driver wait-window 20000
controls_before=$(driver controls)

# -- A notification other than the click starts nothing --------------------
driver select 1
driver command $((0x10000 | 500))
sleep 1
check_eq "high word set: no message box" "" "$(driver wait-messagebox 500 2>/dev/null)"
check_eq "high word set: no directory made" no "$(exists "$E2E_WORK/drive_d/varnok")"
driver select -1 >/dev/null

# -- The press with nothing selected ----------------------------------------
driver click
expect_message "no selection" " No Drive Selected" "$NO_SELECTION"
check_eq "no selection: controls unchanged" "$controls_before" "$(driver controls)"
check_eq "no selection: nothing on D:" "" "$(drive_files "$E2E_WORK/drive_d")"

# -- A complete run onto D: ---------------------------------------------------
driver select 1
driver click
expect_message_up "warning" "Click OK to continue" "$WARNING"
panel=$(driver controls)
check_eq "panel replaces the choosing controls" "$EXPECTED_PANEL_CONTROLS" "$panel"
check_eq "title before the stages" "VARNOK Version 8 Compact Installation" "$(driver title)"
check "payload written before the stages" \
    cmp -s "$E2E_WORK/drive_d/varnok/varnok.exe" "$BUILD_DIR/sample/varnok.exe"
answer

expect_message_up "closing message" "Warning, Secret information" "$CLOSING" 120000
check_eq "title at the end" "Installation Is Now Complete" "$(driver title)"
answer
rc=0
e2e_wait_installer || rc=$?
check_eq "complete run ends with exit code 0" 0 "$rc"

target=$E2E_WORK/drive_d/varnok
check_eq "each stage saw its title" "$EXPECTED_LOG" "$(stage_log "$target")"
for gone in varnok.exe tute.exe ex1.exe ex2.exe ex3.exe; do
    check_eq "$gone deleted after its run" no "$(exists "$target/$gone")"
done
check_eq "makelibs.bat left in place" yes "$(exists "$target/makelibs.bat")"
for made in tutorials/lesson1.txt examples/intro examples/intermediate examples/advanced \
            lib/index.txt README.HTM; do
    check_eq "stage work present: $made" yes "$(exists "$target/$made")"
done

e2e_end
