#!/bin/bash
# What the installer does where going on would do harm:
#  - an item that carries no drive letter, or is too long to read back,
#    counts as no selection;
#  - a drive whose root cannot be written: a message naming D:\varnok and
#    the error number at the creation, nothing written, back to choosing;
#  - a drive too small for the package: a message naming E:\varnok and
#    error 61, the partial varnok.exe and the directory removed, back to
#    choosing, and a second attempt is not refused because of leftovers;
#  - the same drive, with room for the package, filled up while
#    uninstall.exe is written: 112, nothing left but what filled it;
#  - a package that is not a program: pack refuses it, and one packed by
#    hand is refused when the installer starts (exit code 2);
#  - a package that begins like a program but is none: stage 1 cannot
#    start it, the title says "Installation Failed", a message says why,
#    nothing is left and the installer ends with exit code 1603.
# Needs root: it makes a folder immutable and mounts a small tmpfs.
# Usage: install_faults.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin install_faults "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "install_faults: needs root (chattr, mount)" >&2
    exit 1
fi
drive_d=$E2E_WORK/drive_d
drive_e=$E2E_WORK/drive_e
undo_setup() {
    chattr -i "$drive_d" 2>/dev/null
    umount "$drive_e" 2>/dev/null
    e2e_cleanup
}
trap undo_setup EXIT

e2e_prefix c:hd:SYSTEM d:hd:Locked e:hd:Small
use_demo_installer
chattr +i "$drive_d"
mount -t tmpfs -o size=64k tmpfs "$drive_e"
printf 'Small' >"$drive_e/.windows-label"

e2e_display 1024x768
e2e_start_installer
check "window appears" quietly driver wait-window 20000
controls=$(driver controls)

# -- Items that carry no usable drive letter --------------------------------
for item in "NO DRIVE HERE" ": A COLON FIRST" \
            "DRIVE D: (A LABEL FAR TOO LONG TO FIT THE ITEM BUFFER AT ALL)"; do
    index=$(driver add-item "$item")
    driver select "$index"
    driver click
    expect_message "item '$item': no selection" " No Drive Selected" "$NO_SELECTION"
done
check_eq "such items install nothing" "" "$(drive_files "$E2E_PREFIX/drive_c" | grep -x varnok)"

# -- D: cannot be written ------------------------------------------------------
driver select 1
driver click
expect_message "locked root: message" "Sorry" \
    'The directory D:\varnok could not be created (error 70),\r\ncheck that the drive can be written to, or\r\ninstall this package on another drive'
check_eq "locked root: nothing written" "" "$(drive_files "$drive_d")"
check_eq "locked root: back to choosing" "$controls" "$(driver controls)"

# -- E: is too small for the package -------------------------------------------
for attempt in first second; do
    driver select 2
    driver click
    expect_message "full disk, $attempt attempt: message" "Sorry" \
        'The package could not be written to E:\varnok (error 61),\r\ncheck that the drive has room enough, or\r\ninstall this package on another drive'
    check_eq "full disk, $attempt attempt: nothing left on E:" "" "$(drive_files "$drive_e")"
done
check "full disk: the choosing controls are back" \
    grep -q '^id=500 class=Button' <<<"$(driver controls)"
driver close
rc=0
e2e_wait_installer || rc=$?
check_eq "closing after the faults: exit code 0" 0 "$rc"

# -- E: fills up while uninstall.exe is written ----------------------------------
# Room for the package; the disk is filled during the last stage program
# up to 64 KiB, which the last files fit into but uninstall.exe does not.
# The programs deleted after it are held open here, so that their room
# stays taken until the end.
mount -o remount,size=4m "$drive_e"
VARNOK_SAMPLE_SLOW="ex3.exe:$((8 * E2E_TIME_SCALE))" e2e_background e2e_driver.exe \
    run-watched 'C:\varnok-setup.exe' /S /D=E: >"$E2E_WORK/full.txt"
check "full at the end: the last stage begins" wait_until 60 grep -qs '^ex3.exe' "$drive_e/varnok/install.log"
exec 7<"$drive_e/varnok/ex3.exe" 8<"$drive_e/varnok/logtitle.exe"
dd if=/dev/zero of="$drive_e/filler" bs=64k status=none
truncate -s -64K "$drive_e/filler"  # room for the last files, not for uninstall.exe
wait "$BACKGROUND_PID"
exec 7<&- 8<&-
check_eq "full at uninstall.exe: 112, the registration named, only the filler left" "112|1|filler" \
    "$(field "exit code" "$(cat "$E2E_WORK/full.txt")")|$(cat "$E2E_PREFIX"/drive_c/users/*/Temp/VARNOK-install-*.log | grep -c 'E:.varnok could not be registered (error 61)')|$(drive_files "$drive_e")"
rm "$drive_e/filler"

# -- A package that is not a program ---------------------------------------------
# pack refuses it; made by hand in the layout without the integrity record,
# it is refused when the installer starts, before the window.
chattr -i "$drive_d"
printf 'This is not a Windows program.\r\n' >"$E2E_WORK/not-a-program.txt"
rc=0
"$MKINSTALLER" pack "$BUILD_DIR/varnok-setup.exe" "$E2E_WORK/not-a-program.txt" \
    "$E2E_WORK/refused.exe" 2>/dev/null || rc=$?
check_eq "pack refuses a package that is no program" "1 no" "$rc $(exists "$E2E_WORK/refused.exe")"
file=$E2E_WORK/by-hand.exe
image_size=$(stat -c %s "$BUILD_DIR/varnok-setup.exe")
cat "$BUILD_DIR/varnok-setup.exe" "$E2E_WORK/not-a-program.txt" >"$file"
set_field32 "$file" 0x30 "$image_size"
set_field32 "$file" 0x34 "$(stat -c %s "$E2E_WORK/not-a-program.txt")"
refused_at_start "a package that is no program" "$file" "$NOT_A_PROGRAM"

# -- A package that begins like a program but cannot be started -------------------
# Stage 1 cannot start it: the title says "Installation Failed", a message
# says why, nothing is left and the installer ends with exit code 1603 (67
# as Linux sees it).
"$MKINSTALLER" pack "$BUILD_DIR/varnok-setup.exe" \
    "$BUILD_DIR/tests/packed/payload-3110379.bin" "$E2E_PREFIX/drive_c/varnok-setup.exe" >/dev/null
e2e_start_installer
check "window appears again" quietly driver wait-window 20000
driver select 1
driver click
expect_message "bad package: warning first" "Click OK to continue" "$WARNING"
box=$(driver wait-messagebox 30000)
check_eq "bad package: caption" "Sorry" "$(field caption "$box")"
check_eq "bad package: text" "$(stage_failure varnok.exe D 75)" "$(field text "$box")"
check_eq "bad package: title" "Installation Failed" "$(driver title)"
answer
rc=0
e2e_wait_installer || rc=$?
check_eq "bad package: exit code 1603" 67 "$rc"
check_eq "bad package: nothing left on D:" "" "$(drive_files "$drive_d")"

e2e_end
