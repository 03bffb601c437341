#!/usr/bin/env bash
# ./velkor.sh          installs what is missing, builds, and opens Velkor
# ./velkor.sh test     installs what is missing, builds, and runs the whole test suite
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev libjpeg-turbo-progs
          libgmp-dev libgtest-dev xvfb xauth fonts-wqy-zenhei dosfstools mtools python3 libimage-exiftool-perl)
BUILD_DIR=${VELKOR_BUILD_DIR:-build}

install_missing() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
}

build() {
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$BUILD_DIR"
}

run_tests() {
    ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 --timeout 300
}

# True when at least one whole-disk block device can be read by this user.
some_drive_readable() {
    local name
    for name in /sys/block/*; do
        case "${name##*/}" in ram* | zram* | loop*) continue ;; esac
        [ -r "/dev/${name##*/}" ] && return 0
    done
    return 1
}

# A 64 MB FAT32 card whose photographs were deleted: the file system lists none of
# them, their bytes are still there.
make_demo_card() {
    local card=demo/demo-card.img
    [ -f "$card" ] && return
    mkdir -p demo/photos
    "$BUILD_DIR/bin/velkor-makephotos" demo/photos 12 2026
    truncate -s 64M "$card.tmp"
    /sbin/mkfs.vfat -F 32 -n DEMOCARD "$card.tmp" >/dev/null
    mcopy -i "$card.tmp" demo/photos/*.jpg ::/
    mdel -i "$card.tmp" '::/*.jpg'
    mv "$card.tmp" "$card"
    echo "Made $card: 12 deleted photos to recover."
}

open_velkor() {
    local images=()
    if ! some_drive_readable; then
        make_demo_card
        images=(demo/demo-card.img)
        echo "No drive is readable by $(id -un); opening Velkor on the demo card (see README for real drives)."
    fi
    exec "$BUILD_DIR/bin/velkor" "${images[@]}" "$@"
}

install_missing
case "${1:-run}" in
    test)
        build
        run_tests
        ;;
    run)
        build
        shift || true
        open_velkor "$@"
        ;;
    *)
        echo "usage: $0 [test]" >&2
        exit 2
        ;;
esac
