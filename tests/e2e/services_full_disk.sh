#!/bin/bash
# WriteWholeFile on a full disk: a 1 MiB tmpfs (root only) that a 3 MiB
# write overflows must give the short-write number 61 and leave the file
# closed. Usage: bash services_full_disk.sh WIN64_BUILD_DIR
set -u
build=$1
source "$(dirname "$0")/../../scripts/wine-lib.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "services_full_disk: needs root to mount a tmpfs; skipped"
    exit 0
fi

work=$(mktemp -d /tmp/services_full_disk.XXXXXX)
mnt=$work/disk
# Beside the scenarios' work folders (one file system with the template
# prefix, which new_prefix hard-links).
prefix=$build/e2e/services_full_disk-$$/prefix
mkdir -p "$mnt"
cleanup() {
    end_prefix "$prefix"
    umount "$mnt" 2>/dev/null
    rm -rf "$work" "$(dirname "$prefix")"
}
trap cleanup EXIT

if ! mount -t tmpfs -o size=1m tmpfs "$mnt"; then
    echo "services_full_disk: FAILED: could not mount a 1 MiB tmpfs on $mnt"
    exit 1
fi
new_prefix "$prefix"
# Z: maps /, so the tmpfs is Z:\tmp\...\disk.
SVC_FULL_DISK_DIR="Z:${mnt//\//\\}" WINEPREFIX=$prefix "$WINE_LOADER" \
    "$build/tests/services_files_test.exe" \
    --gtest_filter=WriteWholeFile.AFullDiskGivesTheShortWriteNumber 2>&1 |
    tee "$work/out.txt"
if ! grep -q '^\[  PASSED  \] 1 test' "$work/out.txt" || grep -q SKIPPED "$work/out.txt"; then
    echo "services_full_disk: FAILED: the full-disk case did not pass (see above)"
    exit 1
fi
echo "services_full_disk: passed"
