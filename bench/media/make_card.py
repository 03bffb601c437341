#!/usr/bin/env python3
"""Makes a camera-card image whose photographs were erased, and its ground truth.

    make_card.py IMAGE --variant clean|reused|large [--seed N] [options]

The image holds an MBR whose first partition, FAT32, starts at sector 8192. Photographs
of camera sizes and codings (synthesised by velkor-makephotos, tagged and given EXIF
thumbnails by exiftool) and a few video clips are copied onto a fresh file system, so
every file is contiguous, then the partition is formatted again (or the files deleted):
the file system lists nothing, the bytes stay. IMAGE's stem + ".manifest.tsv" lists each
photograph: card name, byte offset in the image, size, sha256, coding.

Variants: clean (zeroed card), reused (a card full of old random data before it was
formatted, so the slack after a photograph is not zero), large (3 GiB, many photographs
straddling 51,200,000-byte read boundaries). Everything follows from the seed.
Needs: python3, dosfstools, mtools, libimage-exiftool-perl, and velkor-makephotos.
"""
import argparse
import concurrent.futures
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field

SECTOR = 512
PARTITION_START = 8192  # sectors: 4 MiB, where card formatters put the first partition
CHUNK = 51_200_000  # the scan's read unit; photographs across it are the hard case
MIN_PHOTO = 300_000
MAX_PHOTO = 8_000_000
FOLDER = "DCIM/100MEDIA"

VARIANTS = {
    # card MiB, photographs, clips, old data
    "clean": (1024, 150, 2, False),
    "reused": (1024, 150, 2, True),
    "large": (3072, 400, 10, False),
}

# Frame sizes of compact cameras and phones, landscape.
CAMERA_FRAMES = [(4000, 3000), (3888, 2592), (3648, 2736), (3264, 2448), (3000, 2000), (2592, 1944), (2048, 1536)]
SMALL_FRAMES = [(2592, 1944), (2048, 1536), (1600, 1200)]


@dataclass
class CardFile:
    name: str  # file name on the card, under FOLDER
    path: str  # staged copy
    size: int = 0
    sha256: str = ""
    coding: str = ""
    is_photo: bool = True
    offset: int = -1  # byte offset in the image, once copied


@dataclass
class Card:
    image: str
    sectors: int
    cluster_sectors: int
    seed: int
    files: list = field(default_factory=list)


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        sys.exit(f"make_card: {' '.join(command[:3])}... failed:\n{result.stdout}{result.stderr}")
    return result.stdout


def mtools_env(seed):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    # Directory entries carry times; a fixed clock keeps the image the same for a seed.
    env["SOURCE_DATE_EPOCH"] = str(1773484260 + seed)
    return env


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def cluster_sectors_for(partition_sectors):
    """The largest cluster up to 32 KiB that still gives FAT32 its 65525 clusters (with room
    for the FATs), as formatters choose it: 32 KiB from about 2.2 GB, smaller below."""
    sectors = 64
    while sectors > 1 and partition_sectors // sectors < 66600:
        sectors //= 2
    return sectors


def chs(lba):
    """CHS address of lba on a 255-head, 63-sector geometry; the 'beyond' value past 1023 cylinders."""
    cylinder, rest = divmod(lba, 255 * 63)
    if cylinder > 1023:
        return bytes([0xFE, 0xFF, 0xFF])
    head, sector = divmod(rest, 63)
    return bytes([head, ((cylinder >> 2) & 0xC0) | (sector + 1), cylinder & 0xFF])


def write_mbr(image, total_sectors, seed):
    size = total_sectors - PARTITION_START
    entry = bytes([0x00]) + chs(PARTITION_START) + bytes([0x0C]) + chs(total_sectors - 1)
    entry += PARTITION_START.to_bytes(4, "little") + size.to_bytes(4, "little")
    mbr = bytearray(SECTOR)
    mbr[440:444] = (0x5E1C0000 ^ seed).to_bytes(4, "little")  # disk signature
    mbr[446:462] = entry
    mbr[510:512] = b"\x55\xAA"
    with open(image, "r+b") as f:
        f.write(mbr)


def blank_card(image, total_sectors, old_data, seed):
    with open(image, "wb") as f:
        f.truncate(total_sectors * SECTOR)
        if old_data:
            stream = random.Random(f"old data {seed}")
            remaining = total_sectors * SECTOR
            while remaining > 0:
                block = min(remaining, 8 << 20)
                f.write(stream.randbytes(block))
                remaining -= block
    write_mbr(image, total_sectors, seed)


