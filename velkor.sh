#!/usr/bin/env bash
# ./velkor.sh [IMAGE]...   installs what is missing, builds what Velkor needs, and opens it
# ./velkor.sh test         installs what is missing, builds everything, and runs the whole test suite
# ./velkor.sh package      installs what is missing, builds, and makes the Debian package in the build directory
# ./velkor.sh windows      installs MinGW-w64 and Wine, cross-builds into build-windows/ and packs velkor-windows-x64.zip
# ./velkor.sh windows-test the same, then runs the Windows suites under Wine and scans the demo card there
set -euo pipefail

PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev libjpeg-turbo-progs
          libgmp-dev libgtest-dev qt6-l10n-tools qt6-translations-l10n xvfb xauth fonts-wqy-zenhei dosfstools mtools
          python3 libimage-exiftool-perl dpkg-dev file)
# What the Windows cross build and its tests under Wine need.
WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 libboost-dev googletest xvfb xauth)
BUILD_DIR=${VELKOR_BUILD_DIR:-build}
WINDOWS_BUILD_DIR=${VELKOR_WINDOWS_BUILD_DIR:-build-windows}
DEMO_CARD=demo/demo-card.img
# What opening Velkor needs: the launcher, the library, its validator, and the
# photo generator the demo card is made with. Tests and benchmarks wait for `test`.
RUN_TARGETS=(velkor_host libvelkor picvet velkor_makephotos)
# What the Debian package holds.
PACKAGE_TARGETS=(velkor_host velkor_autoscan libvelkor picvet velkor_compressed_docs)

# install_missing [PACKAGE]...: installs those of the packages named (PACKAGES when none is) that are missing.
install_missing() {
    local missing=() wanted=("${PACKAGES[@]}")
    [ $# -eq 0 ] || wanted=("$@")
    for package in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
}

# build [TARGET]...: builds the targets named, everything when none is.
build() {
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    if [ $# -eq 0 ]; then
        cmake --build "$BUILD_DIR"
    else
        cmake --build "$BUILD_DIR" --target "$@"
    fi
}

run_tests() {
    ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 --timeout 300
}

build_windows() {
    cmake -S . -B "$WINDOWS_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
    cmake --build "$WINDOWS_BUILD_DIR"
    (cd "$WINDOWS_BUILD_DIR" && cpack)
}

# Wine gets a prefix of its own in the build directory; Wine wants the prefix as an
# absolute path, whichever way the build directory was named. The prefix is made (wineboot
# returns once it is) before the suites run side by side: two Wine processes making a
# fresh prefix at once race for its server, and one of them fails to start. Wine's windows
# are X windows, so the prefix is made, and the suites run, with a display (a prefix made
# without one left the first window's timers silent); Wine is told not to offer its .NET
# and HTML engines, whose installers would wait for a click, nor to start its debugger on a
# program that crashes: the debugger held such a program until ctest's limit, where without it
# the crash ends the program at once and ctest reports it.
run_windows_tests() {
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    WINEPREFIX="$(cd "$WINDOWS_BUILD_DIR" && pwd)/wine"
    xvfb-run -a wineboot --init 2>/dev/null
    xvfb-run -a ctest --test-dir "$WINDOWS_BUILD_DIR" --output-on-failure -j2 --timeout 300
}

# Scans the card (a Windows path) with the velkor-autoscan.exe in directory under Wine, saving
# into the prefix's C:\velkor-end-to-end, and prints its JSON line. The line goes through a
# file, not a pipe: Wine's services inherit the output and outlive the run.
autoscan_exe() {
    local directory=$1 card=$2 report="$WINDOWS_BUILD_DIR/end-to-end.out"
    timeout 300 xvfb-run -a wine "$directory/velkor-autoscan.exe" "$card" 'C:\velkor-end-to-end' >"$report" || true
    tail -n 1 "$report"
}

# velkor-autoscan.exe, unpacked from velkor-windows-x64.zip with the files beside it, scans
# the demo card under Wine and saves what it finds; each of the card's 12 photos must come
# back whole, as the start of a saved file of its own. The photos go to the prefix's drive
# C: Wine's folder chooser cannot select a folder on Z:. Nothing runs Wine outside the
# display here (not even winepath): Wine's services, started without one, stay up for the
# next Wine program, whose window then never comes; the card's path is spelled through
# drive Z:, which Wine maps to /.
windows_end_to_end() {
    local saved="$WINEPREFIX/drive_c/velkor-end-to-end" unpacked="$WINDOWS_BUILD_DIR/unpacked" card result
    build velkor_makephotos
    make_demo_card
    rm -rf "$unpacked"
    python3 - "$WINDOWS_BUILD_DIR/velkor-windows-x64.zip" "$unpacked" <<'UNPACK'
import sys, zipfile
names = sorted(zipfile.ZipFile(sys.argv[1]).namelist())
expected = sorted("velkor-windows-x64/" + n for n in
                  ["README.txt", "picvet.exe", "velkor-autoscan.exe", "velkor.dll", "velkor.exe"])
if names != expected:
    sys.exit(f"velkor-windows-x64.zip holds {names}, not {expected}")
zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])
UNPACK
    card="Z:$(realpath "$DEMO_CARD" | tr / '\\')"
    wineserver -k 2>/dev/null || true
    rm -rf "$saved"
    result=$(autoscan_exe "$unpacked/velkor-windows-x64" "$card")
    echo "velkor-autoscan.exe: $result"
    python3 - "$result" demo/photos "$saved" <<'CHECK'
import json, os, sys
result, originals, saved = json.loads(sys.argv[1]), sys.argv[2], sys.argv[3]
photos = [open(os.path.join(originals, n), "rb").read() for n in sorted(os.listdir(originals))]
files = [open(os.path.join(saved, n), "rb").read() for n in sorted(os.listdir(saved))]
whole = sum(1 for photo in photos if sum(1 for f in files if f.startswith(photo)) == 1)
print(f"{whole} of {len(photos)} photos recovered whole into {len(files)} files")
sys.exit(0 if result["ok"] and result["found"] == 12 and len(files) == 12 and whole == 12 else 1)
CHECK
    # Without its validator the same scan must end in a warning that says why, never in success.
    local lame="$WINDOWS_BUILD_DIR/unpacked-without-picvet"
    rm -rf "$lame" "$saved"
    cp -r "$unpacked/velkor-windows-x64" "$lame"
    rm "$lame/picvet.exe"
    result=$(autoscan_exe "$lame" "$card")
    echo "velkor-autoscan.exe without picvet.exe: $result"
    python3 - "$result" <<'CHECK'
import json, sys
result = json.loads(sys.argv[1])
sys.exit(0 if not result["ok"] and "找不到校验程序" in result["reason"] else 1)
CHECK
}

