# What the fault scenarios share: damaged copies of an installer file made
# by hand, the host tool's verdict on them, and one attempt at installing
# from a fresh start of the installer. Source it after lib.sh and
# install-lib.sh.

MKINSTALLER=${MKINSTALLER:-$BUILD_DIR/../host/mkinstaller}

# field32 FILE OFFSET: the unsigned 32-bit little-endian number at OFFSET.
field32() {
    od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '
}

# set_field32 FILE OFFSET VALUE: stores VALUE there, the rest unchanged.
set_field32() {
    python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
with open(sys.argv[1], 'r+b') as f:
    f.seek(int(sys.argv[2], 0))
    f.write(struct.pack('<I', int(sys.argv[3], 0)))
PY
}

# damaged_copy OUTPUT: a copy of the demo installer to damage.
damaged_copy() {
    cp "$BUILD_DIR/varnok-setup-demo.exe" "$1"
}

# inspect_verdict FILE: "valid" when mkinstaller inspect accepts the
# layout, "invalid" when it reports it (exit 1), anything else otherwise.
inspect_verdict() {
    local rc=0
    "$MKINSTALLER" inspect "$1" >/dev/null 2>&1 || rc=$?
    case $rc in
        0) echo valid ;;
        1) echo invalid ;;
        *) echo "exit $rc" ;;
    esac
}

# attempt FILE INDEX: FILE becomes C:\varnok-setup.exe, which is started;
# once its window is up, item INDEX is selected and the button pressed.
attempt() {
    use_demo_installer "$1"
    e2e_start_installer
    quietly driver wait-window 20000 || echo "attempt: no window" >&2
    driver select "$2"
    driver click
}

# finish NAME EXPECTED_CODE: waits for the installer and checks its exit code.
finish() {
    local rc=0
    e2e_wait_installer || rc=$?
    check_eq "$1: exit code $2" "$2" "$rc"
}

# expect_box NAME CAPTION TEXT [TIMEOUT_S]: waits until the installer's
# message box shows exactly this caption and text, and checks them (the box
# is left up). A box found while it is still being made, or the box before
# it, is waited out rather than taken.
expect_box() {
    local deadline=$((SECONDS + ${4:-30})) box
    while :; do
        box=$(driver wait-messagebox 1000 2>/dev/null)
        if { [ "$(field caption "$box")" = "$2" ] && [ "$(field text "$box")" = "$3" ]; } ||
            [ "$SECONDS" -ge "$deadline" ]; then
            break
        fi
        sleep 0.1
    done
    check_eq "$1: caption" "$2" "$(field caption "$box")"
    check_eq "$1: text" "$3" "$(field text "$box")"
}

# press_ok: presses OK on the box that is up, when another box follows at
# once (answer would wait for a moment without any).
press_ok() {
    driver answer-messagebox
}

# many_drives_prefix LETTER:TYPE[:LABEL]...: as e2e_prefix, with the drive
# types written in one registry import, which keeps a prefix with all 26
# letters quick to make.
many_drives_prefix() {
    new_prefix "$E2E_PREFIX"
    remove_drive "$E2E_PREFIX" z
    local reg=$E2E_PREFIX/drive_c/drives.reg spec letter type label dir
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n' >"$reg"
    for spec in "$@"; do
        IFS=: read -r letter type label <<<"$spec"
        if [ "$letter" = c ]; then dir=$E2E_PREFIX/drive_c; else dir=$E2E_WORK/drive_$letter; fi
        mkdir -p "$dir"
        ln -sfn "$dir" "$E2E_PREFIX/dosdevices/$letter:"
        if [ -n "$label" ]; then printf '%s' "$label" >"$dir/.windows-label"; fi
        printf '"%s:"="%s"\r\n' "$letter" "$type" >>"$reg"
    done
    "$WINE_LOADER" regedit /S 'C:\drives.reg' >/dev/null 2>&1
    rm -f "$reg"
    "$WINE_SERVER" -k 2>/dev/null || true
    "$WINE_SERVER" -w 2>/dev/null || true
    cp "$BUILD_DIR/varnok-setup.exe" "$BUILD_DIR/tests/e2e_driver.exe" "$E2E_PREFIX/drive_c/"
}