def format_partition(card):
    """A quick format, as a camera does it: boot sectors, FATs and the root directory only."""
    partition_sectors = card.sectors - PARTITION_START
    run(["mkfs.vfat", "-F", "32", "-S", str(SECTOR), "-s", str(card.cluster_sectors), "-h", str(PARTITION_START),
         f"--offset={PARTITION_START}", "--invariant", "-i", f"{0x1C4D0000 + card.seed:08X}", "-n", "CARD",
         card.image, str(partition_sectors // 2)])


def volume(card):
    return f"{card.image}@@{PARTITION_START * SECTOR}"


def plan_photos(count, frames, seed, staging):
    """Chooses each photograph's frame, coding and grain; the index decides the coding so that
    even a short card holds every kind (baseline and progressive, 4:2:0, 4:2:2, 4:4:4,
    grayscale, restart markers, EXIF thumbnails, padded thumbnails)."""
    chooser = random.Random(f"photos {seed}")
    plans = []
    for i in range(count):
        width, height = chooser.choice(frames)
        if chooser.random() < 0.15:
            width, height = height, width
        minute = 14 * 24 * 60 + 10 * 60 + 31 + i * 3 + chooser.randrange(3)
        day, rest = divmod(minute, 24 * 60)
        stamp = (2026, 3, day, rest // 60, rest % 60)
        plan = {
            "index": i,
            "name": f"DSC{i + 1:05d}.JPG",
            "width": width,
            "height": height,
            "quality": chooser.choice([90, 92, 95, 97]),
            "grain": chooser.randrange(3, 13),
            "sampling": ("422", "420", "444")[i % 3],
            "progressive": i % 5 == 1,
            "grayscale": i % 10 == 3,
            "restart": chooser.choice([1, 2, 4]) if i % 4 == 2 else 0,
            "thumbnail": i % 2 == 0,
            "padding": chooser.randrange(1024, 16384) if i % 6 == 0 else 0,
            "seed": seed * 100000 + i,
            "imprint": "%04d-%02d-%02d %02d:%02d" % stamp,
            "exif_time": "%04d:%02d:%02d %02d:%02d:00" % stamp,
        }
        plan["path"] = os.path.join(staging, plan["name"])
        plans.append(plan)
    return plans


def read_coding(data):
    """The coding as the bytes tell it: frame size, components and sampling, progressive or
    not, restart interval, EXIF thumbnail and zero padding after it."""
    found = {"thumbnail": False, "padding": 0, "restart": 0}
    position = 2
    while position + 4 <= len(data) and data[position] == 0xFF:
        marker = data[position + 1]
        length = int.from_bytes(data[position + 2:position + 4], "big")
        body = data[position + 4:position + 2 + length]
        if marker == 0xE1 and body.startswith(b"Exif\0\0"):
            start = body.find(b"\xff\xd8\xff")
            end = body.find(b"\xff\xd9", start)
            found["thumbnail"] = start > 0 and end > start
            if found["thumbnail"]:
                tail = body[end + 2:]
                found["padding"] = len(tail) if tail and tail.count(0) == len(tail) else 0
        elif marker in (0xC0, 0xC2):
            found["progressive"] = marker == 0xC2
            found["height"] = int.from_bytes(body[1:3], "big")
            found["width"] = int.from_bytes(body[3:5], "big")
            found["components"] = body[5]
            found["sampling"] = body[7]
        elif marker == 0xDD:
            found["restart"] = int.from_bytes(body[0:2], "big")
        elif marker == 0xDA:
            break
        position += 2 + length
    return found


def check_coding(plan, data):
    """Refuses a photograph whose bytes do not carry the coding its plan asked for."""
    found = read_coding(data)
    wanted = {"width": plan["width"], "height": plan["height"], "progressive": plan["progressive"],
              "components": 1 if plan["grayscale"] else 3, "thumbnail": plan["thumbnail"],
              # exiftool keeps the thumbnail's TIFF data word-aligned: a lone zero may follow it
              "padding": found["padding"] if 0 <= found["padding"] - plan["padding"] <= 1 else plan["padding"]}
    if not plan["grayscale"]:
        wanted["sampling"] = {"420": 0x22, "422": 0x21, "444": 0x11}[plan["sampling"]]
    mismatched = [key for key, value in wanted.items() if found.get(key) != value]
    if mismatched or (found["restart"] > 0) != (plan["restart"] > 0):
        sys.exit(f"make_card: {plan['name']} is not coded as planned ({mismatched or 'restart'}): {found}")


def coding_text(plan):
    words = [f"{plan['width']}x{plan['height']}", f"q{plan['quality']}",
             "gray" if plan["grayscale"] else plan["sampling"],
             "progressive" if plan["progressive"] else "baseline"]
    if plan["restart"]:
        words.append(f"restart{plan['restart']}")
    if plan["thumbnail"]:
        words.append(f"thumb+pad{plan['padding']}" if plan["padding"] else "thumb")
    return " ".join(words)


def synthesise(plan, makephotos):
    """Writes the photograph (and its thumbnail); keeps its grain within camera sizes."""
    grain = plan["grain"]
    for _ in range(8):
        command = [makephotos, "--photo", plan["path"], f"{plan['width']}x{plan['height']}", "--seed", str(plan["seed"]),
                   "--quality", str(plan["quality"]), "--grain", str(grain), "--sampling", plan["sampling"],
                   "--imprint", plan["imprint"]]
        if plan["progressive"]:
            command.append("--progressive")
        if plan["grayscale"]:
            command.append("--grayscale")
        if plan["restart"]:
            command += ["--restart", str(plan["restart"])]
        if plan["thumbnail"]:
            command += ["--thumbnail", plan["path"] + ".thumb.jpg"]
        run(command)
        size = os.path.getsize(plan["path"])
        # Leave room for the EXIF segment still to come.
        if size > MAX_PHOTO - 80_000 and grain > 1:
            grain = grain * 2 // 3
        elif size < MIN_PHOTO and grain < 40:
            grain += 6
        else:
            return
    sys.exit(f"make_card: {plan['name']} stays outside camera sizes ({size} bytes)")


def tag_photos(plans):
    """Adds the EXIF a camera writes, and the thumbnails, in one exiftool run."""
    lines = []
    for plan in plans:
        lines += ["-Make=VELKOR BENCH", "-Model=SYNTH 1", f"-DateTimeOriginal={plan['exif_time']}",
                  f"-CreateDate={plan['exif_time']}", "-ExposureTime=1/250", "-FNumber=4.0", "-ISO=200",
                  "-Orientation#=1"]
        if plan["thumbnail"]:
            lines.append(f"-ThumbnailImage<={plan['path']}.thumb.jpg")
        lines += [plan["path"], "-execute"]
    argfile = plans[0]["path"] + ".args"
    with open(argfile, "w") as f:
        f.write("\n".join(lines[:-1]) + "\n")
    run(["exiftool", "-@", argfile, "-common_args", "-q", "-q", "-overwrite_original"])


def pad_exif(path, padding):
    """Some cameras reserve room in the EXIF segment: zero bytes after the thumbnail, so the
    thumbnail's end marker is followed by zeros."""
    data = bytearray(open(path, "rb").read())
    position = 2
    while position + 4 <= len(data) and data[position] == 0xFF:
        marker = data[position + 1]
        length = int.from_bytes(data[position + 2:position + 4], "big")
        if marker == 0xE1 and data[position + 4:position + 10] == b"Exif\0\0":
            padding = min(padding, 0xFFFF - length)
            end = position + 2 + length
            data[end:end] = bytes(padding)
            data[position + 2:position + 4] = (length + padding).to_bytes(2, "big")
            open(path, "wb").write(bytes(data))
            return
        if marker == 0xDA:
            break
        position += 2 + length
    sys.exit(f"make_card: no EXIF segment in {path}")


def make_photos(plans, makephotos, jobs):
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for future in [pool.submit(synthesise, plan, makephotos) for plan in plans]:
            future.result()
    tag_photos(plans)
    files = []
    for plan in plans:
        if plan["padding"]:
            pad_exif(plan["path"], plan["padding"])
        check_coding(plan, open(plan["path"], "rb").read(0x20000))
        size = os.path.getsize(plan["path"])
        if not MIN_PHOTO <= size <= MAX_PHOTO:
            sys.exit(f"make_card: {plan['name']} is {size} bytes, outside camera sizes")
        files.append(CardFile(plan["name"], plan["path"], size, sha256_of(plan["path"]), coding_text(plan)))
    return files


def make_clip(path, size, seed):
    """A video clip: an MP4 header and compressed-looking (random) data."""
    stream = random.Random(f"clip {seed} {size}")
    with open(path, "wb") as f:
        f.write(bytes.fromhex("0000001866747970") + b"mp42\0\0\0\0mp42isom")
        remaining = size - 24
        while remaining > 0:
            block = min(remaining, 8 << 20)
            f.write(stream.randbytes(block))
            remaining -= block
    return CardFile(os.path.basename(path), path, size, is_photo=False, coding="clip")


def copy_to_card(card):
    env = mtools_env(card.seed)
    for folder in ("DCIM", FOLDER):
        run(["mmd", "-i", volume(card), "::/" + folder], env=env)
    for number, f in enumerate(card.files):
        stamp = 1773484260 + card.seed + 60 * number  # mcopy -m keeps it; a fixed one keeps the image the same
        os.utime(f.path, (stamp, stamp))
    # One mcopy in card order: a fresh file system then allocates every file contiguously.
    run(["mcopy", "-m", "-i", volume(card)] + [f.path for f in card.files] + ["::/" + FOLDER], env=env)


def read_layout(card):
    """Records each file's byte offset from its cluster chain; refuses fragmented files."""
    boot = open(card.image, "rb").read(PARTITION_START * SECTOR + SECTOR)[PARTITION_START * SECTOR:]
    reserved = int.from_bytes(boot[14:16], "little")
    fats = boot[16]
    fat_sectors = int.from_bytes(boot[36:40], "little")
    cluster_bytes = boot[13] * SECTOR
    data_start = (PARTITION_START + reserved + fats * fat_sectors) * SECTOR
    names = [f"::/{FOLDER}/{f.name}" for f in card.files]
    listing = run(["mshowfat", "-i", volume(card)] + names, env=mtools_env(card.seed))
    chains = {}
    for line in listing.splitlines():
        match = re.match(r"(\S+) (<.*>)$", line.strip())
        if match:
            chains[match.group(1).split("/")[-1].upper()] = re.findall(r"<(\d+)(?:-(\d+))?>", match.group(2))
    for f in card.files:
        chain = chains.get(f.name.upper())
        if not chain:
            sys.exit(f"make_card: no cluster chain for {f.name}:\n{listing}")
        if len(chain) != 1:
            sys.exit(f"make_card: {f.name} is fragmented: {chain}")
        f.offset = data_start + (int(chain[0][0]) - 2) * cluster_bytes


def verify_layout(card):
    with open(card.image, "rb") as image:
        for f in card.files:
            if not f.is_photo:
                continue
            image.seek(f.offset)
            if hashlib.sha256(image.read(f.size)).hexdigest() != f.sha256:
                sys.exit(f"make_card: the bytes at {f.offset} are not {f.name}")


def erase(card, how):
    if how == "format":
        format_partition(card)
    else:
        run(["mdeltree", "-i", volume(card), "::/DCIM"], env=mtools_env(card.seed))
    listing = run(["mdir", "-b", "-i", volume(card), "::/"], env=mtools_env(card.seed))
    if "DCIM" in listing.upper():
        sys.exit(f"make_card: photographs still listed after erasing:\n{listing}")


def straddles(f):
    return f.offset // CHUNK != (f.offset + f.size - 1) // CHUNK


def straddle_target(photos):
    """The photograph that --straddle puts across the first read boundary: three quarters in,
    so that a small card has room for the rest behind the boundary."""
    return photos[len(photos) * 3 // 4]


def lay_out(card, plan, lead_clip, staging):
    """Formats, copies and records the layout. With lead_clip, a clip goes first, sized so that
    the straddle target crosses the first read boundary."""
    photos = [f for f in plan if f.is_photo]
    target = straddle_target(photos)
    cluster = card.cluster_sectors * SECTOR
    clip_clusters = 1
    for _ in range(4):
        clip = make_clip(os.path.join(staging, "CLIP0000.MP4"), clip_clusters * cluster - 100, card.seed) if lead_clip else None
        card.files = ([clip] if clip else []) + plan
        format_partition(card)
        copy_to_card(card)
        read_layout(card)
        if not lead_clip or target.offset < CHUNK < target.offset + target.size:
            return
        clip_clusters += (CHUNK - target.size // 2 - target.offset) // cluster
        if clip_clusters < 1:
            break
    sys.exit("make_card: cannot make a photograph straddle the first read boundary on this card")


def write_manifest(card, path, variant, how):
    photos = sorted((f for f in card.files if f.is_photo), key=lambda f: f.offset)
    with open(path, "w") as m:
        m.write(f"# image={os.path.basename(card.image)} variant={variant} seed={card.seed} bytes={card.sectors * SECTOR} "
                f"partition_sector={PARTITION_START} cluster_bytes={card.cluster_sectors * SECTOR} erased_by={how}\n")
        m.write("name\toffset\tsize\tsha256\tcoding\n")
        for f in photos:
            m.write(f"{FOLDER}/{f.name}\t{f.offset}\t{f.size}\t{f.sha256}\t{f.coding}\n")
    return photos


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[1], formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("image")
    parser.add_argument("--variant", choices=sorted(VARIANTS), required=True)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--card-mib", type=int, help="card size (default: by variant)")
    parser.add_argument("--photos", type=int, help="number of photographs (default: by variant)")
    parser.add_argument("--clips", type=int, help="number of video clips among them (default: by variant)")
    parser.add_argument("--small-frames", action="store_true", help="frames up to 5 MP only (quicker; for tests)")
    parser.add_argument("--straddle", action="store_true",
                        help="put a clip first, sized so that a photograph three quarters in straddles the first read boundary")
    parser.add_argument("--erase", choices=["format", "delete"], default="format")
    parser.add_argument("--makephotos", default=os.path.join(os.path.dirname(__file__), "../../build/bin/velkor-makephotos"))
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()

    card_mib, photo_count, clip_count, old_data = VARIANTS[args.variant]
    card_mib = args.card_mib or card_mib
    photo_count = args.photos if args.photos is not None else photo_count
    clip_count = args.clips if args.clips is not None else clip_count
    if photo_count < 1:
        sys.exit("make_card: at least one photograph")
    for tool in ("mkfs.vfat", "mcopy", "exiftool"):
        if shutil.which(tool) is None and not os.path.exists("/sbin/" + tool):
            sys.exit(f"make_card: {tool} is missing (packages dosfstools, mtools, libimage-exiftool-perl)")
    if not os.access(args.makephotos, os.X_OK):
        sys.exit(f"make_card: no velkor-makephotos at {args.makephotos} (build first, or give --makephotos)")
    os.environ["PATH"] += ":/sbin:/usr/sbin"

    total_sectors = card_mib * 1024 * 1024 // SECTOR
    card = Card(os.path.abspath(args.image), total_sectors, cluster_sectors_for(total_sectors - PARTITION_START), args.seed)
    stem = re.sub(r"\.img$", "", card.image)
    os.makedirs(os.path.dirname(card.image), exist_ok=True)
    with tempfile.TemporaryDirectory(prefix=".make_card-", dir=os.path.dirname(card.image)) as staging:
        plans = plan_photos(photo_count, SMALL_FRAMES if args.small_frames else CAMERA_FRAMES, args.seed, staging)
        plan = make_photos(plans, os.path.abspath(args.makephotos), args.jobs)
        # Clips go between photographs at seeded places, sized 40 to 160 MB.
        placer = random.Random(f"clips {args.seed}")
        for c in range(clip_count):
            clip = make_clip(os.path.join(staging, f"CLIP{c + 1:04d}.MP4"), placer.randrange(40, 160) * 1_000_000 + placer.randrange(SECTOR), args.seed + c)
            plan.insert(placer.randrange(len(plan) + 1), clip)
        room = (total_sectors - PARTITION_START) * SECTOR * 0.97
        needed = sum(f.size for f in plan)
        if args.straddle:
            # The lead clip brings the straddle target to the boundary; the rest must fit behind it.
            needed = max(needed, CHUNK + sum(f.size for f in plan[plan.index(straddle_target([f for f in plan if f.is_photo])):]))
        if needed > room:
            sys.exit(f"make_card: {needed} bytes of files do not fit a {card_mib} MiB card")
        blank_card(card.image, total_sectors, old_data, args.seed)
        lay_out(card, plan, args.straddle, staging)
        verify_layout(card)
        erase(card, args.erase)
        verify_layout(card)
    photos = write_manifest(card, stem + ".manifest.tsv", args.variant, args.erase)
    sizes = [f.size for f in photos]
    print(f"{card.image}: {card_mib} MiB, cluster {card.cluster_sectors * SECTOR} B, {len(photos)} photographs "
          f"({sum(sizes)} bytes, {min(sizes)} to {max(sizes)}), {sum(1 for f in card.files if not f.is_photo)} clips, "
          f"{sum(1 for f in photos if straddles(f))} photographs straddle a {CHUNK}-byte boundary; erased by {args.erase}")
    print(f"manifest: {stem}.manifest.tsv")


if __name__ == "__main__":
    main()
