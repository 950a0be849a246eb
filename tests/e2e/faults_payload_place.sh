#!/bin/bash
# Installer files whose payload is not where payloadOffset says: a wrong
# offset field, and bytes appended after the payload. The installer never
# reads the offset; it takes the file's last payloadLength bytes.
# Usage: faults_payload_place.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin faults_payload_place "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"
export E2E_TIMEOUT=90

e2e_prefix c:hd:SYSTEM d:hd:Data
e2e_display 1024x768
demo=$BUILD_DIR/varnok-setup-demo.exe
sample=$BUILD_DIR/sample/varnok.exe
length=$(field32 "$demo" 0x34)
target=$E2E_WORK/drive_d/varnok

# complete_run NAME FILE PAYLOAD: installing FILE onto D: writes PAYLOAD as
# varnok.exe and runs every stage; the user sees the warning, the stages in
# the title bar and the closing message, and the installer ends with 0.
complete_run() {
    attempt "$2" 1
    expect_message_up "$1: warning" "Click OK to continue" "$WARNING"
    check "$1: varnok.exe is the file's last payloadLength bytes" cmp -s "$target/varnok.exe" "$3"
    answer
    expect_message_up "$1: closing message" "Warning, Secret information" "$CLOSING" 60000
    answer
    finish "$1" 0
    check_eq "$1: each stage ran under its title" "$EXPECTED_LOG" "$(stage_log "$target")"
    check_eq "$1: varnok.exe deleted after its run" no "$(exists "$target/varnok.exe")"
    check_eq "$1: the package's work is there" yes "$(exists "$target/lib/index.txt")"
    rm -rf "$target"
}

# -- A wrong payloadOffset, the right payloadLength ---------------------------
# Installs normally, for an offset inside the image and one past the file.
for offset in 0 0xFFFFFFF0; do
    file=$E2E_WORK/offset-$offset.exe
    damaged_copy "$file"
    set_field32 "$file" 0x30 "$offset"
    check_eq "offset $offset: reported invalid" invalid "$(inspect_verdict "$file")"
done
complete_run "offset 0" "$E2E_WORK/offset-0.exe" "$sample"
complete_run "offset past the end" "$E2E_WORK/offset-0xFFFFFFF0.exe" "$sample"

# -- Another program of the same length appended after the payload -------------
# The package at payloadOffset is left alone: the appended one (the sample
# package with a byte of its DOS stub text changed, so that it still runs)
# is what the installer writes and runs, and the installation completes.
other=$E2E_WORK/other-package.exe
cp "$sample" "$other"
printf 'X' | dd of="$other" bs=1 seek=$((0x50)) conv=notrunc 2>/dev/null
file=$E2E_WORK/appended-program.exe
cat "$demo" "$other" >"$file"
check_eq "appended program: reported invalid" invalid "$(inspect_verdict "$file")"
check_eq "appended program: differs from the packed one" differ \
    "$(cmp -s "$sample" "$other" && echo same || echo differ)"
complete_run "appended program" "$file" "$other"

# -- Text appended after the payload --------------------------------------------
# The cut is shifted by the text's length: varnok.exe holds the package's
# tail and the text, which is no program. The user sees the warning, the
# title "Installation Failed" and the message that the package in D:\varnok
# could not be unpacked; the installer ends with 1 and leaves nothing.
file=$E2E_WORK/appended-text.exe
cp "$demo" "$file"
for _ in $(seq 40); do printf 'Appended after the payload.\r\n'; done >>"$file"
check_eq "appended text: reported invalid" invalid "$(inspect_verdict "$file")"
attempt "$file" 1
expect_message_up "appended text: warning" "Click OK to continue" "$WARNING"
check "appended text: varnok.exe is the file's tail" \
    cmp -s "$target/varnok.exe" <(tail -c "$length" "$file")
answer
expect_message_up "appended text: message" "Sorry" \
    'The package in D:\varnok could not be unpacked (error 75),\r\nthe installation has been stopped'
check_eq "appended text: title" "Installation Failed" "$(driver title)"
answer
finish "appended text" 1
check_eq "appended text: nothing left on D:" "" "$(drive_files "$E2E_WORK/drive_d")"

e2e_end
