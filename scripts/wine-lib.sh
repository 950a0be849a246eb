# Shared shell functions for running Windows test programs under 64-bit Wine.
# Sourced by scripts/wine-run, scripts/test, scripts/demo and the end-to-end tests.

WINE_LOADER=${WINE_LOADER:-/usr/lib/wine/wine64}
WINE_SERVER=${WINE_SERVER:-/usr/lib/wine/wineserver}
REPO_ROOT=${REPO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
WINE_ROOT=${WINE_ROOT:-$REPO_ROOT/build/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# Wine maps Unix file names through the locale's character set: without a
# locale (a fresh machine, CI) a folder name outside ASCII cannot be
# reached. C.UTF-8 is part of every Debian system.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# The template prefix is made once with wineboot; every run gets a
# hard-linked copy of it (instant, and it costs almost no disk space).
TEMPLATE_KIND="$(basename "$WINE_LOADER") prefix, registry copied per run, no crash dialog, $LC_ALL"
wine_template() {
    local template=$WINE_ROOT/template
    mkdir -p "$WINE_ROOT"
    (
        flock 9
        # The mark names the template's kind; an older or unfinished one is
        # made again.
        if [ "$(cat "$template/.ready" 2>/dev/null)" != "$TEMPLATE_KIND" ]; then
            rm -rf "$template"
            WINEPREFIX=$template "$WINE_LOADER" wineboot -i >/dev/null 2>&1
            no_crash_dialog "$template"
            WINEPREFIX=$template "$WINE_SERVER" -w
            echo "$TEMPLATE_KIND" >"$template/.ready"
        fi
    ) 9>"$WINE_ROOT/template.lock"
}

# no_crash_dialog PREFIX: a program that crashes ends at once, with Wine's
# backtrace on stderr, instead of waiting for someone to close a dialog.
no_crash_dialog() {
    WINEPREFIX=$1 "$WINE_LOADER" reg add 'HKCU\Software\Wine\WineDbg' \
        /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
}

# new_prefix DIR: a fresh prefix at DIR (drive C: and Z:, which maps /).
new_prefix() {
    local dir=$1
    wine_template
    rm -rf "$dir"
    mkdir -p "$(dirname "$dir")"
    cp -al "$WINE_ROOT/template" "$dir"
    rm -f "$dir/.ready"
    # Wine rewrites the registry files and the .ini files in place: each
    # prefix gets copies of its own, so that nothing leaks into the template.
    local file
    for file in "$dir"/*.reg "$dir"/drive_c/windows/*.ini; do
        [ -f "$file" ] && cp --remove-destination "$WINE_ROOT/template/${file#"$dir"/}" "$file"
    done
    return 0
}

# remove_drive PREFIX LETTER: for tests that need an exact drive list.
remove_drive() {
    rm -f "$1/dosdevices/$2:"
}

# map_drives PREFIX FOLDER LETTER:TYPE[:LABEL]...: links and types the
# drives (TYPE hd, cdrom, network or floppy; LABEL the volume label). C:
# keeps the prefix's own drive_c; any other letter X gets FOLDER/drive_x.
# The types go in with one registry import, and the server is ended after
# it, since Wine reads the drives only when its services start. Call it
# before the first program starts in that prefix.
map_drives() {
    local prefix=$1 folder=$2 spec letter type label dir
    shift 2
    local reg=$prefix/drive_c/drives.reg
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n' >"$reg"
    for spec in "$@"; do
        IFS=: read -r letter type label <<<"$spec"
        if [ "$letter" = c ]; then dir=$prefix/drive_c; else dir=$folder/drive_$letter; fi
        mkdir -p "$dir"
        ln -sfn "$dir" "$prefix/dosdevices/$letter:"
        if [ -n "$label" ]; then printf '%s' "$label" >"$dir/.windows-label"; fi
        printf '"%s:"="%s"\r\n' "$letter" "$type" >>"$reg"
    done
    WINEPREFIX=$prefix "$WINE_LOADER" regedit /S 'C:\drives.reg' >/dev/null 2>&1
    rm -f "$reg"
    WINEPREFIX=$prefix "$WINE_SERVER" -k 2>/dev/null || true
    WINEPREFIX=$prefix "$WINE_SERVER" -w 2>/dev/null || true
}

end_prefix() {
    WINEPREFIX=$1 "$WINE_SERVER" -k 2>/dev/null || true
}

# ensure_display [SIZE]: start an Xvfb of our own when no display is set (or
# FORCE_XVFB is set). Xvfb chooses a free display number itself (-displayfd)
# by taking that number's lock, so two scripts that start one at the same
# moment always get two displays; a script that chose the number by looking
# for lock files could pick the one that another Xvfb was just taking, and
# then share that Xvfb until its owner stopped it. Xvfb writes the number
# once it accepts connections.
XVFB_PID=
ensure_display() {
    local size=${1:-1024x768x24}
    if [ -n "${DISPLAY-}" ] && [ -z "${FORCE_XVFB-}" ]; then return 0; fi
    local numberfile
    numberfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 300); do
        if [ "$(wc -l <"$numberfile")" -ge 1 ]; then
            export DISPLAY=":$(head -n 1 "$numberfile")"
            rm -f "$numberfile"
            return 0
        fi
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$numberfile"
    stop_display
    echo "could not start Xvfb" >&2
    return 1
}

stop_display() {
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; XVFB_PID=; fi
}
