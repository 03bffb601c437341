#!/usr/bin/env python3
# runone.py PREFIX CMD...: runs CMD with stdout/stderr to PREFIX.out/.err and writes
# PREFIX.status: how it ended (exit N or signal N NAME, from the direct child's wait status) and wall time.
import signal, subprocess, sys, time
prefix, cmd = sys.argv[1], sys.argv[2:]
start = time.monotonic()
with open(prefix + ".out", "wb") as out, open(prefix + ".err", "wb") as err:
    rc = subprocess.run(cmd, stdout=out, stderr=err).returncode
wall = time.monotonic() - start
ended = f"signal {-rc} {signal.Signals(-rc).name}" if rc < 0 else f"exit {rc}"
with open(prefix + ".status", "w") as f:
    f.write(f"ended={ended}\nwall={wall:.2f}\n")
