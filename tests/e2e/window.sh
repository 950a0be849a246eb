#!/bin/bash
# The main window seen from outside: class, title, placement on two screen
# sizes, styles, controls, drive list, black background, the banner's
# picture, the hand-over of a second copy, the show command, and the exit
# code on closing.
# Usage: window.sh WIN64_BUILD_DIR
source "$(dirname "$0")/lib.sh"
e2e_begin window "$1"

EXPECTED_CONTROLS="id=500 class=Button rect=140,270,290,295 style=0x50000300 exstyle=0x00000000 text=Install VARNOK
id=501 class=Static rect=8,225,429,240 style=0x50000001 exstyle=0x00020000 text=Select Drive THEN Click Install Button
id=502 class=Static rect=10,10,425,111 style=0x5000000E exstyle=0x00000000 text=
id=503 class=ListBox rect=9,120,429,220 style=0x50A01100 exstyle=0x00000200 text="
EXPECTED_ITEMS="item: DRIVE C: (SYSTEM)
item: DRIVE D: (Data)
selection: -1"

e2e_prefix c:hd:SYSTEM d:hd:Data e:cdrom f:network

# -- 1024 x 768, started with a switch that changes nothing on screen ------
e2e_display 1024x768
e2e_start_installer '-log=C:\window.log'
check "window appears" quietly driver wait-window 20000
check_eq "one window of class vnki_Class" 1 "$(driver count-windows)"

info=$(driver window)
check_eq "title" "VARNOK Version 8 Compact Installation" "$(field title "$info")"
check_eq "outer rect centred on 1024x768" "291 209 734 559" "$(field rect "$info")"
# WS_POPUP|WS_CAPTION|WS_SYSMENU, with WS_VISIBLE and the WS_CLIPSIBLINGS
# that the system adds; WS_EX_WINDOWEDGE likewise comes from the system.
check_eq "window style" "0x94C80000" "$(field style "$info")"
check_eq "extended style" "0x00000100" "$(field exstyle "$info")"
check_eq "class style" "0x00003003" "$(field classstyle "$info")"
check_eq "shown normally by default" "iconic=0 zoomed=0 visible=1" "$(driver state | cut -d' ' -f1-3)"

controls=$(driver controls)
check_eq "controls: ids, classes, rects, styles, texts" "$EXPECTED_CONTROLS" "$controls"
items=$(driver items)
check_eq "drive list: fixed disks in order, none selected" "$EXPECTED_ITEMS" "$items"

# The client area is erased black; the banner shows a picture over it.
read -r cx cy _ <<<"$(field client "$info")"
background=
for point in "2 2" "430 5" "5 300" "300 255" "20 250" "435 320"; do
    read -r px py <<<"$point"
    background+="$(driver pixel $((cx + px)) $((cy + py))) "
done
check_eq "black background" "000000 000000 000000 000000 000000 000000 " "$background"
banner_black=yes
for point in "100 50" "207 50" "300 50" "207 30" "207 70" "150 80"; do
    read -r px py <<<"$point"
    [ "$(driver pixel $((cx + px)) $((cy + py)))" != 000000 ] && banner_black=no
done
check_eq "banner drawn" no "$banner_black"
# The banner is the picture, pixel for pixel: the screen has 24 bits a pixel,
# so the palette's colours come through exactly.
import -window root -crop "415x101+$((cx + 10))+$((cy + 10))" +repage "$E2E_WORK/banner.png"
check_eq "banner shows resources/banner.bmp exactly (differing pixels)" 0 \
    "$(compare -metric AE "$E2E_WORK/banner.png" "$REPO_ROOT/resources/banner.bmp" null: 2>&1)"

# A screenshot of the window for the documentation.
shots=$BUILD_DIR/screenshots
mkdir -p "$shots"
read -r left top right bottom <<<"$(field rect "$info")"
import -window root "$E2E_WORK/screen.png" &&
    convert "$E2E_WORK/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
        "$shots/main-window.png"
check "screenshot saved" test -s "$shots/main-window.png"

# A second copy restores the minimised first one and exits with 0.
driver minimize
check_eq "first copy minimised" "iconic=1" "$(driver state | cut -d' ' -f1)"
rc=0
(cd "$E2E_PREFIX/drive_c" && timeout $((60 * E2E_TIME_SCALE)) "$WINE_LOADER" 'C:\varnok-setup.exe') || rc=$?
check_eq "second copy exits with 0" 0 "$rc"
check_eq "second copy creates no window" 1 "$(driver count-windows)"
check_eq "first copy restored" "iconic=0 zoomed=0 visible=1" "$(driver state | cut -d' ' -f1-3)"

driver close
rc=0
e2e_wait_installer || rc=$?
check_eq "closing ends the process with 0" 0 "$rc"
check_eq "no window left" 0 "$(driver count-windows)"

# -- The show command of the starting process is passed through ----------
for show in "7 iconic=1 zoomed=0" "3 iconic=0 zoomed=1"; do
    read -r command expected_iconic expected_zoomed <<<"$show"
    e2e_background e2e_driver.exe start-with-show "$command" 'C:\varnok-setup.exe'
    starter=$BACKGROUND_PID
    quietly driver wait-window 20000
    check_eq "started with show command $command" "$expected_iconic $expected_zoomed" \
        "$(driver state | cut -d' ' -f1-2)"
    driver close
    rc=0
    wait "$starter" || rc=$?
    check_eq "show command $command: exit code 0" 0 "$rc"
done

# -- 800 x 600, without arguments -----------------------------------------
e2e_display 800x600
e2e_start_installer
check "window appears on 800x600" quietly driver wait-window 20000
check_eq "outer rect centred on 800x600" "179 125 622 475" "$(field rect "$(driver window)")"
check_eq "/LOG changed nothing on screen: controls" "$controls" "$(driver controls)"
check_eq "/LOG changed nothing on screen: list" "$items" "$(driver items)"
driver close
rc=0
e2e_wait_installer || rc=$?
check_eq "closing on 800x600 ends with 0" 0 "$rc"

e2e_end
