#!/bin/bash
# A second copy that starts while the first is waiting for a stage program,
# with the first copy's window minimised. The waiting installer answers no
# messages, so the second copy must not wait for it when it brings it back.
#
# The case is made with an installer file whose payloadLength is larger
# than the file: the payload is then the whole installer, and stage 1 runs
# that copy while the first copy waits for it. The window is minimised
# (from outside: it has no minimise box) while the warning is up.
# The user should see, as with the window not minimised: the warning, then
# the closing message with the title "Installation Is Now Complete", and the
# installer ends with 0, leaving D:\varnok empty.
# Usage: faults_handover_blocked.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin faults_handover_blocked "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"
# A hang is ended after this long and counts as a failure.
export E2E_TIMEOUT=50

e2e_prefix c:hd:SYSTEM d:hd:Data
e2e_display 1024x768
file=$E2E_WORK/larger.exe
damaged_copy "$file"
set_field32 "$file" 0x34 $(($(stat -c %s "$file") + 1000))

attempt "$file" 1
expect_message_up "warning" "Click OK to continue" "$WARNING"
driver minimize
check_eq "minimised while the warning is up" "iconic=1" "$(driver state | cut -d' ' -f1)"
answer
expect_message_up "closing message" "Warning, Secret information" "$CLOSING" 30000
check_eq "title at the end" "Installation Is Now Complete" "$(driver title)"
answer
finish "minimised window" 0
check_eq "D:\\varnok left empty" "" "$(ls -A "$E2E_WORK/drive_d/varnok" 2>&1)"

e2e_end
