# The installation driven onto a drive D: as the end-to-end scenarios do
# (tests/e2e/install.sh), for two measurements. Sourced by scripts/bench
# and, in the i386 guest, by scripts/i386/bench, after
# scripts/wine-lib.sh and with DISPLAY set.
#
#   stages_prefix PREFIX DRIVER    a prefix with the fixed drives C: and D:
#                                  only, its server and services running,
#                                  and the e2e driver program in C:\
#   stages_run PREFIX INSTALLER OUT cpu|gaps
#                                  one installation with C:\INSTALLER;
#     cpu:  with tute.exe made to take ten seconds (VARNOK_SAMPLE_SLOW),
#           adds to OUT "cpu US", the CPU time of the installer's process
#           from the moment its title shows the tutorials stage until it
#           shows the next one (e2e_driver stage-cpu), and "wall MS", how
#           long that took;
#     gaps: with every program of the sample package writing time stamps
#           as it starts and ends (VARNOK_SAMPLE_TIMES), adds four lines
#           "gap MS", from the end of varnok.exe, tute.exe, ex1.exe and
#           ex2.exe to the start of the next program, and "cmd MS", from
#           the end of ex3.exe to the start of logtitle.exe, which
#           makelibs.bat runs first (so Wine's cmd starting is in it).
#           These runs have no watcher, whose reading and ending would
#           fall into the gaps around the stage it watches.
#   stages_summary OUT KIND        the median and the largest value of KIND
#
# A failure says what went wrong, with the installer's state as the driver
# sees it and what the driver and the installer wrote on stderr, and ends
# the script. Time limits are multiplied by E2E_TIME_SCALE, as the driver's.

STAGES_SCALE=${E2E_TIME_SCALE:-1}

stages_prefix() {
    local prefix=$1
    new_prefix "$prefix"
    remove_drive "$prefix" z
    map_drives "$prefix" "$prefix" c:hd d:hd:Data
    # Started with no pipe of ours, which they would keep open.
    WINEPREFIX=$prefix "$WINE_SERVER" -p </dev/null >/dev/null 2>&1
    WINEPREFIX=$prefix "$WINE_LOADER" wineboot </dev/null >/dev/null 2>&1
    cp "$2" "$prefix/drive_c/e2e_driver.exe"
}

# stages_driver PREFIX SUBCOMMAND [ARGS...]: the driver's output, without CRs.
stages_driver() {
    local prefix=$1
    shift
    (cd "$prefix/drive_c" && WINEPREFIX=$prefix exec "$WINE_LOADER" 'C:\e2e_driver.exe' "$@" \
        2>>"$prefix/driver.err") | tr -d '\r'
}

stages_failed() {
    local prefix=$1 log
    echo "bench: $2" >&2
    echo "bench: the installer's state (e2e_driver status):" >&2
    stages_driver "$prefix" status >&2 || true
    for log in "$prefix/driver.err" "$prefix/installer.err"; do
        if [ -s "$log" ]; then
            echo "bench: $log:" >&2
            grep -v 'FS volume label' "$log" >&2 || true
        fi
    done
    exit 1
}

# stages_caption PREFIX TIMEOUT_MS: the caption of the installer's message
# box once one is up.
stages_caption() {
    stages_driver "$1" wait-messagebox "$2" | sed -n 's/^caption: //p'
}

# stages_watch PREFIX NAME: starts e2e_driver stage-cpu on the tutorials
# stage, its output straight into C:\cpu.txt (with CRs, so that its first
# line is there at once), and waits until it has the installer's process.
stages_watch() {
    local prefix=$1 c=$1/drive_c i
    (cd "$c" && WINEPREFIX=$prefix exec "$WINE_LOADER" 'C:\e2e_driver.exe' stage-cpu \
        "Installing Tarvesh's Tutorials" 60000 >"$c/cpu.txt" 2>>"$prefix/driver.err") &
    STAGES_WATCHER=$!
    for i in $(seq $((300 * STAGES_SCALE))); do
        grep -q '^watching:' "$c/cpu.txt" && return 0
        kill -0 "$STAGES_WATCHER" 2>/dev/null || break
        sleep 0.1
    done
    stages_failed "$prefix" "$2: stage-cpu did not begin watching: $(cat "$c/cpu.txt")"
}

