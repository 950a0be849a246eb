#!/bin/bash
# DLLs planted beside the installer. Windows looks in a program's own folder
# first for every DLL that is not one of its KnownDLLs, so whoever can put a
# file next to a downloaded installer (the Downloads folder) can have code
# run inside it when the system loads a DLL by name. The installer must load
# none of them.
#
# Copies of the marker DLL (tests/planted) go beside C:\varnok-setup.exe
# under the names of the system DLLs that are loaded by name into a window
# program after it has started: by the window system, message boxes,
# theming. Each copy that is loaded appends "its path TAB the process" to
# C:\planted-dll-marks.txt and refuses to attach. Wine is told to
# take the program folder's copy of those names first ("n,b"), which is what
# Windows does. First a plain window program in the same folder must load
# the planted uxtheme.dll (otherwise the bench could not see planting at
# all); then a complete installation onto D: from that folder must leave no
# mark.
# Usage: install_planted_dlls.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin install_planted_dlls "$1"
source "$E2E_DIR/install-lib.sh"

# Loaded by name after the program's first instruction, the same under
# 64-bit and 32-bit Wine 8: uxtheme when the first window is made; ole32,
# delay-loaded by imm32 when a window takes the keyboard focus, with its
# imports combase and rpcrt4; msimg32, delay-loaded by uxtheme when it
# draws. dwmapi: Windows loads it into window programs (Wine 8 does not).
# Names loaded while the process starts, before it runs any code of its own
# (under Wine: version, imported by user32, and imm32, which user32 loads
# as it attaches), are left out: no program can keep those out. Names that
# the installer does not load first (winmm, cryptbase, profapi, wtsapi32)
# are planted as well: a DLL loaded by name that the list lacks shows.
PLANTED_NAMES="uxtheme dwmapi ole32 combase rpcrt4 msimg32 winmm cryptbase profapi wtsapi32"
MARKS=$E2E_PREFIX/drive_c/planted-dll-marks.txt
# Only the programs under test get the overrides: the driver lies in C:\
# too, and must not load the planted copies itself.
PLANTED_OVERRIDES="$WINEDLLOVERRIDES;$(tr ' ' , <<<"$PLANTED_NAMES")=n,b"

# marks: one line per planted DLL that was loaded: "DLL from PROCESS".
marks() {
    tr -d '\r' <"$MARKS" 2>/dev/null | awk -F '\t' '{ printf "%s from %s\n", $1, $2 }'
}

# check_no_marks NAME: no planted DLL has been loaded so far.
check_no_marks() {
    local found
    found=$(marks)
    if [ -z "$found" ]; then
        pass "$1"
    else
        fail "$1" "planted DLLs were loaded: $(sed -z 's/\n$//; s/\n/; /g' <<<"$found")"
    fi
}

e2e_prefix c:hd:SYSTEM d:hd:Data
use_demo_installer
cp "$BUILD_DIR/tests/plain_window.exe" "$E2E_PREFIX/drive_c/"
for name in $PLANTED_NAMES; do
    cp "$BUILD_DIR/tests/planted.dll" "$E2E_PREFIX/drive_c/$name.dll"
done
e2e_display 1024x768

# -- The bench sees planting: a plain window program loads uxtheme.dll -------
# It loads the planted ole32.dll too, which refuses to attach; Wine then
# reports "unimplemented function ole32.dll.CoRegisterInitializeSpy" for
# what imm32 wanted from it, and the program goes on.
WINEDLLOVERRIDES=$PLANTED_OVERRIDES e2e_background plain_window.exe
rc=0
wait "$BACKGROUND_PID" || rc=$?
if [ "$rc" -eq 124 ]; then rc="124 (still running after $((E2E_TIMEOUT * E2E_TIME_SCALE)) s: ended)"; fi
check_eq "plain window program: exit code 0" 0 "$rc"
loaded=$(marks)
name="plain window program loaded the planted uxtheme.dll"
if grep -qxF 'C:\uxtheme.dll from C:\plain_window.exe' <<<"$loaded"; then
    pass "$name"
else
    fail "$name" "the bench cannot see planting; marks: $(sed -z 's/\n$//; s/\n/; /g' <<<"${loaded:-none}")"
fi
rm -f "$MARKS"

# -- A complete installation from that folder loads none of them ------------
WINEDLLOVERRIDES=$PLANTED_OVERRIDES e2e_start_installer
check "window appears" quietly driver wait-window 20000
check_no_marks "no planted DLL loaded while the window was made"
driver select 1
driver click
expect_message_up "warning" "Click OK to continue" "$WARNING"
answer
expect_message_up "closing message" "Warning, Secret information" "$CLOSING" 120000
answer
rc=0
e2e_wait_installer || rc=$?
check_eq "complete run ends with exit code 0" 0 "$rc"
check_eq "each stage saw its title" "$EXPECTED_LOG" "$(stage_log "$E2E_WORK/drive_d/varnok")"
check_no_marks "no planted DLL loaded during the whole installation"

e2e_end
