#!/bin/bash
# At LogPixels 96, 192 and 144 (1600x1200), and by WM_DPICHANGED from 96 to
# 144 and back: size and controls times DPI/96, centred, the text in
# proportion and whole, the hint as the list's label; the banner at 192.
source "$(dirname "$0")/lib.sh"
e2e_begin dpi "$1"
e2e_prefix c:hd:SYSTEM d:hd:Data
e2e_display 1600x1200
s() { echo $((($1 * dpi + 48) / 96)); }  # 96-DPI pixels at $dpi, as MulDiv rounds
rect() { echo "$(s "$1"),$(s "$2"),$(($(s "$1") + $(s "$3"))),$(($(s "$2") + $(s "$4")))"; }
centred() { x=$((800 - $(s 443) / 2)) y=$((600 - $(s 350) / 2)); echo "$x $y $((x + $(s 443))) $((y + $(s 350)))"; }
declare -a base  # the text heights at 96, by control id

laid_out() {
    local info controls id l t r b w h left off
    info=$(driver window) controls=$(driver controls)
    check_eq "$1: outer rect scaled, centred" "$(centred)" "$(field rect "$info")"
    check_eq "$1: controls scaled" "id=500 rect=$(rect 140 270 150 25) id=501 rect=$(rect 8 225 421 15) \
id=502 rect=$(rect 10 10 415 101) id=503 rect=$(rect 9 120 420 100)" "$(cut -d' ' -f1,3 <<<"$controls" | paste -sd' ')"
    check_eq "$1: the hint names the list" "id=501 text=Select Drive THEN Click Install Button" "$(driver label 503)"
    read -r cx cy _ <<<"$(field client "$info")"
    import -window root "$E2E_WORK/shot.png"
    for id in 500 501; do  # 2 pixels within the edge: height within 1.5 pixels, touching neither side
        IFS=, read -r l t r b <<<"$(sed -n "s/^id=$id .* rect=\([^ ]*\) .*/\1/p" <<<"$controls")"
        read -r w h left _ <<<"$(convert "$E2E_WORK/shot.png" -crop "$((r - l - 4))x$((b - t - 4))+$((cx + l + 2))+$((cy + t + 2))" \
            -fuzz 10% -format %@ info: | tr x+ '  ')"
        base[id]=${base[id]:-$h} off=$((h * 96 - base[id] * dpi))
        check "$1: text of $id ${h}px high (${base[id]} at 96), ${w}px wide, whole" \
            test ${off#-} -le 144 -a "$left" -gt 0 -a $((left + w)) -lt $((r - l - 4))
    done
}

for dpi in 96 192 144; do
    "$WINE_LOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
    e2e_start_installer
    check "$dpi: window appears" quietly driver wait-window 20000
    laid_out $dpi
    for dpi in $([ $dpi = 96 ] && echo 144 96); do
        driver dpi-changed $dpi $(centred)
        laid_out "WM_DPICHANGED to $dpi"
    done
    if [ $dpi = 192 ]; then
        convert "$E2E_WORK/shot.png" -crop "830x202+$((cx + 20))+$((cy + 20))" +repage "$E2E_WORK/banner.png"
        convert "$REPO_ROOT/resources/banner.bmp" -scale 200% "$E2E_WORK/doubled.png"
        check_eq "192: the banner is the picture, every pixel doubled (differing pixels)" 0 \
            "$(compare -metric AE "$E2E_WORK/banner.png" "$E2E_WORK/doubled.png" null: 2>&1)"
    fi
    driver close
    check "$dpi: closing ends with 0" e2e_wait_installer
done
e2e_end
