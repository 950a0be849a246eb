#!/bin/bash
# WriteWholeFile on a file that cannot be opened for writing: an immutable
# Linux file (chattr +i binds root too) must give 70 and keep its content.
# Usage: bash services_immutable_file.sh WIN64_BUILD_DIR
set -u
build=$1
source "$(dirname "$0")/../../scripts/wine-lib.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "services_immutable_file: needs root for chattr +i; skipped"
    exit 0
fi

work=$(mktemp -d /tmp/services_immutable.XXXXXX)
file=$work/locked.bin
content="this content must stay"
# Beside the scenarios' work folders (one file system with the template
# prefix, which new_prefix hard-links).
prefix=$build/e2e/services_immutable_file-$$/prefix
cleanup() {
    end_prefix "$prefix"
    chattr -i "$file" 2>/dev/null
    rm -rf "$work" "$(dirname "$prefix")"
}
trap cleanup EXIT

printf '%s' "$content" >"$file"
if ! chattr +i "$file"; then
    echo "services_immutable_file: FAILED: chattr +i did not work on $file"
    exit 1
fi
new_prefix "$prefix"
SVC_IMMUTABLE_FILE="Z:${file//\//\\}" SVC_IMMUTABLE_CONTENT=$content WINEPREFIX=$prefix \
    "$WINE_LOADER" "$build/tests/services_files_test.exe" \
    --gtest_filter=WriteWholeFile.AnImmutableFileStaysUntouched 2>&1 | tee "$work/out.txt"
if ! grep -q '^\[  PASSED  \] 1 test' "$work/out.txt" || grep -q SKIPPED "$work/out.txt"; then
    echo "services_immutable_file: FAILED: the immutable-file case did not pass (see above)"
    exit 1
fi
if [ "$(cat "$file")" != "$content" ]; then
    echo "services_immutable_file: FAILED: the file's content changed"
    exit 1
fi
echo "services_immutable_file: passed"
