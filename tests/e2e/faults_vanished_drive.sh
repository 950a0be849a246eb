#!/bin/bash
# A fixed disk that is listed when the installer starts but cannot be entered
# when Install is pressed (a pulled USB disk that reports as fixed, a letter
# that went away): its folder is removed while the list is up. The user sees
# a message naming the drive and is back to choosing; nothing is created on
# any drive, least of all on the drive the installer runs from. Choosing
# another drive then installs there.
# Usage: faults_vanished_drive.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin faults_vanished_drive "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"
export E2E_TIMEOUT=90

e2e_prefix c:hd:SYSTEM d:hd:Data g:hd:Stick
e2e_display 1024x768
e2e_start_installer
check "window appears" quietly driver wait-window 20000
check_contains "G: is listed" "item: DRIVE G: (Stick)" "$(driver items)"
controls=$(driver controls)

rm -rf "$E2E_WORK/drive_g"
before=$(drive_roots)
driver select 2
driver click
expect_message "vanished drive: message" "Sorry" \
    'The drive G: cannot be used (error 76),\r\ncheck that it is still there, or\r\ninstall this package on another drive'
check_eq "vanished drive: back to choosing" "$controls" "$(driver controls)"
check_eq "vanished drive: nothing on any drive" "$before" "$(drive_roots)"
check_eq "vanished drive: no varnok in the installer's folder (C:\\)" no \
    "$(exists "$E2E_PREFIX/drive_c/varnok")"

driver select 1
driver click
expect_message "D: then installs: warning" "Click OK to continue" "$WARNING"
expect_message_up "D: then installs: closing message" "Warning, Secret information" "$CLOSING" 60000
answer
finish "D: then installs" 0
check_eq "D: then installs: every stage ran" "$EXPECTED_LOG" "$(stage_log "$E2E_WORK/drive_d/varnok")"
check_eq "still nothing on C:" no "$(exists "$E2E_PREFIX/drive_c/varnok")"

e2e_end
