#!/bin/bash
# bench/faults/run.sh [FAULT...]: runs injected faults through velkor-autoscan against OLD
# (commit $OLD_COMMIT, default ab3fd61, built into $F/old-bin) and NEW (a copy of this tree's
# build/bin in $F/new-bin). $F is $VELKOR_FAULTS_DIR, default /tmp/velkor-faults.
# FAULT is any of f1 f2 f3 f4 f5 f6 f7 f8 f9 f10 f11 (default: all). Run as root (f11 mounts).
# Every run gets a fresh copy of the bin directory and of the card under $F/runs/VER-FAULT;
# raw logs go to $F/logs/VER-FAULT.{out,err,status,log} and one line per run to logs/summary.tsv.
set -u
REPO=$(cd "$(dirname "$0")/../.." && pwd)
OLD_COMMIT=${OLD_COMMIT:-ab3fd61}
F=${VELKOR_FAULTS_DIR:-/tmp/velkor-faults}
LOGS=$F/logs
RUNS=$F/runs
IMGS=$F/imgs
T=$REPO/bench/faults
MNT=$F/mnt
export QT_QPA_PLATFORM=offscreen
mkdir -p "$LOGS" "$RUNS" "$IMGS"

setup() {
    if [ ! -x "$F/old-bin/velkor-autoscan" ]; then
        [ -d "$F/old" ] || git -C "$REPO" worktree add --detach "$F/old" "$OLD_COMMIT"
        flock /tmp/velkor-build.lock cmake -S "$F/old" -B "$F/old/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_TESTS=OFF
        flock /tmp/velkor-build.lock cmake --build "$F/old/build" --target libvelkor picvet velkor_autoscan velkor_makephotos velkor_host
        cp -a "$F/old/build/bin" "$F/old-bin"
    fi
    [ -x "$F/new-bin/velkor-autoscan" ] || cp -a "$REPO/build/bin" "$F/new-bin"
    if [ ! -f "$IMGS/cardA.img" ] || [ ! -f "$IMGS/cardB.img" ]; then
        for c in A B; do
            seed=$([ $c = A ] && echo 2026 || echo 2027)
            rm -rf "$IMGS/photos$c" "$IMGS/card$c.img"
            mkdir -p "$IMGS/photos$c"
            "$F/new-bin/velkor-makephotos" "$IMGS/photos$c" 12 "$seed"
            truncate -s 64M "$IMGS/card$c.img"
            mkfs.vfat -F 32 -n "CARD$c" "$IMGS/card$c.img" >/dev/null
            mcopy -i "$IMGS/card$c.img" "$IMGS/photos$c"/*.jpg ::/
            mdel -i "$IMGS/card$c.img" '::/*.jpg'
        done
    fi
    [ -f "$IMGS/rand511.img" ] || python3 -c "import random; random.seed(511); open('$IMGS/rand511.img','wb').write(bytes(random.getrandbits(8) for _ in range(511)))"
    [ -f "$IMGS/empty.img" ] || : > "$IMGS/empty.img"
    sha256sum "$IMGS"/*.img > "$LOGS/master-images.sha256"
}

# prep VER FAULT: fresh run directory R with bin B (a copy of VER's bin) and card.img (a copy of card A).
prep() {
    R=$RUNS/$1-$2
    rm -rf "$R"
    mkdir -p "$R"
    cp -a "$F/${1/ctl/new}-bin" "$R/bin"
    # A build directory that has scanned before holds scratch files; every run starts without them.
    rm -f "$R/bin/tem.tem" "$R/bin/ini.ini" "$R/bin/velkor.lock"
    cp "$IMGS/cardA.img" "$R/card.img"
    B=$R/bin
    OUT=$R/out
    L=$LOGS/$1-$2
}

# run_case VER FAULT "WATCHED FILES" CMD...: hashes the watched files, runs CMD, hashes again, logs.
run_case() {
    local ver=$1 fault=$2 watched=$3
    shift 3
    local f changed="" msg json
    declare -A pre post
    flush "$watched"
    for f in $watched; do pre[$f]=$(sha256sum "$f" 2>/dev/null | cut -d' ' -f1); done
    {
        echo "# $ver $fault"
        echo "command: $*"
        echo "hashes before:"
        for f in $watched; do echo "  ${pre[$f]}  $f"; done
    } > "$L.log"
    python3 "$T/runone.py" "$L" "$@"
    sync
    flush "$watched"
    for f in $watched; do
        post[$f]=$(sha256sum "$f" 2>/dev/null | cut -d' ' -f1)
        [ "${post[$f]}" = "${pre[$f]}" ] || changed="$changed ${f#$F/}"
    done
    {
        echo "hashes after:"
        for f in $watched; do
            if [ "${post[$f]}" = "${pre[$f]}" ]; then echo "  ${post[$f]}  $f  (unchanged)"
            else echo "  ${post[$f]:-<unreadable>}  $f  (CHANGED, was ${pre[$f]})"; fi
        done
        cat "$L.status"
        echo "stdout:"; sed 's/^/  /' "$L.out"
        echo "stderr (Qt offscreen noise removed):"; grep -v 'QStandardPaths\|propagateSizeHints' "$L.err" | sed 's/^/  /'
        echo "OUTDIR $OUT:"; python3 "$T/outcheck.py" "$OUT"
        echo "bin dir $B:"; ls -la "$B" | sed 's/^/  /'
    } >> "$L.log"
    json=$(grep -m1 '^{' "$L.out" | sed 's/"scan_seconds.*"peak_rss_kb": [0-9]*, //')
    msg=$(grep -v 'QStandardPaths\|propagateSizeHints' "$L.err" | python3 -c 'import sys; print(sys.stdin.read().replace("\n", "|")[:200])')
    printf '%s\t%s\t%s\t%s\t%s\t%s\tchanged:%s\t%s\n' "$ver" "$fault" "$(sed -n 's/^ended=//p' "$L.status")" \
        "$(sed -n 's/^wall=//p' "$L.status")s" "${json:-<no json>}" "${msg:-<no stderr>}" "${changed:- none}" \
        "$(python3 "$T/outcheck.py" "$OUT" | tail -1)" | tee -a "$LOGS/summary.tsv"
}

# flush "FILES": drops the kernel's cached blocks of any block device among FILES, so that reading it
# afterwards sees what reached the device (a mounted file system writes past the device's page cache).
flush() {
    local f
    for f in $1; do [ -b "$f" ] && blockdev --flushbufs "$f"; done
    return 0
}

AUTOSCAN() { echo timeout -k 10 "$1" "$B/velkor-autoscan"; }

f1() { prep "$1" f1; run_case "$1" f1 "$R/card.img" $(AUTOSCAN 200) "$R/card.img" "$OUT"; }

picvet_fault() {  # VER FAULT SCRIPT-BODY TIMEOUT
    prep "$1" "$2"
    printf '#!/bin/sh\n%s\n' "$3" > "$B/picvet"
    chmod +x "$B/picvet"
    run_case "$1" "$2" "$R/card.img" $(AUTOSCAN "$4") "$R/card.img" "$OUT"
}
f2() { picvet_fault "$1" f2 'kill -SEGV $$' 200; }
f3() { picvet_fault "$1" f3 'exit 127' 200; }
f4() { picvet_fault "$1" f4 'exit 0' 200; }
f5() { picvet_fault "$1" f5 'exec sleep 600' 200; }

f6() {
    prep "$1" f6
    cp "$R/card.img" "$R/other.img"
    ln -s "$R/other.img" "$B/tem.tem"
    run_case "$1" f6 "$R/card.img $R/other.img" $(AUTOSCAN 200) "$R/card.img" "$OUT"
    echo "tem.tem afterwards: $(ls -la "$B/tem.tem")" | tee -a "$L.log"
}

f7() {
    prep "$1" f7
    mv "$R/card.img" "$B/tem.tem"
    run_case "$1" f7 "$B/tem.tem" $(AUTOSCAN 200) "$B/tem.tem" "$OUT"
    echo "master card A: $(grep cardA "$LOGS/master-images.sha256")" >> "$L.log"
}

f8() {
    prep "$1" f8
    run_case "$1" f8 "$R/card.img" timeout -k 10 200 bash -c 'ulimit -f 100; exec "$0" "$@"' "$B/velkor-autoscan" "$R/card.img" "$OUT"
}

f9() {
    prep "$1" f9a
    cp "$IMGS/rand511.img" "$R/rand511.img"
    run_case "$1" f9a "$R/rand511.img" $(AUTOSCAN 120) "$R/rand511.img" "$OUT"
    prep "$1" f9b
    cp "$IMGS/empty.img" "$R/empty.img"
    run_case "$1" f9b "$R/empty.img" $(AUTOSCAN 120) "$R/empty.img" "$OUT"
}

f10() {
    prep "$1" f10
    cp "$IMGS/cardB.img" "$R/cardB.img"
    mv "$R/card.img" "$R/cardA.img"
    local shared=$OUT
    L=$LOGS/$1-f10a
    run_case "$1" f10a "$R/cardA.img $R/cardB.img" $(AUTOSCAN 200) "$R/cardA.img" "$shared"
    (cd "$shared" && sha256sum -- *) > "$R/after-A.sha256"
    L=$LOGS/$1-f10b
    run_case "$1" f10b "$R/cardA.img $R/cardB.img" $(AUTOSCAN 200) "$R/cardB.img" "$shared"
    {
        echo "card A's saved files after the second save (sha256 -c of the list taken after the first):"
        (cd "$shared" && sha256sum -c "$R/after-A.sha256" 2>&1 | sed 's/^/  /')
        echo "card A files surviving: $(cd "$shared" && sha256sum -c "$R/after-A.sha256" 2>/dev/null | grep -c ': OK$')/$(wc -l < "$R/after-A.sha256")"
    } | tee -a "$L.log" | tail -1
}

# f11 VER: the program directory on the ext4 file system of the loop device being scanned.
# VER ctl is a control: the same set-up with NEW's bin directory, but the command is `true`
# (nothing of Velkor runs), to show what the mounted file system alone changes on the device.
f11() {
    local ver=$1 loop
    prep "$ver" f11
    rm -f "$R/card.img"
    truncate -s 64M "$R/ext4.img"
    loop=$(losetup -f --show "$R/ext4.img") || return 1
    trap 'umount "$MNT" 2>/dev/null; losetup -d "'"$loop"'" 2>/dev/null' EXIT
    mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$loop"
    mkdir -p "$MNT"
    mount "$loop" "$MNT"
    cp -a "$R/bin" "$MNT/bin"
    cp "$IMGS/photosA"/*.jpg "$MNT/"
    sync
    rm "$MNT"/*.jpg
    sync
    B=$MNT/bin
    flush "$loop"
    {
        echo "loop device $loop over $R/ext4.img, mounted on $MNT; program dir $B"
        echo "deleted photos on the device before: $(python3 "$T/survive.py" "$loop" "$IMGS/photosA")"
    } > "$L.pre"
    if [ "$ver" = ctl ]; then
        run_case "$ver" f11 "$loop" true
    else
        run_case "$ver" f11 "$loop" $(AUTOSCAN 200) "$loop" "$OUT"
    fi
    sync
    flush "$loop"
    {
        cat "$L.pre"
        echo "tem.tem inside the mount afterwards: $(ls -la "$MNT/bin/tem.tem" 2>&1)"
        echo "ini.ini inside the mount afterwards: $(ls -la "$MNT/bin/ini.ini" 2>&1)"
        echo "deleted photos on the device after (mounted, after sync and flushbufs): $(python3 "$T/survive.py" "$loop" "$IMGS/photosA")"
    } | tee -a "$L.log"
    rm -f "$L.pre"
    umount "$MNT"
    losetup -d "$loop"
    trap - EXIT
    echo "after umount and detach, photos in the backing file: $(python3 "$T/survive.py" "$R/ext4.img" "$IMGS/photosA")" | tee -a "$L.log"
}

setup
faults=("$@")
[ ${#faults[@]} -eq 0 ] && faults=(f1 f2 f3 f4 f5 f6 f7 f8 f9 f10 f11)
for fault in "${faults[@]}"; do
    vers="old new"
    [ "$fault" = f11 ] && vers="ctl old new"
    for ver in $vers; do "$fault" "$ver"; done
done
sha256sum -c "$LOGS/master-images.sha256" | sed 's/^/master image /'
echo "loop devices still attached: $(losetup -a | wc -l)"
