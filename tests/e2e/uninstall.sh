#!/bin/bash
# Taking VARNOK off again without losing the user's work:
#  - installations on D: and C: have an entry each, with the publisher;
#  - the user changes an installed file, adds one in an installed folder and
#    one in a new folder, and turns an installed folder into a link to a
#    folder outside that holds a copy of an installed file;
#  - refusals that touch nothing (1603): an elevated removal where other
#    users could change the folder, and a machine-wide removal without an
#    administrator's rights, whose marked copy starts nothing (Wine answers
#    for Windows: VARNOK_WINE_STEERABLE, VARNOK_WINE_NOT_ELEVATED);
#  - the quiet uninstall of D: shows nothing and follows no link. Wine
#    cannot remove a Unix symbolic link to a folder through Windows' calls,
#    so there it reports the link as not removed (1603) and keeps the entry
#    and itself, as for a file in use; once the link is gone, run again, it
#    ends with 0, started through S:, a second letter for D:'s folder:
#    exactly the user's files stay, D:'s entry goes, uninstall.exe is gone
#    when it ends and its moved copy within seconds, C: and its entry are untouched,
#    and nothing but the logs is left in the temporary folder;
#  - onto what was kept on D:, /S ends with 1603 and the log counts its
#    files, a person gets the "Sorry" box as ever, and nothing changes;
#  - Wine's own Add/Remove Programs lists C:; asked through it, No ends with
#    1602 and changes nothing; Yes ends with 0 and leaves neither the folder
#    (gone when the uninstaller ends) nor the entry;
#  - D: installs again once the user's folder has been renamed;
#  - a package with a missing stage program ends with 1603 and leaves no
#    folder and no entry, and with the folder swapped for the user's own
#    while it runs, removes nothing of that; a good file installs right after.
# Usage: uninstall.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin uninstall "$1"
source "$E2E_DIR/install-lib.sh"

