#!/bin/bash
# Installer files that lost bytes, as after a download cut short, or whose
# payload length field does not fit the file. Each is refused when it starts,
# before the window: one message says what happened and to get a new copy,
# the installer ends with exit code 2, and nothing is written on any drive.
# A file cut after the installer has started changes nothing: the package
# checked at start-up is installed.
# Usage: faults_payload_length.sh BUILD_DIR
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
image=$((size - length))
check_eq "the undamaged installer is valid" valid "$(inspect_verdict "$demo")"

# cut NAME BYTES: the demo installer's first BYTES bytes.
cut() {
    head -c "$2" "$demo" >"$E2E_WORK/$1.exe"
    echo "$E2E_WORK/$1.exe"
}

for spec in "cut by one byte:$((size - 1))" "cut to half the payload:$((image + length / 2))" \
            "cut to the image alone:$image"; do
    name=${spec%%:*}
    file=$(cut "${name// /-}" "${spec##*:}")
    check_eq "$name: reported invalid" invalid "$(inspect_verdict "$file")"
    refused_at_start "$name" "$file" "$INCOMPLETE"
done

# -- payloadLength 0, and larger than the file ----------------------------------
file=$E2E_WORK/length-0.exe
damaged_copy "$file"
set_field32 "$file" 0x34 0
check_eq "length 0: reported invalid" invalid "$(inspect_verdict "$file")"
refused_at_start "length 0" "$file" "$NO_PACKAGE"

file=$E2E_WORK/length-larger.exe
damaged_copy "$file"
set_field32 "$file" 0x34 $((size + 1000))
check_eq "length larger than the file: reported invalid" invalid "$(inspect_verdict "$file")"
refused_at_start "length larger than the file" "$file" "$INCOMPLETE"

# -- The file cut after the installer has started -------------------------------
# The package read and checked at start-up is what gets installed: a cut
# copy renamed over the file while the window is up changes nothing.
use_demo_installer
e2e_start_installer
check "cut after the start: window appears" quietly driver wait-window 20000
head -c "$((image + length / 2))" "$demo" >"$E2E_PREFIX/drive_c/cut.exe"
mv "$E2E_PREFIX/drive_c/cut.exe" "$E2E_PREFIX/drive_c/varnok-setup.exe"
driver select 1
driver click
expect_message_up "cut after the start: warning" "Click OK to continue" "$WARNING"
check "cut after the start: the package written whole" \
    cmp -s "$E2E_WORK/drive_d/varnok/varnok.exe" "$BUILD_DIR/sample/varnok.exe"
answer
expect_message_up "cut after the start: closing message" "Warning, Secret information" "$CLOSING" 60000
answer
finish "cut after the start" 0

e2e_end
