#!/bin/bash
# run_probe.sh CASE INSTALLER PAYLOAD: runs the packed payload probe under
# 64-bit Wine in a prefix of its own and checks what it wrote.
#   identical    run from C:\setup: "varnok.exe" is the payload, byte for byte
#   deep_folder  run from a folder whose path is 200 characters long
#   wide_folder  run from a folder whose name the ANSI code page cannot
#                spell (Cyrillic and Chinese letters)
#   truncated    the installer's file is cut inside its header while the
#                probe runs: the payload is refused, nothing written
#   write_fails  "varnok.exe" is a folder: failure reported with the write's
#                error number
set -u
source "$(dirname "$0")/../../scripts/wine-lib.sh"
case_name=$1 installer=$2 payload=$3

prefix=$WINE_ROOT/run/packed-$case_name-$$
new_prefix "$prefix"
export WINEPREFIX=$prefix
c=$prefix/drive_c
mkdir -p "$c/target"
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# run_from WINDOWS_FOLDER [ARGS...]: copies the installer into the folder
# (under C:) and runs it there with C:\target as the current directory;
# sets $rc and $report.
run_from() {
    local folder=$1; shift
    local linux=$c/${folder#C:\\}
    linux=${linux//\\//}
    mkdir -p "$linux"
    cp "$installer" "$linux/payload_installer.exe"
    (cd "$c/target" && "$WINE_LOADER" "$linux/payload_installer.exe" "$@" >"$c/report.txt" 2>/dev/null)
    rc=$?
    report=$(tr -d '\r' <"$c/report.txt")
    echo "$folder: exit $rc: $report"
}

expect_payload_written() {
    [ "$rc" -eq 0 ] || fail "exit code $rc, expected 0"
    [ "$report" = "WritePayloadFile: written, error number 0" ] || fail "report: $report"
    cmp "$payload" "$c/target/varnok.exe" || fail "varnok.exe differs from the payload"
}

case $case_name in
identical)
    run_from 'C:\setup'
    expect_payload_written
    [ "$(head -c 2 "$c/target/varnok.exe")" = MZ ] || fail "varnok.exe does not begin with MZ"
    ;;
deep_folder)
    folder='C:'
    n=0
    while [ ${#folder} -lt 200 ]; do
        n=$((n + 1))
        folder="$folder\\folder-$n-of-a-deep-installation-path"
    done
    folder=${folder:0:200}
    [ ${#folder} -eq 200 ] || fail "folder path is ${#folder} characters"
    run_from "$folder"
    expect_payload_written
    ;;
wide_folder)
    run_from 'C:\Установка 安装'
    expect_payload_written
    ;;
truncated)
    # The running image stays intact: a shorter copy is renamed over the
    # installer's path, which is where the probe reads its own file from.
    for size in 55 0; do
        rm -f "$c/target/varnok.exe" "$c/ready" "$c/go"
        mkdir -p "$c/setup"
        cp "$installer" "$c/setup/payload_installer.exe"
        (cd "$c/target" && "$WINE_LOADER" "$c/setup/payload_installer.exe" wait 'C:\ready' 'C:\go' \
            >"$c/report.txt" 2>/dev/null)&
        child=$!
        for _ in $(seq 600); do [ -e "$c/ready" ] && break; sleep 0.1; done
        head -c "$size" "$installer" >"$c/setup/cut.exe"
        mv "$c/setup/cut.exe" "$c/setup/payload_installer.exe"
        touch "$c/go"
        wait "$child"
        rc=$?
        report=$(tr -d '\r' <"$c/report.txt")
        echo "cut to $size bytes: exit $rc: $report"
        [ "$rc" -eq 1 ] || fail "cut to $size: exit code $rc, expected 1"
        # Check 1: not an installer, its own headers cut off.
        [ "$report" = "ExtractPayload: refused, check 1, error number 0" ] || fail "cut to $size: report: $report"
        [ ! -s "$c/target/varnok.exe" ] || fail "cut to $size: varnok.exe holds bytes"
    done
    ;;
write_fails)
    mkdir -p "$c/target/varnok.exe"
    run_from 'C:\setup'
    [ "$rc" -eq 1 ] || fail "exit code $rc, expected 1"
    [ "$report" = "WritePayloadFile: failed, error number 70" ] || fail "report: $report"
    [ -d "$c/target/varnok.exe" ] || fail "the folder varnok.exe is gone"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac

end_prefix "$prefix"
[ "$failures" -eq 0 ] && rm -rf "$prefix"
exit $((failures != 0))
