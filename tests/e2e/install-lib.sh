# What the installation scenarios share: the texts that the user must see,
# byte for byte (CR LF shown as \r\n by the driver), and small helpers.

NO_SELECTION='Please select the drive to install VARNOK on'
REFUSAL='The VARNOK directory already exists on this,\r\ndrive, either rename the old directory or\r\ninstall this package on another drive'
WARNING='Some of the operations in the installation may be\r\nslow on older machine, the stages are displayed\r\non the title bar through the installation.'
CLOSING='There is a file hidden in the VARNOK directory called\r\nREADME.HTM that tells you how VARNOK really works.\r\n\r\nTake advantage of this hidden feature and run it in your\r\nbrowser to check out the new features in VARNOK.\r\n\r\nOK, What do I do next ?\r\nGo to the VARNOK directory on the installation drive\r\nand start SCRIVLET.EXE. Browse the example code and\r\nselect an example as a test piece to test the installation.\r\nSelect the BUILD ALL option and verify that the file\r\nbuilds OK, the select RUN from the Project menu to test\r\nthe executable file that was built.'
ANOTHER_RUNNING='Another VARNOK installation is running.\r\n\r\nPlease wait until it has finished, then try again.'
RELEASE_NOTES="What's new in version 8 ?\\r\\n\\r\\n1. The latest debugging system by Dravik.\\r\\n\\r\\n2. A completely new floating point maths library written by Quenlor.\\r\\n\\r\\n3. A new coded dialog system that does not need a dialog editor.\\r\\n\\r\\n4. A new version of Scrivlet which has scripting support and more display control.\\r\\n\\r\\n5. Extra example code including new dialog examples.\\r\\n\\r\\nand more ...."
EXPECTED_PANEL_CONTROLS="id=501 class=Static rect=9,120,430,310 style=0x50000000 exstyle=0x00020000 text=$RELEASE_NOTES
id=502 class=Static rect=10,10,425,111 style=0x5000000E exstyle=0x00000000 text="
TAB=$'\t'
EXPECTED_LOG="varnok.exe${TAB}Creating Build Environment And Tool
tute.exe${TAB}Installing Tarvesh's Tutorials
ex1.exe${TAB}Installing The Introductory Example Code
ex2.exe${TAB}Installing The Intermediate Example Code
ex3.exe${TAB}Installing The Advanced Example Code
makelibs.bat${TAB}Installing The Advanced Example Code"

# stage_failure PROGRAM LETTER: what the user is told when a program of the
# package cannot be started on drive LETTER: D:\varnok is then removed.
stage_failure() {
    printf 'The program %s of the package in %s:\\varnok\\r\\ncould not be started (error %s), the installation has been\\r\\nstopped and everything it made removed' \
        "$1" "$2" "${3:-53}"
}

# use_demo_installer [FILE]: the installer in C:\ is the one with the sample
# package appended (or another packed file).
use_demo_installer() {
    cp "${1:-$BUILD_DIR/varnok-setup-demo.exe}" "$E2E_PREFIX/drive_c/varnok-setup.exe"
}

exists() {
    if [ -e "$1" ]; then echo yes; else echo no; fi
}

# stage_log DIR: the install.log that the stage programs wrote, LF ends.
stage_log() {
    tr -d '\r' <"$1/install.log" 2>/dev/null
}

# expect_message_up NAME CAPTION TEXT [TIMEOUT_MS]: a message box of the
# installer is up with exactly this caption and text (left up).
expect_message_up() {
    local box
    box=$(driver wait-messagebox "${4:-20000}")
    check_eq "$1: caption" "$2" "$(field caption "$box")"
    check_eq "$1: text" "$3" "$(field text "$box")"
}

# answer: presses OK on the message box and waits until it is gone.
answer() {
    driver answer-messagebox
}

# expect_message NAME CAPTION TEXT: as above, then answered with OK.
expect_message() {
    expect_message_up "$@"
    answer
}

# drive_files DIR: what a drive folder holds besides Wine's label file.
drive_files() {
    ls -A "$1" | grep -vx .windows-label
}
