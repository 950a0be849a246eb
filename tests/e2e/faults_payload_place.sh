#!/bin/bash
# Installer files whose payload is not what or where the header says: a
# wrong payloadOffset, a changed byte, bytes appended after the payload, and
# files in the layout made before the integrity record (the record's bytes
# zero), which must keep installing as they always did.
# Usage: faults_payload_place.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin faults_payload_place "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"
export E2E_TIMEOUT=90

e2e_prefix c:hd:SYSTEM d:hd:Data
e2e_display 1024x768
demo=$BUILD_DIR/varnok-setup-demo.exe
sample=$BUILD_DIR/sample/varnok.exe
size=$(stat -c %s "$demo")
length=$(field32 "$demo" 0x34)
target=$E2E_WORK/drive_d/varnok

# complete_run NAME FILE PAYLOAD: installing FILE onto D: writes PAYLOAD as
# varnok.exe and runs every stage; the user sees the warning, the stages in
# the title bar and the closing message, and the installer ends with 0.
complete_run() {
    attempt "$2" 1
    expect_message_up "$1: warning" "Click OK to continue" "$WARNING"
    check "$1: varnok.exe is the expected package" cmp -s "$target/varnok.exe" "$3"
    answer
    expect_message_up "$1: closing message" "Warning, Secret information" "$CLOSING" 60000
    answer
    finish "$1" 0
    check_eq "$1: each stage ran under its title" "$EXPECTED_LOG" "$(stage_log "$target")"
    check_eq "$1: varnok.exe deleted after its run" no "$(exists "$target/varnok.exe")"
    check_eq "$1: the package's work is there" yes "$(exists "$target/lib/index.txt")"
    rm -rf "$target"
}

# The sample package with a byte of its DOS stub text changed: another
# program of the same length that still runs.
other=$E2E_WORK/other-package.exe
cp "$sample" "$other"
printf 'X' | dd of="$other" bs=1 seek=$((0x50)) conv=notrunc 2>/dev/null
check_eq "the other package differs from the packed one" differ \
    "$(cmp -s "$sample" "$other" && echo same || echo differ)"

# -- A wrong payloadOffset, the right payloadLength ---------------------------
# The payload is the file's tail whatever the offset says: it installs.
file=$E2E_WORK/offset-0.exe
damaged_copy "$file"
set_field32 "$file" 0x30 0
check_eq "offset 0: reported invalid" invalid "$(inspect_verdict "$file")"
complete_run "offset 0" "$file" "$sample"

# -- A changed byte, bytes appended: the checksum no longer matches -------------
file=$E2E_WORK/changed-byte.exe
damaged_copy "$file"
change_byte "$file" $((size - length / 2))
check_eq "changed byte: the file differs" differ "$(cmp -s "$demo" "$file" && echo same || echo differ)"
check_eq "changed byte: reported invalid" invalid "$(inspect_verdict "$file")"
refused_at_start "a changed byte" "$file" "$DAMAGED"

file=$E2E_WORK/appended-program.exe
cat "$demo" "$other" >"$file"
check_eq "appended program: reported invalid" invalid "$(inspect_verdict "$file")"
refused_at_start "another program appended" "$file" "$DAMAGED"

file=$E2E_WORK/appended-text.exe
cp "$demo" "$file"
for _ in $(seq 40); do printf 'Appended after the payload.\r\n'; done >>"$file"
refused_at_start "text appended" "$file" "$DAMAGED"

# -- The layout made before the integrity record --------------------------------
old=$E2E_WORK/old-layout.exe
damaged_copy "$old"
set_field32 "$old" 0x28 0
set_field32 "$old" 0x2C 0
check_eq "old layout: reported valid" valid "$(inspect_verdict "$old")"
complete_run "old layout" "$old" "$sample"

# Such a file with another program of the same length appended gives the
# file's tail, as it always did.
cat "$old" "$other" >"$E2E_WORK/old-appended-program.exe"
complete_run "old layout, another program appended" "$E2E_WORK/old-appended-program.exe" "$other"

# With text appended, the tail is no program: refused, as it would have
# been run as one.
file=$E2E_WORK/old-appended-text.exe
cp "$old" "$file"
for _ in $(seq 40); do printf 'Appended after the payload.\r\n'; done >>"$file"
refused_at_start "old layout, text appended" "$file" "$NOT_A_PROGRAM"

e2e_end