# True when the first sector of device can be read. `[ -r ]` is no test: it is true
# for root even where opening fails (EPERM in a container), and a card reader
# without a card opens but reads nothing.
sector_readable() {
    local bytes
    bytes=$(timeout 10 dd if="$1" bs=512 count=1 status=none 2>/dev/null | wc -c) || return 1
    [ "$bytes" -eq 512 ]
}

# some_drive_readable [SYS_BLOCK_DIR [DEV_DIR]]: true when this user can read at least
# one of the machine's disks Velkor lists (loop devices are images, not drives).
some_drive_readable() {
    local sys_block=${1:-/sys/block} dev=${2:-/dev} entry name
    for entry in "$sys_block"/*; do
        name=${entry##*/}
        case "$name" in
            mmcblk*boot* | mmcblk*rpmb) continue ;;
            sd[a-z]* | vd[a-z]* | nvme*n* | mmcblk*) sector_readable "$dev/$name" && return 0 ;;
        esac
    done
    return 1
}

# A 64 MB FAT32 card whose photographs were deleted: the file system lists none of
# them, their bytes are still there.
make_demo_card() {
    [ -f "$DEMO_CARD" ] && return
    mkdir -p demo/photos
    "$BUILD_DIR/bin/velkor-makephotos" demo/photos 12 2026
    truncate -s 64M "$DEMO_CARD.tmp"
    /sbin/mkfs.vfat -F 32 -n DEMOCARD "$DEMO_CARD.tmp" >/dev/null
    mcopy -i "$DEMO_CARD.tmp" demo/photos/*.jpg ::/
    mdel -i "$DEMO_CARD.tmp" '::/*.jpg'
    mv "$DEMO_CARD.tmp" "$DEMO_CARD"
    echo "Made $DEMO_CARD: 12 deleted photos to recover."
}

# Opens Velkor on the images given, with the demo card offered as well. When none of
# the machine's drives can be read, the demo card is made if need be, and selected
# at start unless images were given.
open_velkor() {
    local demo=()
    if ! some_drive_readable; then
        make_demo_card
        echo "No drive of this machine can be read by $(id -un): the demo card is offered (see README)."
        if [ $# -eq 0 ]; then
            demo=("$DEMO_CARD")
        fi
    fi
    if [ ${#demo[@]} -eq 0 ] && [ -f "$DEMO_CARD" ]; then
        demo=(--extra "$DEMO_CARD")
    fi
    exec "$BUILD_DIR/bin/velkor" "${demo[@]}" "$@"
}

main() {
    local mode=run
    case "${1:-}" in
        -h | --help)
            sed -n '2,6s/^# //p' "$0"
            return
            ;;
        test | run | package | windows | windows-test)
            mode=$1
            shift
            ;;
    esac
    cd "$(dirname "$0")"
    if [ "$mode" = windows ]; then
        install_missing "${WINDOWS_PACKAGES[@]}"
        build_windows
        return
    fi
    if [ "$mode" = windows-test ]; then
        # The demo card for the end-to-end run is made by the Linux build's photo generator.
        install_missing
        install_missing "${WINDOWS_PACKAGES[@]}"
        build_windows
        run_windows_tests
        windows_end_to_end
        return
    fi
    install_missing
    if [ "$mode" = test ]; then
        build
        run_tests
    elif [ "$mode" = package ]; then
        build "${PACKAGE_TARGETS[@]}"
        (cd "$BUILD_DIR" && rm -f velkor_*.deb && cpack -G DEB)
    else
        build "${RUN_TARGETS[@]}"
        open_velkor "$@"
    fi
}

# Sourced (by its test), it only defines the functions.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    main "$@"
fi
