#!/usr/bin/env python3
# survive.py DEVICE_OR_IMAGE PHOTODIR: how many of PHOTODIR's photos still lie byte-for-byte
# (contiguously) somewhere in the raw device.
import os, sys
raw = open(sys.argv[1], "rb").read()
d = sys.argv[2]
alive = []
for n in sorted(os.listdir(d)):
    b = open(os.path.join(d, n), "rb").read()
    alive.append(n if raw.find(b) >= 0 else None)
print(f"intact_on_device={sum(1 for a in alive if a)}/{len(alive)} missing={[n for n, a in zip(sorted(os.listdir(d)), alive) if not a]}")
