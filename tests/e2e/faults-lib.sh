# What the fault scenarios share: damaged copies of an installer file made
# by hand, the host tool's verdict on them, and one attempt at installing
# from a fresh start of the installer. Source it after lib.sh and
# install-lib.sh.

# field32 FILE OFFSET: the unsigned 32-bit little-endian number at OFFSET.
field32() {
    od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '
}

# set_field32 FILE OFFSET VALUE: stores VALUE there, the rest unchanged.
# (Plain shell: the 32-bit test guest has no Python.)
set_field32() {
    local value=$(($3)) bytes
    bytes=$(printf '\\%03o\\%03o\\%03o\\%03o' $((value & 255)) $((value >> 8 & 255)) \
        $((value >> 16 & 255)) $((value >> 24 & 255)))
    printf "$bytes" | dd of="$1" bs=1 seek=$(($2)) conv=notrunc status=none
}

# change_byte FILE OFFSET: adds 1 to the byte at OFFSET, the rest unchanged.
change_byte() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
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

# What the user is told about an installer file that cannot be installed
# from, before any window; the advice is the same for all of them.
GET_NEW_COPY='\r\n\r\nNothing has been installed. Please get a new copy\r\nof the installer and run that one.'
INCOMPLETE="This installer file is incomplete: part of it is\\r\\nmissing, as when a download is cut short.$GET_NEW_COPY"
DAMAGED="This installer file is damaged: its package is not\\r\\nthe one it was made with.$GET_NEW_COPY"
NOT_A_PROGRAM="This installer file is damaged: its package is not\\r\\na Windows program.$GET_NEW_COPY"
NO_PACKAGE="This installer file holds no package.$GET_NEW_COPY"

# drive_roots: what the root of every drive of the prefix holds.
drive_roots() {
    local root
    for root in "$E2E_PREFIX/drive_c" "$E2E_WORK"/drive_?; do
        echo "$(basename "$root"): $(ls -A "$root" | tr '\n' ' ')"
    done
}

# refused_at_start NAME FILE TEXT: FILE, started as C:\varnok-setup.exe,
# opens no window: a message box with TEXT says why, and after OK the
# installer ends with exit code 2, having written nothing on any drive.
refused_at_start() {
    local before
    use_demo_installer "$2"
    before=$(drive_roots)
    e2e_start_installer
    expect_message_up "$1: message" "Sorry" "$3" 60000
    check_eq "$1: no window" 0 "$(driver count-windows)"
    answer
    finish "$1" 2
    check_eq "$1: nothing written on any drive" "$before" "$(drive_roots)"
}
