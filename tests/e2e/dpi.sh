#!/bin/bash
# The window at LogPixels 96, 144 and 192 on a 1600x1200 screen: outer size
# and every control's rectangle times DPI/96, centred, the same styles and
# texts; the hint's and the button's text drawn in proportion and whole; the
# banner at 192 the picture with every pixel doubled; a whole installation
# with the keyboard at 144, the release notes scaled.
# Usage: dpi.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin dpi "$1"
source "$E2E_DIR/install-lib.sh"

e2e_prefix c:hd:SYSTEM d:hd:Data
use_demo_installer
e2e_display 1600x1200

# s N: N pixels of 96 DPI at $dpi, rounded half up as MulDiv rounds.
s() { echo $((($1 * dpi + 48) / 96)); }
# rect X Y W H: "left,top,right,bottom" at $dpi, each value scaled alone.
rect() { echo "$(s "$1"),$(s "$2"),$(($(s "$1") + $(s "$3"))),$(($(s "$2") + $(s "$4")))"; }
# ink ID: "width height" of what is drawn inside control ID (2 pixels
# within its edge), from $shot; "whole" when it reaches neither side.
ink() {
    local l t r b box
    IFS=, read -r l t r b < <(grep "^id=$1 " <<<"$controls" | sed 's/.* rect=\([^ ]*\) .*/\1/')
    box=$(convert "$shot" -crop "$((r - l - 4))x$((b - t - 4))+$((cx + l + 2))+$((cy + t + 2))" \
        +repage -fuzz 10% -format '%@' info:)
    read -r w h x _ <<<"$(tr "x+" "  " <<<"$box")"
    echo "$w $h $([ "$x" -gt 0 ] && [ $((x + w)) -lt $((r - l - 4)) ] && echo whole)"
}

# LogPixels counts for every program started after it is set. The last
# round, 144, goes on to the installation.
for dpi in 96 192 144; do
    (cd "$E2E_PREFIX/drive_c" && "$WINE_LOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
        /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1)
    e2e_start_installer
    check "$dpi: window appears" quietly driver wait-window 20000
    info=$(driver window)
    width=$(s 443) height=$(s 350)
    x=$((800 - width / 2)) y=$((600 - height / 2))
    check_eq "$dpi: outer rect scaled and centred" "$x $y $((x + width)) $((y + height))" \
        "$(field rect "$info")"
    controls=$(driver controls)
    check_eq "$dpi: controls scaled" "id=500 class=Button rect=$(rect 140 270 150 25)
id=501 class=Static rect=$(rect 8 225 421 15)
id=502 class=Static rect=$(rect 10 10 415 101)
id=503 class=ListBox rect=$(rect 9 120 420 100)" "$(cut -d' ' -f1-3 <<<"$controls")"
    [ "$dpi" = 96 ] && styles=$(cut -d' ' -f1,2,4- <<<"$controls")
    check_eq "$dpi: styles and texts as at 96" "$styles" "$(cut -d' ' -f1,2,4- <<<"$controls")"
    check_eq "$dpi: the hint names the list" "id=501 class=Static text=Select Drive THEN Click Install Button" \
        "$(driver label 503)"

    read -r cx cy _ <<<"$(field client "$info")"
    shot=$E2E_WORK/screen-$dpi.png
    import -window root "$shot"
    for id in 500 501; do
        read -r w h whole <<<"$(ink $id)"
        [ "$dpi" = 96 ] && eval "base$id=\$h"
        base=base$id
        # Within a pixel and a half of the 96-DPI text's height times DPI/96.
        check "$dpi: text of $id ${h}px high against ${!base}px at 96, not cut off (${w}px wide)" \
            test $((2 * (h * 96 - ${!base} * dpi) / 3)) -le 96 -a \
            $((2 * (${!base} * dpi - h * 96) / 3)) -le 96 -a "$whole" = whole
    done
    if [ "$dpi" = 192 ]; then
        convert "$REPO_ROOT/resources/banner.bmp" -scale 200% "$E2E_WORK/banner-2x.png"
        convert "$shot" -crop "830x202+$((cx + 20))+$((cy + 20))" +repage "$E2E_WORK/banner-192.png"
        check_eq "192: the banner is the picture with every pixel doubled (differing pixels)" 0 \
            "$(compare -metric AE "$E2E_WORK/banner-192.png" "$E2E_WORK/banner-2x.png" null: 2>&1)"
    fi
    if [ "$dpi" = 144 ]; then
        # A screenshot at 150 % for the documentation.
        read -r left top right bottom <<<"$(field rect "$info")"
        mkdir -p "$BUILD_DIR/screenshots"
        convert "$shot" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
            "$BUILD_DIR/screenshots/main-window-150.png"
        break
    fi
    driver close
    rc=0
    e2e_wait_installer || rc=$?
    check_eq "$dpi: closing ends with 0" 0 "$rc"
done

# -- A whole installation with the keyboard at 144 ----------------------------
check "144: nothing has the focus at the start" quietly driver wait-focus 0 5000
driver keys tab
check "144: Tab: the list" quietly driver wait-focus 503 5000
driver keys down down
check_eq "144: the arrow keys choose D:" "selection: 1" "$(driver items | tail -n 1)"
driver keys tab
check "144: Tab: the button" quietly driver wait-focus 500 5000
driver keys enter
expect_message_up "144: Enter installs: the warning" "Click OK to continue" "$WARNING"
check_eq "144: the release notes scaled" "id=501 class=Static rect=$(rect 9 120 421 190)" \
    "$(driver controls | grep '^id=501' | cut -d' ' -f1-3)"
driver keys enter
expect_message_up "144: closing message" "Warning, Secret information" "$CLOSING" 120000
driver keys enter
rc=0
e2e_wait_installer || rc=$?
check_eq "144: the keyboard installation ends with 0" 0 "$rc"
check_eq "144: every stage ran under its title" "$EXPECTED_LOG" \
    "$(stage_log "$E2E_WORK/drive_d/varnok")"

e2e_end
