#!/usr/bin/env python3
"""Runs two builds of wendrix on the same inputs and reports every difference in console output,
exit status, or any file a run leaves. For work on speed, where not a byte of output may change.

    differential.py OLD NEW [--programs N] [--large L] [--seed S] [--corpus DIR ...]

Inputs: N generated programs (default 10,000) of a few to a few hundred lines, and L large ones
(default 0) of 12,000 to 40,000 lines, which fill every block of every store many times over
(statements, expression nodes, symbols, kept texts, operands); both rich in nested parentheses,
every operator, forward references, org and ds chains, includes and errors. And every file of
each corpus directory (a fuzz corpus: an instruction set, a line "%%", then a source; or a source
alone, assembled with a fixed instruction set). Each input is assembled under one of the ways a
source can be named (ARGUMENT_FORMS), in turn."""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE_ISA = open(os.path.join(HERE, "..", "examples", "inst.dat"), "rb").read()
# The fuzz targets' fixed instruction set, for corpus files without one of their own.
FUZZ_ISA = (b'nop : 000000000000\nload "a" d8 : 1010 d7-0\nmove r5 s1 : 011001 s0 r4-0\n'
            b'add f5 "w" : 000111 0 f4-0\nadd f5 d1 : 000111 d0 f4-0\ngoto k9 : 101 k8-0\n'
            b'call k8 : 1001 k7-0\n')


def expression(rng, names, clean, depth=0, deepest=2):
    """An operand: numbers in every radix, names, operators, parentheses; unless `clean`, now
    and then a name never defined or a mistake."""
    r = rng.random()
    if depth > deepest or r < 0.35:
        if rng.random() < 0.45 and names:
            return rng.choice(names)
        numbers = ["%d" % rng.randrange(0, 4096), "$%X" % rng.randrange(0, 0x1000),
                   "0x%x" % rng.randrange(0, 256), "B'%s'" % bin(rng.randrange(0, 64))[2:],
                   "H'%X'" % rng.randrange(0, 256), "D'%d'" % rng.randrange(0, 99), "-1",
                   "$7FFFFFFF"]
        return rng.choice(numbers if clean else numbers + ["undefined%d" % rng.randrange(3)])
    if r < 0.45:
        return "(" + expression(rng, names, clean, depth + 1, deepest) + ")"
    if r < 0.52:
        return rng.choice(["-", "~"]) + expression(rng, names, clean, depth + 1, deepest)
    if r < 0.54 and not clean:
        return rng.choice(["1+", "(2", "3)", "4 5", "org", "6/0", "7%0", "x,,y", "'q'"])
    # A clean program divides only by numbers that are never 0.
    op = rng.choice(["+", "-", "*", "&", "|", "^", "<<", ">>"] + ([] if clean else ["/", "%"]))
    right = expression(rng, names, clean, depth + 1, deepest)
    if clean and rng.random() < 0.1:
        op, right = rng.choice(["/", "%"]), str(rng.randrange(1, 99))
    return expression(rng, names, clean, depth + 1, deepest) + rng.choice(["", " "]) + op + \
        rng.choice(["", " "]) + right


