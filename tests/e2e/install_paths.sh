#!/bin/bash
# The other ways through the installation: the refusal when \varnok already
# exists as a directory or as a plain file (nothing changes, the folder can
# be renamed while the installer is open), a stage whose program is
# missing (a broken package: the installation fails and leaves nothing),
# and a program of a stage's name lying next to the installer, which must
# never run in place of the missing one in the target directory.
# Usage: install_paths.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin install_paths "$1"
source "$E2E_DIR/install-lib.sh"

e2e_prefix c:hd:SYSTEM d:hd:Data e:hd:Spare
use_demo_installer
mkdir -p "$E2E_WORK/drive_d/varnok"
echo "an earlier installation" >"$E2E_WORK/drive_d/varnok/keep.txt"
echo "a plain file" >"$E2E_WORK/drive_e/varnok"
snapshot() { (cd "$E2E_WORK" && find drive_d drive_e -printf '%p %s\n' | sort); }
before=$(snapshot)

# A planted tute.exe beside the installer: a naive search would find it,
# since the package below leaves its own tute.exe out.
cp "$BUILD_DIR/sample/stages/ex1.exe" "$E2E_PREFIX/drive_c/tute.exe"
export VARNOK_SAMPLE_LEAVE_OUT=tute.exe

e2e_display 1024x768
e2e_start_installer
check "window appears" quietly driver wait-window 20000
controls=$(driver controls)

driver select 1
driver click
expect_message "existing directory: refusal" "Sorry" "$REFUSAL"
# As the message advises, the user renames the old folder while the
# installer stays open: the installer must not hold it as its current one.
check "the refused folder can be renamed" driver move 'D:\varnok' 'D:\varnok.old'
check "and renamed back" driver move 'D:\varnok.old' 'D:\varnok'
driver select 2
driver click
expect_message "plain file named varnok: refusal" "Sorry" "$REFUSAL"
check_eq "refusals change nothing on disk" "$before" "$(snapshot)"
check_eq "refusals leave the controls" "$controls" "$(driver controls)"

# Drive C: then installs, until tute.exe cannot be started: the planted one
# is not taken in its place, and C:\varnok is removed.
driver select 0
driver click
expect_message "C: installs: warning" "Click OK to continue" "$WARNING"
expect_message_up "missing tute.exe" "Sorry" "$(stage_failure tute.exe C)" 120000
answer
rc=0
e2e_wait_installer || rc=$?
check_eq "missing tute.exe: exit code 1603" 67 "$rc"
check_eq "missing tute.exe: C:\\varnok removed" no "$(exists "$E2E_PREFIX/drive_c/varnok")"
check_eq "the planted program is untouched" yes "$(exists "$E2E_PREFIX/drive_c/tute.exe")"

e2e_end
