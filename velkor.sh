#!/usr/bin/env bash
# ./velkor.sh          installs what is missing, builds, and opens Velkor
# ./velkor.sh test     installs what is missing, builds, and runs the whole test suite
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev libjpeg-turbo-progs
          libgmp-dev libgtest-dev xvfb xauth fonts-wqy-zenhei dosfstools mtools)
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

install_missing
case "${1:-run}" in
    test)
        build
        run_tests
        ;;
    run)
        build
        exec "$BUILD_DIR/bin/picvet"
        ;;
    *)
        echo "usage: $0 [test]" >&2
        exit 2
        ;;
esac
