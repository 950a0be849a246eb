#!/bin/bash
# A crowded machine: all 26 drive letters in use (A: and B: floppies, seven
# fixed disks among CD-ROM and network drives, Z: fixed), drive D: with a
# volume label of 40 characters, and the installer started from a folder
# whose path is 200 characters long.
#  - The user sees every fixed disk, Z: included, in letter order and
#    nothing else; D:'s label is cut to its first 36 characters.
#  - Choosing D: installs there: the warning, the closing message, exit
#    code 0; the package lands in D:\varnok and on no other drive.
# Usage: faults_drives.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin faults_drives "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"

long_label="A Label Of Forty Characters For Drive D!"
fixed="c d h k m q z"
specs=()
for letter in a b c d e f g h i j k l m n o p q r s t u v w x y z; do
    case $letter in
        a | b) type=floppy ;;
        c | d | h | k | m | q | z) type=hd ;;
        e | i | n | s | w) type=cdrom ;;
        *) type=network ;;
    esac
    label="Disk ${letter^^}"
    if [ "$letter" = d ]; then label=$long_label; fi
    specs+=("$letter:$type:$label")
done
e2e_prefix "${specs[@]}"

# C:\ and the folders below it: 200 characters in all, spaces included.
folder='C:\Setup Files For The Workstations Of The Office'
while [ ${#folder} -lt 190 ]; do folder+='\Another Level Of Folders For The Test'; done
folder=${folder:0:199}x
check_eq "the folder path has 200 characters, the label 40" "200 40" "${#folder} ${#long_label}"
linux_folder=$E2E_PREFIX/drive_c/$(tr '\\' / <<<"${folder#C:\\}")
mkdir -p "$linux_folder"
cp "$BUILD_DIR/varnok-setup-demo.exe" "$linux_folder/varnok-setup.exe"
rm -f "$E2E_PREFIX/drive_c/varnok-setup.exe"

e2e_display 1024x768
e2e_background "${folder#C:\\}\\varnok-setup.exe"
INSTALLER_PID=$BACKGROUND_PID
check "window appears" quietly driver wait-window 20000

expected="item: DRIVE C: (Disk C)
item: DRIVE D: (${long_label:0:36})
item: DRIVE H: (Disk H)
item: DRIVE K: (Disk K)
item: DRIVE M: (Disk M)
item: DRIVE Q: (Disk Q)
item: DRIVE Z: (Disk Z)
selection: -1"
check_eq "every fixed disk, in letter order" "$expected" "$(driver items)"

driver select 1
driver click
expect_message_up "install onto D:, warning" "Click OK to continue" "$WARNING"
check "the payload is written whole" \
    cmp -s "$E2E_WORK/drive_d/varnok/varnok.exe" "$BUILD_DIR/sample/varnok.exe"
answer
expect_message_up "closing message" "Warning, Secret information" "$CLOSING" 60000
answer
finish "installation from the long folder" 0

check_eq "each stage ran under its title" "$EXPECTED_LOG" "$(stage_log "$E2E_WORK/drive_d/varnok")"
check_eq "the package's work is on D:" yes "$(exists "$E2E_WORK/drive_d/varnok/lib/index.txt")"
elsewhere=
for letter in $fixed; do
    if [ "$letter" = c ]; then dir=$E2E_PREFIX/drive_c; else dir=$E2E_WORK/drive_$letter; fi
    if [ "$letter" != d ] && [ -e "$dir/varnok" ]; then elsewhere+="$letter "; fi
done
check_eq "nothing on the other fixed disks" "" "$elsewhere"
check_eq "the installer file is left alone" yes "$(exists "$linux_folder/varnok-setup.exe")"

e2e_end