e2e_prefix c:hd:SYSTEM d:hd:Data
ln -sfn "$E2E_WORK/drive_d" "$E2E_PREFIX/dosdevices/s:"
e2e_display 1024x768
d=$E2E_WORK/drive_d/varnok
c=$E2E_PREFIX/drive_c/varnok
temp=$(echo "$E2E_PREFIX"/drive_c/users/*/Temp)
# watched: what run-watched reported, without what the stage programs printed.
watched() { grep -E '^(exit code|windows?):' | paste -sd'|'; }
tree() { (cd "$1" 2>/dev/null && find . -mindepth 1 | sort | paste -sd' '); }
entry_values() { driver entry "$1" | paste -sd'|'; }
publisher=$(sed -n 's/^#define VARNOK_PUBLISHER "\(.*\)"$/\1/p' "$BUILD_DIR/generated/varnok_version.h")

for drive in D C; do
    check_eq "installed on $drive:" "exit code: 0|windows: none" \
        "$(driver run-watched 'C:\varnok-setup.exe' /S "/D=$drive:" | watched)"
done
check_eq "D:'s entry" "HKLM DisplayIcon=D:\\varnok\\uninstall.exe|HKLM DisplayName=VARNOK Version 8 Compact|HKLM DisplayVersion=8.0.0|HKLM EstimatedSize=$(find "$d" -type f ! -name uninstall.exe -printf '%s\n' | awk '{ s += $1 } END { print int((s + 1023) / 1024) }')|HKLM InstallDate=$(date +%Y%m%d)|HKLM InstallLocation=D:\\varnok|HKLM NoModify=1|HKLM NoRepair=1|HKLM Publisher=$publisher|HKLM QuietUninstallString=\"D:\\varnok\\uninstall.exe\" /S|HKLM UninstallString=\"D:\\varnok\\uninstall.exe\"" \
    "$(entry_values D)"
c_entry=$(entry_values C)
check "C:'s entry is its own" grep -q 'InstallLocation=C:\\varnok' <<<"$c_entry"

# -- The user's work -----------------------------------------------------------
echo "my notes" >>"$d/lib/index.txt"
echo "mine" >"$d/mine.txt"
mkdir "$d/work" && echo "built" >"$d/work/built.txt"
mkdir "$E2E_WORK/outside" && cp "$d/examples/intro/hello.txt" "$E2E_WORK/outside/"
rm -r "$d/examples/intro" && ln -s "$E2E_WORK/outside" "$d/examples/intro"
c_before=$(tree "$c")
temp_before=$(ls "$temp")

# -- Refused before anything is touched ---------------------------------------------
before=$(tree "$d")
logs=$(ls "$temp" | grep -c uninstall)
refused() {
    e2e_background e2e_driver.exe run-watched 'D:\varnok\uninstall.exe' /S >"$E2E_WORK/refused.txt"
    wait "$BACKGROUND_PID"
    # grep -c reads the driver's whole answer (a session must get to its end).
    check_eq "$1: 1603, nothing touched" "exit code: 1603|windows: none|$before|1" \
        "$(watched <"$E2E_WORK/refused.txt")|$(tree "$d")|$(driver entry D | grep -c NoRepair)"
    check "$1: the log says why" grep -q "$2" <<<"$(cat "$temp"/VARNOK-uninstall-*.log | tr -d '\r')"
}
VARNOK_WINE_STEERABLE=1 refused "others can change the folder" "D:\\\\varnok is a link, moved, or open to others$"
VARNOK_WINE_NOT_ELEVATED=1 refused "not elevated" "not elevated: error 0"
check "the marked copy started no other: one log each" \
    test "$(ls "$temp" | grep -c uninstall)" -eq $((logs + 2))
check "the marked copy's log" grep -q 'uninstall.exe" /S /ELEVATED$' <<<"$(cat "$temp"/VARNOK-uninstall-*.log | tr -d '\r')"

# -- The quiet uninstall of D: ----------------------------------------------------
check_eq "quiet uninstall of D: with the link: 1603, no window" "exit code: 1603|windows: none" \
    "$(driver run-watched 'D:\varnok\uninstall.exe' /S | watched)"
check_eq "nothing behind the link was touched" hello.txt "$(ls "$E2E_WORK/outside")"
check "the link is named as not removed" grep -q 'could not remove: examples\\intro$' \
    <<<"$(cat "$temp"/VARNOK-uninstall-*.log | tr -d '\r')"
check_eq "the entry and uninstall.exe stay for another run" "yes|1" \
    "$(exists "$d/uninstall.exe")|$(driver entry D | grep -c NoRepair)"
rm "$d/examples/intro"
check_eq "run again through S:: 0, no window, uninstall.exe gone at its end" \
    "exit code: 0|windows: none|no" \
    "$(driver run-watched 'S:\varnok\uninstall.exe' /S | watched)|$(exists "$d/uninstall.exe")"
check "its moved copy gone within seconds" wait_until 15 bash -c "! ls '$temp' | grep -q '^~VARNOK'"
check_eq "exactly the user's files stay" "./lib ./lib/index.txt ./mine.txt ./work ./work/built.txt" \
    "$(tree "$d")"
check_eq "D:'s entry is gone" "" "$(entry_values D)"
check_eq "C: is untouched" "$c_before|$c_entry" "$(tree "$c")|$(entry_values C)"
new_temp=$(comm -13 <(echo "$temp_before") <(ls "$temp") | paste -sd' ')
check "only the logs are new in the temporary folder: $new_temp" \
    grep -qxE '(VARNOK-uninstall-[0-9-]+\.log ?){4}' <<<"$new_temp"
check "the log lists the kept files" grep -q 'kept: work\\built.txt' <<<"$(cat "$temp"/VARNOK-uninstall-*.log)"

# -- What the removal kept is in the way, not an installation --------------------
kept=$(find "$d" -printf '%P %s %T@\n' | sort)
check_eq "/S onto what was kept: 1603, no window" "exit code: 1603|windows: none" \
    "$(driver run-watched 'C:\varnok-setup.exe' /S /D=D: | watched)"
check "the log says what is there" grep -q 'D:\\varnok exists but holds no installation: 3 files, kept by an earlier removal or made by hand$' \
    <<<"$(cat "$temp"/VARNOK-install-*.log | tr -d '\r')"
e2e_start_installer
check "a person's window" quietly driver wait-window 20000
driver select 1
driver click
expect_message "a person is refused as before" Sorry "$REFUSAL"
driver close
e2e_wait_installer
check_eq "what was kept is untouched" "$kept" "$(find "$d" -printf '%P %s %T@\n' | sort)"

# -- C:, asked through Wine's Add/Remove Programs: No, then Yes ---------------------
check "Add/Remove Programs lists C:" grep -q '^VARNOK-8-C|||VARNOK Version 8 Compact' \
    <<<"$(cd "$E2E_PREFIX/drive_c" && "$WINE_LOADER" uninstaller --list 2>/dev/null | tr -d '\r')"
for answer in no yes; do
    e2e_background e2e_driver.exe run-watched uninstaller.exe --remove VARNOK-8-C >"$E2E_WORK/$answer.txt"
    expect_message_up "asked ($answer)" "Remove VARNOK" 'Remove VARNOK Version 8 Compact from C:\varnok?\r\n\r\nWhat you changed or added there after the installation is kept.'
    driver answer-messagebox "$answer"
    [ "$answer" = no ] || expect_message "removed" "Remove VARNOK" \
        'VARNOK Version 8 Compact has been removed from C:\varnok.'
    wait "$BACKGROUND_PID"
    [ "$answer" = yes ] || check_eq "No: nothing changed" "$c_before|$c_entry" "$(tree "$c")|$(entry_values C)"
done
check_eq "Yes: C:\\varnok is gone when the uninstaller has ended" no "$(exists "$c")"
check_eq "Yes: C:'s entry is gone" "" "$(entry_values C)"

# -- Installing again, and a package that cannot install -------------------------
mv "$d" "$d.mine"
check_eq "D: installs again" "exit code: 0" \
    "$(driver run-watched 'C:\varnok-setup.exe' /S /D=D: | watched | cut -d'|' -f1)"
check "and has its entry again" grep -q 'InstallLocation=D:' <<<"$(entry_values D)"
VARNOK_SAMPLE_LEAVE_OUT=ex2.exe e2e_background e2e_driver.exe run-watched 'C:\varnok-setup.exe' \
    /S /D=C: >"$E2E_WORK/missing.txt"
wait "$BACKGROUND_PID"
check_eq "a missing stage program: 1603" "exit code: 1603" "$(grep '^exit code' "$E2E_WORK/missing.txt")"
check_eq "no folder, no entry" "no|" "$(exists "$c")|$(entry_values C)"
# The same, with C:\varnok swapped for a folder of the user's meanwhile: the
# rollback finds another folder there and removes nothing from it (under
# Wine, which keeps a current directory by its name, the stages after the
# swap write into it).
VARNOK_SAMPLE_LEAVE_OUT=ex2.exe VARNOK_SAMPLE_SLOW="tute.exe:$((3 * E2E_TIME_SCALE))" \
    e2e_background e2e_driver.exe run-watched 'C:\varnok-setup.exe' /S /D=C: >"$E2E_WORK/swapped.txt"
check "the slow stage begins" wait_until 60 grep -qs '^tute.exe' "$c/install.log"
mv "$c" "$c.made" && mkdir "$c" && echo mine >"$c/mine.txt"
wait "$BACKGROUND_PID"
check_eq "swapped: 1603, the user's file kept" "exit code: 1603|mine|yes" \
    "$(grep '^exit code' "$E2E_WORK/swapped.txt")|$(cat "$c/mine.txt")|$(exists "$c/tutorials")"
check "swapped: the log says so" grep -q 'C:\\varnok is a link, moved, or open to others$' \
    <<<"$(cat "$temp"/VARNOK-install-*.log | tr -d '\r')"
rm -r "$c" "$c.made"
check_eq "a good file installs right after" "exit code: 0" \
    "$(driver run-watched 'C:\varnok-setup.exe' /S /D=C: | watched | cut -d'|' -f1)"

e2e_end
