#!/bin/bash
# Installer files whose payload length does not fit the file, damaged by
# hand from the demo installer and installed onto D: one after another.
# The payload is always the file's last payloadLength bytes, or the whole
# file when the length is not smaller than the file, so none of them may
# yield bytes that are not in the file, and none may hang.
# Usage: faults_payload_length.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin faults_payload_length "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"
export E2E_TIMEOUT=90

e2e_prefix c:hd:SYSTEM d:hd:Data
e2e_display 1024x768
demo=$BUILD_DIR/varnok-setup-demo.exe
size=$(stat -c %s "$demo")
length=$(field32 "$demo" 0x34)
target=$E2E_WORK/drive_d/varnok
check_eq "the undamaged installer is valid" valid "$(inspect_verdict "$demo")"

# -- payloadLength 0 --------------------------------------------------------
# The user sees the message that the package could not be read, naming
# D:\varnok; after OK the window is back to choosing, and closing it ends
# the installer with 0. Nothing is left on D:.
file=$E2E_WORK/empty.exe
damaged_copy "$file"
set_field32 "$file" 0x34 0
check_eq "length 0: reported invalid" invalid "$(inspect_verdict "$file")"
use_demo_installer "$file"
e2e_start_installer
quietly driver wait-window 20000
choosing=$(driver controls)
driver select 1
driver click
expect_message_up "length 0: message" "Sorry" \
    'The package could not be read from this installer\r\nfile, nothing was installed in D:\varnok,\r\nplease download the installer again'
answer
check_eq "length 0: nothing left on D:" "" "$(drive_files "$E2E_WORK/drive_d")"
check_eq "length 0: back to choosing" "$choosing" "$(driver controls)"
driver close
finish "length 0" 0

# -- payloadLength larger than the file, and a file cut short ----------------
# Both yield the whole installer file as the payload. Stage 1 then starts a
# second copy of the installer, which finds the running window, hands over
# and ends; stages 2 to 6 find no programs. The user sees the warning, then
# the closing message with the title "Installation Is Now Complete", and the
# installer ends with 0. D:\varnok is left empty: the copy was deleted
# after its run and nothing else was unpacked.
larger=$E2E_WORK/larger.exe
damaged_copy "$larger"
set_field32 "$larger" 0x34 $((size + 1000))
cut=$E2E_WORK/cut.exe
head -c $((size - length + 100000)) "$demo" >"$cut"
for file in "$larger" "$cut"; do
    name=$(basename "$file" .exe)
    check_eq "$name: reported invalid" invalid "$(inspect_verdict "$file")"
    attempt "$file" 1
    expect_message_up "$name: warning" "Click OK to continue" "$WARNING"
    check "$name: varnok.exe is a copy of the whole installer file" \
        cmp -s "$target/varnok.exe" "$file"
    answer
    expect_message_up "$name: closing message" "Warning, Secret information" "$CLOSING" 60000
    check_eq "$name: title at the end" "Installation Is Now Complete" "$(driver title)"
    check_eq "$name: the second copy opened no window" 1 "$(driver count-windows)"
    answer
    finish "$name" 0
    check_eq "$name: D:\\varnok left empty" "" "$(ls -A "$target" 2>&1)"
    rm -rf "$target"
done

# -- A file cut short by a little ---------------------------------------------
# Its last payloadLength bytes begin inside the installer image, so they are
# no program. The user sees the warning, then the title "Installation
# Failed" and a message that the package in D:\varnok could not be
# unpacked; the installer ends with 1 and removes what it wrote.
file=$E2E_WORK/short.exe
head -c $((size - 1000)) "$demo" >"$file"
check_eq "cut by a little: reported invalid" invalid "$(inspect_verdict "$file")"
attempt "$file" 1
expect_message_up "cut by a little: warning" "Click OK to continue" "$WARNING"
check "cut by a little: varnok.exe is the file's tail" \
    cmp -s "$target/varnok.exe" <(tail -c "$length" "$file")
answer
expect_message_up "cut by a little: message" "Sorry" \
    'The package in D:\varnok could not be unpacked (error 75),\r\nthe installation has been stopped'
check_eq "cut by a little: title" "Installation Failed" "$(driver title)"
answer
finish "cut by a little" 1
check_eq "cut by a little: nothing left on D:" "" "$(drive_files "$E2E_WORK/drive_d")"

e2e_end
