#!/usr/bin/env python3
"""Peak memory per statement, CPU time and instructions of wendrix on the largest generated
programs, beside the floor programs: an empty C++ program and a plain reader (floor_reader.cc,
which reads the source and its includes, splits every line into fields and hashes each one), both
linked statically as wendrix is.

    floor.py EXE [--baseline EXE] [--runs N]

Bytes per statement are (peak - the empty program's peak) / statements. CPU time is the least of
--runs runs (user plus system), peak memory the largest, instructions callgrind's count."""
import argparse, os, shutil, subprocess, tempfile

import measure

HERE = os.path.dirname(os.path.abspath(__file__))
SHAPES = [("headline", ["--pattern", "firmware", "--statements", "65536", "--symbols", "10000"]),
          ("regular", ["--statements", "262144", "--symbols", "40000"]),
          ("equ-chain", ["--pattern", "equ-chain", "--statements", "262144"]),
          ("org-chain", ["--pattern", "org-chain", "--statements", "262144"]),
          ("ds-chain", ["--pattern", "ds-chain", "--statements", "262144"])]


def build_floor(d):
    empty, reader = os.path.join(d, "empty"), os.path.join(d, "reader")
    with open(empty + ".cc", "w") as f:
        f.write("#include <iostream>\nint main() { return 0; }\n")
    for exe, source in ((empty, empty + ".cc"), (reader, os.path.join(HERE, "floor_reader.cc"))):
        subprocess.run(["g++", "-std=c++20", "-O2", "-static", "-o", exe, source], check=True)
    return empty, reader


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("--baseline")
    ap.add_argument("--runs", type=int, default=5)
    a = ap.parse_args()
    tools = tempfile.mkdtemp(prefix="wendrix-floor-")
    empty, reader = build_floor(tools)
    builds = [("this build", os.path.abspath(a.exe))]
    if a.baseline:
        builds.append(("baseline", os.path.abspath(a.baseline)))
    print("| program | statements | build | CPU ms | peak MiB | bytes per statement | instructions |")
    print("|---|---|---|---|---|---|---|")
    try:
        for name, options in SHAPES:
            d, lines = measure.generate(options)
            rows = builds + [("empty program", empty), ("plain reader", reader)]
            got = measure.measure(a.runs, [(exe, d) for _, exe in rows])
            floor = got[(empty, d)][1]
            for role, exe in rows:
                cpu, mib, _ = got[(exe, d)]
                count = measure.instructions(exe, d)
                per = "%.0f" % ((mib - floor) * 2**20 / lines) if exe not in (empty, reader) else ""
                print("| %s | %d | %s | %.1f | %.1f | %s | %s |" % (
                    name, lines, role, cpu * 1000, mib, per,
                    "{:,}".format(count) if count else ""), flush=True)
            shutil.rmtree(d)
    finally:
        shutil.rmtree(tools)


if __name__ == "__main__":
    main()
