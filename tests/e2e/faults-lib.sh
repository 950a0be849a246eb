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
