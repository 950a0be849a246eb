#!/bin/bash
# An installer signed after packing, as a release is (the demo installer
# signed with a throw-away certificate at build time): the signing tool's
# padding and certificate table follow the payload. It installs completely
# onto D:. So does an installer signed and then unsigned again
# (osslsigncode remove-signature, at build time: tests/signed-then-unsigned),
# whose payload is followed by the 7 zero bytes of padding that signing
# left. The signed file with one payload byte changed after signing is
# refused when it starts, with nothing written on any drive.
# Usage: install_signed.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin install_signed "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"
export E2E_TIMEOUT=90

signed=$BUILD_DIR/tests/varnok-setup-signed.exe
target=$E2E_WORK/drive_d/varnok
e2e_prefix c:hd:SYSTEM d:hd:Data
e2e_display 1024x768
check_eq "the signed installer is valid" valid "$(inspect_verdict "$signed")"

attempt "$signed" 1
expect_message_up "signed: warning" "Click OK to continue" "$WARNING"
check "signed: varnok.exe is the package, without padding or certificate" \
    cmp -s "$target/varnok.exe" "$BUILD_DIR/sample/varnok.exe"
answer
expect_message_up "signed: closing message" "Warning, Secret information" "$CLOSING" 60000
answer
finish "signed" 0
check_eq "signed: each stage ran under its title" "$EXPECTED_LOG" "$(stage_log "$target")"
rm -rf "$target"

unsigned=$BUILD_DIR/tests/varnok-setup-unsigned.exe
check_eq "signed, then unsigned: valid" valid "$(inspect_verdict "$unsigned")"
attempt "$unsigned" 1
expect_message_up "signed, then unsigned: warning" "Click OK to continue" "$WARNING"
check "signed, then unsigned: varnok.exe is the package, without the padding" \
    cmp -s "$target/varnok.exe" "$BUILD_DIR/tests/varnok-padded.exe"
answer
expect_message_up "signed, then unsigned: closing message" "Warning, Secret information" "$CLOSING" 60000
answer
finish "signed, then unsigned" 0
check_eq "signed, then unsigned: each stage ran under its title" "$EXPECTED_LOG" "$(stage_log "$target")"
rm -rf "$target"

file=$E2E_WORK/tampered.exe
cp "$signed" "$file"
change_byte "$file" $(($(field32 "$file" 0x30) + $(field32 "$file" 0x34) / 2))
check_eq "tampered: reported invalid" invalid "$(inspect_verdict "$file")"
refused_at_start "signed, a payload byte changed" "$file" "$DAMAGED"

e2e_end
