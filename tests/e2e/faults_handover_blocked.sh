#!/bin/bash
# A second copy that starts while the first is waiting for a stage program,
# with the first copy's window minimised. The waiting installer answers no
# messages, so the second copy must not wait for it when it brings it back.
#
# The case is made with an installer whose package is an installer (the
# demo one): stage 1 runs that copy while the first copy waits for it. The
# window is minimised (from outside: it has no minimise box) while the
# warning is up. The second copy hands over and ends; as the package
# unpacked none of the later stages' programs, the user then sees the title
# "Installation Failed" and the message saying so, and the installer ends
# with 1.
# Usage: faults_handover_blocked.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin faults_handover_blocked "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"
# A hang is ended after this long and counts as a failure.
export E2E_TIMEOUT=50

e2e_prefix c:hd:SYSTEM d:hd:Data
e2e_display 1024x768
file=$E2E_WORK/nested.exe
"$MKINSTALLER" pack "$BUILD_DIR/varnok-setup.exe" "$BUILD_DIR/varnok-setup-demo.exe" "$file"

attempt "$file" 1
expect_message_up "warning" "Click OK to continue" "$WARNING"
driver minimize
check_eq "minimised while the warning is up" "iconic=1" "$(driver state | cut -d' ' -f1)"
answer
expect_message_up "the end" "Sorry" "$(stage_failure tute.exe D)" 30000
check_eq "title at the end" "Installation Failed" "$(driver title)"
check_eq "the second copy opened no window" 1 "$(driver count-windows)"
answer
finish "minimised window" 67
check_eq "D:\\varnok removed" no "$(exists "$E2E_WORK/drive_d/varnok")"

e2e_end