# stages_gaps TIMES: the gap lines from a file of time stamps.
stages_gaps() {
    tr -d '\r' <"$1" | awk -F'\t' '
        { at[$1 " " $2] = $3; hz = $4 }
        END {
            n = split("varnok.exe tute.exe ex1.exe ex2.exe ex3.exe logtitle.exe", p, " ")
            for (i = 1; i < n; i++) {
                if (!((p[i] " end") in at) || !((p[i + 1] " start") in at)) {
                    print "no time stamp of the end of " p[i] " or the start of " p[i + 1]
                    exit 1
                }
                printf "%s %.3f\n", i < n - 1 ? "gap" : "cmd", (at[p[i + 1] " start"] - at[p[i] " end"]) * 1000 / hz
            }
        }'
}

stages_run() {
    local prefix=$1 installer=$2 out=$3 kind=$4 c=$1/drive_c pid index rc=0 gaps
    local slow='' times=''
    if [ "$kind" = cpu ]; then slow=tute.exe:10; else times='C:\times.txt'; fi
    rm -rf "$prefix/drive_d/varnok" "$c/times.txt" "$c/cpu.txt"
    : >"$prefix/driver.err"
    : >"$prefix/installer.err"
    (cd "$c" && WINEPREFIX=$prefix VARNOK_SAMPLE_SLOW=$slow VARNOK_SAMPLE_TIMES=$times \
        exec timeout $((300 * STAGES_SCALE)) "$WINE_LOADER" "C:\\$installer" \
        </dev/null >/dev/null 2>>"$prefix/installer.err") &
    pid=$!
    stages_driver "$prefix" wait-window 30000 >/dev/null ||
        stages_failed "$prefix" "$installer: no window"
    index=$(stages_driver "$prefix" items | grep '^item: ' | grep -n '^item: DRIVE D:' | cut -d: -f1 || true)
    [ -n "$index" ] || stages_failed "$prefix" "$installer: no drive D: in the list"
    { stages_driver "$prefix" select $((index - 1)) && stages_driver "$prefix" click; } ||
        stages_failed "$prefix" "$installer: cannot select D: and press Install"
    [ "$(stages_caption "$prefix" 20000)" = "Click OK to continue" ] ||
        stages_failed "$prefix" "$installer: no warning after Install"
    if [ "$kind" = cpu ]; then stages_watch "$prefix" "$installer"; fi
    stages_driver "$prefix" answer-messagebox || stages_failed "$prefix" "$installer: cannot answer the warning"
    if [ "$kind" = cpu ]; then
        wait "$STAGES_WATCHER" || stages_failed "$prefix" "$installer: stage-cpu failed: $(cat "$c/cpu.txt")"
    fi
    [ "$(stages_caption "$prefix" 60000)" = "Warning, Secret information" ] ||
        stages_failed "$prefix" "$installer: no closing message"
    stages_driver "$prefix" answer-messagebox || stages_failed "$prefix" "$installer: cannot answer the closing message"
    wait "$pid" || rc=$?
    [ "$rc" -eq 0 ] || stages_failed "$prefix" "$installer ended with exit code $rc"
    if [ "$kind" = cpu ]; then
        tr -d '\r' <"$c/cpu.txt" | sed -n 's/^cpu-us: /cpu /p; s/^wall-ms: /wall /p' >>"$out"
    else
        gaps=$(stages_gaps "$c/times.txt") ||
            stages_failed "$prefix" "$installer: $gaps; the time stamps: $(tr '\r\n' ' |' <"$c/times.txt")"
        echo "$gaps" >>"$out"
    fi
}

stages_summary() {
    sed -n "s/^$2 //p" "$1" | sort -g |
        awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[NR] }'
}
