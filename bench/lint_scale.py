#!/usr/bin/env python3
"""Measures wendrix-lint against wendrix on the same large inputs: CPU time and peak memory.

    lint_scale.py BUILD_DIR

Inputs: a line of 10^6 characters; 10^6 nop lines (every word past 0x7ff draws a warning);
an instruction set of 100,000 definitions that all share one word; the headline program of
bench/gen.py (65,536 statements)."""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
FUSES = "__FUSE equ 0\n__FUSEX equ 0\n\torg 0\n"


def inputs(root):
    example = open(os.path.join(HERE, "..", "examples", "inst.dat")).read()
    cases = {
        "long line": (example, FUSES + "\tnop ; " + "x" * 1000000 + "\n"),
        "10^6 nops": (example, FUSES + "\tnop\n" * 1000000),
        "100,000 definitions": ("".join("op%d k8 : 1111 k7-0\n" % i for i in range(100000)) +
                                "nop : 000000000000\n", FUSES + "\tnop\n"),
    }
    for name, (isa, source) in cases.items():
        d = os.path.join(root, name.replace(" ", "_").replace(",", ""))
        os.makedirs(d)
        open(os.path.join(d, "inst.dat"), "w").write(isa)
        open(os.path.join(d, "prog.asm"), "w").write(source)
        yield name, d
    d = os.path.join(root, "headline")
    subprocess.run([sys.executable, os.path.join(HERE, "gen.py"), d, "--pattern", "firmware",
                    "--statements", "65536", "--symbols", "10000"], check=True)
    yield "headline (65,536 statements)", d


def measure(exe, d):
    out = os.path.join(d, ".time")
    subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", out, exe, "prog"], cwd=d,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    user, system, kib = open(out).read().split()[-3:]
    return float(user) + float(system), int(kib) / 1024


def main():
    build = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as root:
        print("| input | wendrix CPU s | wendrix-lint CPU s | ratio | wendrix MiB | wendrix-lint MiB | ratio |")
        print("|---|---|---|---|---|---|---|")
        for name, d in inputs(root):
            t0, m0 = measure(os.path.join(build, "wendrix"), d)
            t1, m1 = measure(os.path.join(build, "wendrix-lint"), d)
            print("| %s | %.2f | %.2f | %.1f | %.1f | %.1f | %.1f |" % (
                name, t0, t1, t1 / max(t0, 0.01), m0, m1, m1 / m0))


if __name__ == "__main__":
    main()
