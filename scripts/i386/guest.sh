# The definition of the i386 test guest and how it is built; sourced by
# scripts/i386-guest. The guest's cache key hashes this file and the two
# init scripts beside it, so any change here builds a new guest.

SUITE=bookworm
# What the tests need inside: Wine, an X server, CTest and the tools of the
# scenarios (ImageMagick for screenshots).
PACKAGES=linux-image-686,busybox-static,wine,wine32,xvfb,xauth,x11-utils,imagemagick,cmake,e2fsprogs,procps,psmisc
# The modules the initramfs loads, in this order (those built into the
# kernel are simply not found).
MODULES="crc32c_generic crc16 mbcache jbd2 ext4 virtio virtio_ring virtio_pci_legacy_dev
virtio_pci_modern_dev virtio_pci virtio_blk netfs fscache 9pnet 9pnet_virtio 9p"

# The Debian mirror the host's own apt uses, so that the guest comes from
# the same place as every other package here.
mirror() {
    local uri
    uri=$(grep -hoE '^(URIs:|deb) +https?://[^ ]+/debian/?( |$)' \
        /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null |
        head -n 1 | awk '{print $2}')
    echo "${uri:-http://deb.debian.org/debian}"
}

# Runs a long step with its output in a log; prints a dot every 10 s so that
# a waiting reader sees it move, and the log's tail if it fails.
step() {
    local what=$1 log=$2; shift 2
    local start=$SECONDS
    printf '   %s ' "$what"
    "$@" >"$log" 2>&1 &
    local pid=$! rc=0
    while kill -0 "$pid" 2>/dev/null; do
        sleep 10
        kill -0 "$pid" 2>/dev/null && printf .
    done
    wait "$pid" || rc=$?
    printf ' %d s\n' $((SECONDS - start))
    if [ "$rc" -ne 0 ]; then
        tail -n 30 "$log" >&2
        die "$what failed (exit $rc; log: $log)"
    fi
}

unpack_all() {
    local root=$1 deb
    for deb in "$root"/var/cache/apt/archives/*.deb; do
        # Keep the merged /usr links (bin -> usr/bin and so on) that
        # debootstrap made: a plain tar would replace them by folders.
        dpkg-deb --fsys-tarfile "$deb" | tar -x --keep-directory-symlink -C "$root"
    done
}

# The part of the packages' own scripts that the tests need, done on the
# host: the links that update-alternatives would make, and Wine's zlib1.dll,
# which libwine's script makes from the MinGW zlib (Wine's user32 loads it).
configure_by_hand() {
    local root=$1 tool arch dll out
    ln -sfn mawk "$root/usr/bin/awk"
    for tool in "$root"/usr/bin/*-im6.q16; do
        ln -sfn "$(basename "$tool")" "${tool%-im6.q16}"
    done
    for arch in i686:i386 x86_64:x86_64; do
        for dll in "$root/usr/${arch%%:*}-w64-mingw32/lib"/zlib*.dll; do
            [ -f "$dll" ] || continue
            out=$root/usr/lib/i386-linux-gnu/wine/${arch#*:}-windows/$(basename "$dll")
            # The DOS header, Wine's builtin mark where the DOS stub begins,
            # then the rest of the file.
            { head -c 64 "$dll"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$dll"; } >"$out"
        done
    done
    [ -f "$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll" ] ||
        die "the guest has no zlib1.dll for Wine"
}

make_initramfs() {
    local root=$1 out=$2 kver=$3
    local dir=$out.d module file
    rm -rf "$dir"
    mkdir -p "$dir/bin" "$dir/lib/modules"
    cp "$root/usr/bin/busybox" "$dir/bin/busybox"
    cp "$HERE/initramfs-init" "$dir/init"
    : >"$dir/modules.order"
    for module in $MODULES; do
        file=$(find "$root/lib/modules/$kver" -name "$module.ko*" | head -n 1)
        if [ -n "$file" ]; then
            cp "$file" "$dir/lib/modules/"
            echo "$module" >>"$dir/modules.order"
        fi
    done
    # busybox's insmod takes the plain module files only.
    find "$dir/lib/modules" -name '*.ko.xz' -exec xz -d {} + 2>/dev/null || true
    (cd "$dir" && find . | sort | cpio -o -H newc --quiet | gzip -9n) >"$out"
    rm -rf "$dir"
}

build() {
    local work=$CACHE/build-$$ root kver logs=$REPO_ROOT/build/i386/guest-build
    # A failed build's folder is kept for a look until the next build.
    rm -rf "$CACHE"/build-* "$logs"
    mkdir -p "$work" "$logs"
    root=$work/root
    say "building the guest $GUEST (this happens once; about 5 minutes)"
    step "downloading Debian $SUITE i386 ($PACKAGES)" "$logs/debootstrap.log" \
        debootstrap --foreign --variant=minbase --arch=i386 --include="$PACKAGES" \
        "$SUITE" "$root" "$(mirror)"
    step "unpacking $(ls "$root"/var/cache/apt/archives/*.deb | wc -l) packages on the host" \
        "$logs/unpack.log" unpack_all "$root"
    rm -f "$root"/var/cache/apt/archives/*.deb
    # debootstrap may leave /proc as a link; the guest mounts a real one.
    rm -rf "$root/proc" && mkdir "$root/proc"
    cp "$root/usr/share/base-passwd/passwd.master" "$root/etc/passwd"
    cp "$root/usr/share/base-passwd/group.master" "$root/etc/group"
    [ -e "$root/bin/sh" ] || ln -s dash "$root/usr/bin/sh"
    configure_by_hand "$root"
    install -m 755 "$HERE/guest-init" "$root/sbin/varnok-init"
    kver=$(ls "$root/lib/modules")
    [ "$(wc -w <<<"$kver")" -eq 1 ] || die "expected one kernel in the guest, found: $kver"
    depmod -b "$root" "$kver"
    cp "$root/boot/vmlinuz-$kver" "$work/vmlinuz"
    step "making the initramfs (kernel $kver)" "$logs/initramfs.log" \
        make_initramfs "$root" "$work/initramfs.gz" "$kver"
    step "making the 8 GiB disk image (sparse)" "$logs/mke2fs.log" \
        mke2fs -q -t ext4 -L varnok -d "$root" "$work/disk.img" 8G
    rm -rf "$root"
    say "first boot: making the Wine prefix inside the guest"
    boot "$work" "$work/disk.img" "" 900 "$logs/prepare-console.log" prepare ||
        die "the guest could not make its Wine prefix (console log: $logs/prepare-console.log)"
    rm -rf "$GUEST"
    mv "$work" "$GUEST"
    # Older guests are stale: only the current key is kept.
    find "$CACHE" -mindepth 1 -maxdepth 1 ! -path "$GUEST" ! -name .lock -exec rm -rf {} +
    say "guest ready: $GUEST"
}

