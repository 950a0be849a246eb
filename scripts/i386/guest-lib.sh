# What the jobs that run inside the i386 guest share (sourced by suite and
# bench). guest_checkout REPO mounts the host's folder, shared as
# /host, again at REPO, its path on the host, so that every absolute path
# of the build tree is valid, and cds there. Wine prefixes and the
# scenarios' work folders stay on the guest's own disk, which 9p would make
# slow. The prefix made when the guest was built is the template of the runs.

say() { echo "varnok-suite: $*"; }

guest_checkout() {
    local repo=$1 local_disk=/var/lib/varnok
    mkdir -p "$repo"
    mount --bind /host "$repo" || { say "cannot mount the checkout at $repo"; return 1; }
    cd "$repo" || return 1
    # Programs run from the guest's own disk: Wine reads a PE section that
    # is not page-aligned in the file with one read, which 9p may answer
    # short, leaving the rest of the section zero (a test program crashed
    # that way, jumping into zeros). So the win32 build is copied there and
    # mounted over its place; what the tests write for the host goes to
    # build/logs and is copied back by guest_results.
    mkdir -p "$local_disk/win32"
    tar -C build/win32 --exclude=./googletest --exclude=./CMakeFiles --exclude='*.o' \
        --exclude='*.obj' --exclude=./e2e -cf - . | tar -C "$local_disk/win32" -xf - ||
        { say "cannot copy the win32 build to the guest's disk"; return 1; }
    mount --bind "$local_disk/win32" build/win32
    # One folder for the prefixes and the work folders, since a prefix is a
    # hard-linked copy of the template.
    mkdir -p build/win32/e2e
    mount --bind "$local_disk" build/win32/e2e
    export WINE_LOADER=/usr/lib/wine/wine WINE_SERVER=/usr/lib/wine/wineserver
    export WINE_ROOT=$repo/build/win32/e2e/wine
    export MKINSTALLER=$repo/build/host32/mkinstaller
    source scripts/wine-lib.sh
    [ -f "$WINE_ROOT/template/system.reg" ] || { say "the guest has no Wine prefix"; return 1; }
    echo "$TEMPLATE_KIND" >"$WINE_ROOT/template/.ready"
}

# guest_results: what the tests made for the host (screenshots) goes back to
# build/i386/ on the host.
guest_results() {
    mkdir -p /host/build/i386
    [ -d build/win32/screenshots ] && cp -r build/win32/screenshots /host/build/i386/
    sync
}
