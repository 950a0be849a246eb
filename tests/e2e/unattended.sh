#!/bin/bash
# Installing with nobody at the screen, as deployment tools do; every run
# is watched for windows of the installer and of what it starts:
#  - /S with a log at a Cyrillic and Chinese path onto D:, with a slow
#    stage made read-only while it runs: no window; meanwhile an unattended
#    copy with the same log ends at once with 1618 and touches nothing, and
#    a person's copy says why in a box and ends with 1618; then 0, every
#    stage and its exit code in the log, the stage that could not be
#    deleted named;
#  - /S again: 1638, nothing touched, the log in %TEMP% says so, made new
#    beside links planted at every name it could take;
#  - /S onto a CD-ROM drive, and an unknown switch: 87, nothing made;
#  - a damaged file with /S: 2;
#  - /PASSIVE onto C:: the window with every stage's title, no box, 0;
#  - D:'s uninstaller: 0, and D:\varnok with the read-only stage program
#    gone when it ends.
# Usage: unattended.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin unattended "$1"
source "$E2E_DIR/install-lib.sh"
source "$E2E_DIR/faults-lib.sh"

e2e_prefix c:hd:SYSTEM d:hd:Data e:cdrom
e2e_display 1024x768
log_dir="Журнал 日志"
mkdir -p "$E2E_PREFIX/drive_c/$log_dir"
# watched FILE: the report of run-watched in FILE, without what the stage
# programs printed into the same output.
watched() { grep -E '^(exit code|windows?):' "$1" | paste -sd'|'; }
temp_logs() { ls "$E2E_PREFIX"/drive_c/users/*/Temp/ 2>/dev/null | grep '^VARNOK-install-'; }
# run NAME [ARGS...]: the installer with ARGS, watched; checks that no
# window was seen and leaves its exit code in $code.
run() {
    local report
    report=$(driver run-watched 'C:\varnok-setup.exe' "${@:2}")
    code=$(field "exit code" "$report")
    check_eq "$1: no window" "windows: none" "$(tail -n 1 <<<"$report")"
}

# -- /S with a log, and two more copies during its slow stage -----------------
VARNOK_SAMPLE_SLOW="tute.exe:$((6 * E2E_TIME_SCALE))" e2e_background e2e_driver.exe \
    run-watched 'C:\varnok-setup.exe' /s -D=d:\\ "/LOG=C:\\$log_dir\\install.log" >"$E2E_WORK/first.txt"
first=$BACKGROUND_PID
check "the slow stage begins" wait_until 60 grep -qs '^tute.exe' "$E2E_WORK/drive_d/varnok/install.log"
(cd "$E2E_PREFIX/drive_c" && "$WINE_LOADER" attrib +r 'D:\varnok\tute.exe')
run "an unattended second copy" /S /D=C: "/LOG=C:\\$log_dir\\install.log"
check_eq "an unattended second copy: 1618" 1618 "$code"
check_eq "the first still runs, nothing on C:" "|no" \
    "$(watched "$E2E_WORK/first.txt")|$(exists "$E2E_PREFIX/drive_c/varnok")"
e2e_background e2e_driver.exe run-watched 'C:\varnok-setup.exe' >"$E2E_WORK/person.txt"
expect_message "a person's copy" Sorry "$ANOTHER_RUNNING"
wait "$BACKGROUND_PID"
check_eq "a person's copy: 1618" 1618 "$(field "exit code" "$(cat "$E2E_WORK/person.txt")")"
wait "$first"
check_eq "/S: 0, no window" "exit code: 0|windows: none" "$(watched "$E2E_WORK/first.txt")"
check_eq "/S: every stage ran" "$(cut -f1 <<<"$EXPECTED_LOG")" \
    "$(stage_log "$E2E_WORK/drive_d/varnok" | cut -f1)"
log=$(tr -d '\r' <"$E2E_PREFIX/drive_c/$log_dir/install.log")
check "the log is UTF-8 with CR LF lines" iconv -f UTF-8 -t UTF-8 "$E2E_PREFIX/drive_c/$log_dir/install.log" -o /dev/null
check_eq "every line stamped" 0 "$(grep -cvE '^20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\.[0-9]{3}  ' <<<"$log")"
for stage in "1: varnok.exe" "2: tute.exe" "3: ex1.exe" "4: ex2.exe" "5: ex3.exe" "6: makelibs.bat"; do
    check "the log: stage $stage ended with exit code 0" grep -q "stage $stage ended with exit code 0$" <<<"$log"
done
check_eq "the log ends with the exit code" "exit code 0: done" "$(tail -n 1 <<<"$log" | cut -c 26-)"
check "the read-only stage is named, and no failure" grep -q "tute.exe could not be deleted: error" <<<"$log"

# -- Refusals: already installed, a drive that cannot be chosen, a wrong switch
damaged=$E2E_PREFIX/drive_c/damaged.exe
damaged_copy "$damaged"
change_byte "$damaged" $(($(stat -c %s "$damaged") - 100))
before=$(drive_roots; find "$E2E_WORK/drive_d" | sort)
# Links at every name of the coming seconds, into a folder of the test's.
temp=$(echo "$E2E_PREFIX"/drive_c/users/*/Temp)
mkdir "$E2E_WORK/planted"
for ((t = $(date +%s); t < $(date +%s) + 10 * E2E_TIME_SCALE; t++)); do
    printf "$E2E_WORK/planted/VARNOK-install-$(date -d "@$t" +%Y%m%d-%H%M%S)%03d.log\n" {0..999}
done | xargs ln -s -t "$temp"
run "/S again" /S /D=D:
check_eq "/S again: 1638" 1638 "$code"
check "/S again: a new log of its own says so" grep -q "exit code 1638: VARNOK is already" \
    "$(find "$temp" -type f -name 'VARNOK-install-*[0-9][0-9][0-9][0-9].log')"
check_eq "/S again: nothing written through a planted link" "" "$(ls "$E2E_WORK/planted")"
find "$temp" -type l -delete
run "a CD-ROM drive" /S /D=E:
check_eq "a CD-ROM drive: 87" 87 "$code"
run "an unknown switch" /S /quiet
check_eq "an unknown switch: 87" 87 "$code"
report=$(driver run-watched 'C:\damaged.exe' /S)
check_eq "a damaged file: 2, no window" "exit code: 2|windows: none" "$(paste -sd'|' <<<"$report")"
check_eq "the refusals touched nothing" "$before" "$(drive_roots; find "$E2E_WORK/drive_d" | sort)"

# -- /PASSIVE: the window and its titles, no box ----------------------------
report=$(driver run-watched 'C:\varnok-setup.exe' /PASSIVE /D=C:)
check_eq "/PASSIVE: 0" 0 "$(field "exit code" "$report")"
check "/PASSIVE: the window was seen" grep -q '^window: vnki_Class ' <<<"$report"
check_eq "/PASSIVE: no box" "" "$(grep '^window: #32770' <<<"$report")"
check_eq "/PASSIVE: each stage ran under its title" "$EXPECTED_LOG" \
    "$(stage_log "$E2E_PREFIX/drive_c/varnok")"

report=$(driver run-watched 'D:\varnok\uninstall.exe' /S)
check_eq "D:'s uninstaller: 0, D:\\varnok gone at its end" "0|no" \
    "$(field "exit code" "$report")|$(exists "$E2E_WORK/drive_d/varnok")"

e2e_end
