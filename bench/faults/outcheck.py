#!/usr/bin/env python3
# outcheck.py OUTDIR: lists each saved file with size and sha256 and which original photo it holds
# (the original's bytes followed only by zero padding up to the saved size).
import hashlib, os, sys
root = os.path.join(os.environ.get("VELKOR_FAULTS_DIR", "/tmp/velkor-faults"), "imgs")
orig = {}
for card in ("A", "B"):
    d = os.path.join(root, "photos" + card)
    for n in sorted(os.listdir(d)):
        orig[open(os.path.join(d, n), "rb").read()] = f"{card}/{n}"
out = sys.argv[1]
names = sorted(os.listdir(out)) if os.path.isdir(out) else []
hits = {"A": 0, "B": 0}
for n in names:
    p = os.path.join(out, n)
    if not os.path.isfile(p):
        print(f"  {n} (not a regular file)"); continue
    data = open(p, "rb").read()
    h = hashlib.sha256(data).hexdigest()
    m = next((name for o, name in orig.items() if data.startswith(o) and not data[len(o):].strip(b"\0")), "-")
    if m != "-": hits[m[0]] += 1
    print(f"  {n} {os.path.getsize(p)} {h[:16]} = {m}")
print(f"files={len(names)} holds_cardA_photo={hits['A']} holds_cardB_photo={hits['B']}")
