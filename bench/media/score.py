#!/usr/bin/env python3
"""Scores a recovery against a card's ground truth.

    score.py MANIFEST IMAGE OUTDIR [--details FILE]

Reads the photographs listed in MANIFEST (written by make_card.py) from IMAGE, and every
.jpg under OUTDIR (the files a tool saved, in any sub-directory), and prints one JSON line:

  full        photographs some saved file begins with, byte for byte, in full
  partial     photographs a saved file begins like (the first 4096 bytes) without holding them whole
  missed      photographs no saved file begins like
  false       saved files that begin like no photograph and are no EXIF thumbnail of one
  thumbnails  saved files that are a photograph's embedded EXIF thumbnail
  duplicates  further saved files that hold a photograph already counted in full
  long        full recoveries that run on past the sector holding the photograph's end
  bytes_written, photo_bytes, excess_bytes (bytes written by the full recoveries beyond the
  photographs' own sizes), longest_excess (the largest of those, in bytes)

--details lists each miss, partial, false positive and long save, with its offset and coding,
and for a long save where in the image its run ends.
"""
import argparse
import hashlib
import json
import os
import sys

PREFIX = 4096  # past the shared headers into each photograph's own data


def read_manifest(path, image):
    photos = []
    with open(path) as manifest, open(image, "rb") as card:
        for line in manifest:
            if line.startswith("#") or line.startswith("name\t") or not line.strip():
                continue
            name, offset, size, sha256, coding = (line.rstrip("\n").split("\t") + [""])[:5]
            card.seek(int(offset))
            data = card.read(int(size))
            if hashlib.sha256(data).hexdigest() != sha256:
                sys.exit(f"score: {image} does not hold {name} at {offset}: wrong image for this manifest?")
            photos.append({"name": name, "offset": int(offset), "size": int(size), "coding": coding, "data": data})
    return photos


def saved_files(directory):
    for root, _, names in os.walk(directory):
        for name in sorted(names):
            if name.lower().endswith((".jpg", ".jpeg")):
                yield os.path.join(root, name)


def common_prefix(a, b):
    """Length of the common beginning of a and b."""
    low, high = 0, min(len(a), len(b))
    while low < high:  # binary search over whole-slice comparisons: fast on megabytes
        middle = (low + high + 1) // 2
        if a[:middle] == b[:middle]:
            low = middle
        else:
            high = middle - 1
    return low


def thumbnail_of(data, photos):
    """The photograph whose EXIF segment holds data's picture (up to its first end marker), or None."""
    end = data.find(b"\xff\xd9")
    if end < 0 or data[:3] != b"\xff\xd8\xff":
        return None
    picture = data[:end + 2]
    for photo in photos:
        if photo["data"].find(picture, 2, 70000) > 0:
            return photo
    return None


def ending(photos, end):
    """Where a save that ran on ends, when it was cut from the image in one piece: inside which
    photograph, and how far into it."""
    for photo in photos:
        if photo["offset"] < end <= photo["offset"] + photo["size"]:
            return f"; the run ends {end - photo['offset']} bytes into {photo['name']}"
    return f"; the run ends at image byte {end}, in no photograph"


def score(photos, directory):
    by_prefix = {}
    for photo in photos:
        by_prefix.setdefault(photo["data"][:PREFIX], []).append(photo)
    best = {photo["name"]: None for photo in photos}  # None, ("partial", kept bytes, file) or ("full", excess, file)
    result = {"saved_files": 0, "bytes_written": 0, "false": 0, "thumbnails": 0, "duplicates": 0}
    details = []
    for path in saved_files(directory):
        data = open(path, "rb").read()
        result["saved_files"] += 1
        result["bytes_written"] += len(data)
        candidates = by_prefix.get(data[:PREFIX], [])
        if not candidates:
            owner = thumbnail_of(data, photos)
            if owner is not None:
                result["thumbnails"] += 1
            else:
                result["false"] += 1
                details.append(f"false positive: {path} ({len(data)} bytes, begins {data[:4].hex()})")
            continue
        for photo in candidates:
            if data.startswith(photo["data"]):
                if best[photo["name"]] and best[photo["name"]][0] == "full":
                    result["duplicates"] += 1
                else:
                    best[photo["name"]] = ("full", len(data) - photo["size"], path)
            elif best[photo["name"]] is None:
                best[photo["name"]] = ("partial", common_prefix(data, photo["data"]), path)
    excess = []
    for photo in photos:
        outcome = best[photo["name"]]
        where = f"{photo['name']} at {photo['offset']} ({photo['size']} bytes; {photo['coding']})"
        if outcome is None:
            details.append(f"missed: {where}")
        elif outcome[0] == "partial":
            details.append(f"partial: {where}: {outcome[2]} holds its first {outcome[1]} bytes "
                           f"of {os.path.getsize(outcome[2])}")
        else:
            excess.append(outcome[1])
            if outcome[1] >= 512:
                details.append(f"long: {where}: saved as {outcome[2]}, {outcome[1]} bytes beyond its end"
                               f"{ending(photos, photo['offset'] + photo['size'] + outcome[1])}")
    result.update({
        "photos": len(photos),
        "full": sum(1 for o in best.values() if o and o[0] == "full"),
        "partial": sum(1 for o in best.values() if o and o[0] == "partial"),
        "missed": sum(1 for o in best.values() if o is None),
        "photo_bytes": sum(p["size"] for p in photos),
        "long": sum(1 for e in excess if e >= 512),
        "excess_bytes": sum(excess),
        "longest_excess": max(excess, default=0),
    })
    return result, details


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    parser.add_argument("manifest")
    parser.add_argument("image")
    parser.add_argument("outdir")
    parser.add_argument("--details", help="write the list of misses, partials, false positives and long saves here")
    args = parser.parse_args()
    result, details = score(read_manifest(args.manifest, args.image), args.outdir)
    if args.details:
        with open(args.details, "w") as f:
            f.write("".join(line + "\n" for line in details))
    print(json.dumps(result))


if __name__ == "__main__":
    main()