def program(rng, large=False):
    """A source and include files it names: of a few to a few hundred lines, or when `large` of
    12,000 to 40,000. Half of them make no mistake on purpose and define every name they use,
    somewhere."""
    clean = rng.random() < 0.5
    n = rng.choice([12000, 20000, 40000] if large else [5, 20, 60, 200])
    deepest = rng.choice([2, 4, 6]) if large else 2
    labels = ["L%d" % i for i in range(n // 3 + 1)]
    consts = ["c%d" % i for i in range(n // 3 + 1)]
    names = labels + consts
    lines, files = [], {}
    if clean or rng.random() < 0.9:
        lines.append("__FUSE equ " + expression(rng, names, clean))
    if clean or rng.random() < 0.9:
        lines.append("__FUSEX\tequ\t" + expression(rng, names, clean))
    # A clean program keeps its definitions free of cycles: a constant refers only to constants
    # after it, an org or a ds only to constants; instructions refer to anything.
    expr = lambda among=names: expression(rng, among, clean, 0, deepest)
    defined = set()
    for _ in range(n):
        r = rng.random()
        comment = rng.choice(["", "", " ; note", "\t// note", ";x", "  "])
        if r < 0.2:
            name = rng.choice(consts)
            if name in defined and (clean or rng.random() < 0.9):
                continue
            defined.add(name)
            later = consts[consts.index(name) + 1:] if clean else names
            lines.append("%s equ %s%s" % (name, expr(later), comment))
        elif r < 0.27:
            lines.append("\torg %s%s" % (expr(consts if clean else names), comment))
        elif r < 0.32:
            lines.append("\tds %s%s" % (expr(consts if clean else names), comment))
        elif r < 0.34:
            lines.append("\tequ %s" % expr())
        elif r < 0.37 and not clean:
            lines.append(rng.choice(["\tbogus 1", "\tgoto", "\tmovf 3,q", "nop", "\tmovlw 1,2",
                                     "\torg 1,2", "\tds", "x equ", "\tclrw 5", "\tmovf 3, w"]))
        elif r < 0.39 and len(files) < (12 if large else 3):
            inc = "inc%d.inc" % len(files)
            files[inc] = "\n".join("\tmovlw %s" % expr()
                                   for _ in range(rng.randrange(1, 400 if large else 4))) + "\n"
            lines.append(rng.choice(['#include "%s"', "#include <%s>", "  #INCLUDE \"%s\" ; c"]) % inc)
        elif r < 0.40 and not clean:
            lines.append(rng.choice(['#include "missing.inc"', "#include bad", "#include"]))
        else:
            label = ""
            if rng.random() < 0.35:
                label = rng.choice(labels)
                if label in defined and (clean or rng.random() < 0.95):
                    label = ""
                else:
                    defined.add(label)
            mnemonic = rng.choice(["goto", "call", "movlw", "retlw", "andlw", "movwf", "clrf",
                                   "bsf", "bcf", "btfss", "movf", "addwf", "decfsz", "nop", "ret",
                                   "clrw", "sleep", "MOVLW", "Goto"])
            if mnemonic.lower() in ("nop", "ret", "clrw", "sleep"):
                operands = ""
            elif mnemonic.lower() in ("bsf", "bcf", "btfss"):
                operands = "%s,%s" % (expr(), expr())
            elif mnemonic.lower() in ("movf", "addwf", "decfsz"):
                operands = "%s,%s" % (expr(), rng.choice(["w", "f", "W", "1", "0"]))
            else:
                operands = expr()
            lines.append("%s\t%s\t%s%s" % (label, mnemonic, operands, comment))
    if clean:
        # Every name gets its definition, wherever it falls: most uses are forward references.
        for name in consts:
            if name not in defined:
                lines.insert(rng.randrange(len(lines) + 1), "%s equ %d" % (name, rng.randrange(1, 300)))
        for name in labels:
            if name not in defined:
                lines.insert(rng.randrange(len(lines) + 1), "%s\tnop" % name)
        lines.insert(rng.randrange(3), "\torg 0")
    if rng.random() < 0.5:
        lines.insert(rng.randrange(len(lines) + 1), "\torg $%x" % rng.choice([0, 0x1F0, 0x200, 0x7F0]))
    ending = rng.choice(["\n", "\n", "\r\n"])
    text = ending.join(lines) + (ending if rng.random() < 0.9 else "")
    return text.encode(), {k: v.encode() for k, v in files.items()}


# How the source is named: (the argument, where the source is, the directory to make, if any).
# Every form of base name: plain, upper case, ".asm" in the middle, a path, the name as written
# on a case-sensitive file system, the empty base name, and a directory in the source's place.
ARGUMENT_FORMS = [
    ("t", "t.asm", None),
    ("T", "t.asm", None),
    ("t.ASM", "t.asm", None),
    ("t.asm.old", "t.asm", None),
    ("Sub/T.asm", "sub/t.asm", None),
    ("Sub/T.Asm", "Sub/T.asm", None),
    (".asm", ".asm", None),
    (".ASM", ".asm", None),
    ("", ".asm", None),
    ("t", "x.asm", "t.asm"),
]


def files_in(d):
    """Every file under d, by its path relative to d, with its bytes."""
    found = {}
    for root, _, names in os.walk(d):
        for name in names:
            path = os.path.join(root, name)
            found[os.path.relpath(path, d)] = open(path, "rb").read()
    return found


def run(exe, d, argument):
    try:
        p = subprocess.run([exe, argument], cwd=d, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=60)
        out, status = p.stdout, p.returncode
    except subprocess.TimeoutExpired:
        out, status = b"<timeout>", -1
    return out, status, files_in(d)


def lay_out(d, isa, source, includes, form):
    for name in os.listdir(d):
        path = os.path.join(d, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    _, where, directory = form
    if directory:
        os.makedirs(os.path.join(d, directory))
    os.makedirs(os.path.dirname(os.path.join(d, where)), exist_ok=True)
    with open(os.path.join(d, "inst.dat"), "wb") as f:
        f.write(isa)
    with open(os.path.join(d, where), "wb") as f:
        f.write(source)
    for name, content in includes.items():
        with open(os.path.join(d, name), "wb") as f:
            f.write(content)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--programs", type=int, default=10000)
    ap.add_argument("--large", type=int, default=0)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--corpus", nargs="*", default=[])
    a = ap.parse_args()
    exes = [os.path.abspath(a.old), os.path.abspath(a.new)]
    rng = random.Random(a.seed)
    inputs = []
    for i in range(a.programs):
        source, includes = program(rng)
        inputs.append(("generated %d" % i, EXAMPLE_ISA, source, includes))
    for i in range(a.large):
        source, includes = program(rng, large=True)
        inputs.append(("large %d" % i, EXAMPLE_ISA, source, includes))
    for corpus in a.corpus:
        for name in sorted(os.listdir(corpus)):
            data = open(os.path.join(corpus, name), "rb").read()
            cut = data.find(b"\n%%\n")
            if cut < 0:
                inputs.append((os.path.join(corpus, name), FUZZ_ISA, data, {}))
            else:
                inputs.append((os.path.join(corpus, name), data[:cut + 1], data[cut + 4:], {}))
    dirs = [tempfile.mkdtemp(prefix="wendrix-diff-") for _ in exes]
    differences = 0
    statuses = {}
    try:
        for number, (label, isa, source, includes) in enumerate(inputs):
            form = ARGUMENT_FORMS[number % len(ARGUMENT_FORMS)]
            label += " as %r" % form[0]
            results = []
            for exe, d in zip(exes, dirs):
                lay_out(d, isa, source, includes, form)
                results.append(run(exe, d, form[0]))
            statuses[results[0][1]] = statuses.get(results[0][1], 0) + 1
            if results[0] != results[1]:
                differences += 1
                what = [w for w, x, y in zip(["console", "status", "files"], results[0], results[1])
                        if x != y]
                print("DIFFERENT (%s): %s" % (", ".join(what), label), flush=True)
    finally:
        for d in dirs:
            shutil.rmtree(d)
    print("%d inputs, %d differences; exit statuses of the old build: %s" % (
        len(inputs), differences, ", ".join("%d: %d" % kv for kv in sorted(statuses.items()))))
    sys.exit(1 if differences else 0)


if __name__ == "__main__":
    main()
