#!/usr/bin/env python3
"""Writes a large Wendrix source for benchmarking into a directory.

    gen.py DIR [--statements N] [--symbols S] [--include-depth D] [--forward F]
    gen.py DIR --pattern firmware [--statements N] [--symbols S]
    gen.py DIR --pattern equ-chain|org-chain|ds-chain [--statements N]

The regular source defines S constants with equ (a share F of them referring to a constant
defined further down), fills all 2048 words of code over the four pages with instructions whose
gotos and calls stay on their own page, and pads the statement count up to N with unlabelled equ
statements. With D > 0 the source is spread over D nested include files. The patterns are the
slow cases of the fixed-point resolution: an equ chain written in reverse order, and org or ds
statements each depending on a label further down.
Writes DIR/inst.dat (the example instruction set) and DIR/prog.asm (plus any include files)."""
import argparse
import os
import random
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))


def regular(n, symbols, forward, rng):
    lines = ["__FUSE equ c0 & $FFF", "__FUSEX equ c1 & $FFF"]
    # Every third constant is a plain number; a forward reference names one of those further
    # down, a backward one any constant before it, so the definitions never form a cycle.
    bases = [j for j in range(symbols) if j % 3 == 0]
    for i in range(symbols):
        later = [j for j in bases[i // 3 + 1:i // 3 + 50]]
        if i % 3 == 0:
            lines.append("c%d equ %d" % (i, i * 7))
        elif later and rng.random() < forward:
            lines.append("c%d equ c%d + %d" % (i, rng.choice(later), i))
        else:
            lines.append("c%d equ c%d * 3 + $%x" % (i, rng.randrange(0, i), i))
    code = []
    for page in range(4):
        code.append("\torg $%03x" % (page * 512))
        for k in range(512):
            label = "p%d_%d" % (page, k) if k % 8 == 0 else ""
            choice = k % 6
            if choice == 0 and k + 8 < 256:
                code.append("%s\tgoto p%d_%d" % (label, page, (k // 8 + 1) * 8))
            elif choice == 1 and k < 200:
                code.append("%s\tcall p%d_%d" % (label, page, (k // 8) * 8))
            elif choice == 2:
                code.append("%s\tmovlw c%d & $FF" % (label, rng.randrange(symbols)))
            elif choice == 3:
                code.append("%s\taddwf $%02x,w" % (label, k % 32))
            elif choice == 4:
                code.append("%s\tbsf $06,%d" % (label, k % 8))
            else:
                code.append("%s\tmovwf $%02x" % (label, k % 32))
    lines += code
    while len(lines) < n:
        lines.append("\tequ c%d + %d" % (rng.randrange(symbols), len(lines)))
    return lines


def firmware(n, symbols, rng):
    """Shaped like a large real program: constants first, all 2048 words of code over the four
    pages with a comment on every instruction and a label every four words, then unlabelled equ
    statements that combine two constants, up to the statement count."""
    labels = 2048 // 4
    constants = max(symbols - labels - 2, 2)
    lines = ["__FUSE equ k0 & $FFF", "__FUSEX equ k1 & $FFF"]
    for i in range(constants):
        if i % 2 == 0 or i < 2:
            lines.append("k%d equ $%x ; constant %d" % (i, i * 5, i))
        else:
            lines.append("k%d equ k%d + k%d" % (i, rng.randrange(0, i), rng.randrange(0, i)))
    for page in range(4):
        lines.append("\torg $%03x ; page %d" % (page * 512, page))
        for k in range(512):
            label = "L%d_%d" % (page, k) if k % 4 == 0 else ""
            choice = k % 5
            if choice == 0 and k + 4 < 256:
                text = "goto L%d_%d" % (page, (k // 4 + 1) * 4)
            elif choice == 1 and k < 200:
                text = "call L%d_%d" % (page, (k // 4) * 4)
            elif choice == 2:
                text = "movlw k%d & $FF" % rng.randrange(constants)
            elif choice == 3:
                text = "bsf $06,%d" % (k % 8)
            else:
                text = "movwf $%02x" % (k % 32)
            lines.append("%s\t%s\t; step %d of page %d" % (label, text, k, page))
    while len(lines) < n:
        lines.append("\tequ k%d + k%d" % (rng.randrange(constants), rng.randrange(constants)))
    return lines


def equ_chain(n):
    lines = ["__FUSE equ a0 & $FFF", "__FUSEX equ 0"]
    lines += ["a%d equ a%d + 1" % (i, i + 1) for i in range(n - 1)]
    lines.append("a%d equ 1" % (n - 1))
    return lines


def org_chain(n):
    # Each org puts its block after the label of the next block, which lies further down.
    lines = ["__FUSE equ 0", "__FUSEX equ 0"]
    for i in range(n):
        lines.append("\torg b%d + 1" % (i + 1) if i + 1 < n else "\torg 0")
        lines.append("b%d\tnop" % i)
    return lines


def ds_chain(n):
    # Each block reserves as many words as the block after it, known only from its label.
    lines = ["__FUSE equ 0", "__FUSEX equ 0"]
    for i in range(n):
        lines.append("\torg %d" % (4 * i))
        lines.append("\tds l%d - %d" % (i + 1, 4 * (i + 1)) if i + 1 < n else "\tds 0")
        lines.append("l%d\tnop" % i)
    return lines


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir")
    ap.add_argument("--statements", type=int, default=65536)
    ap.add_argument("--symbols", type=int, default=10000)
    ap.add_argument("--include-depth", type=int, default=0)
    ap.add_argument("--forward", type=float, default=0.3)
    ap.add_argument("--pattern", choices=["firmware", "equ-chain", "org-chain", "ds-chain"])
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    rng = random.Random(a.seed)
    if a.pattern == "firmware":
        lines = firmware(a.statements, a.symbols, rng)
    elif a.pattern == "equ-chain":
        lines = equ_chain(a.statements)
    elif a.pattern == "org-chain":
        lines = org_chain(a.statements // 2)
    elif a.pattern == "ds-chain":
        lines = ds_chain(a.statements // 3)
    else:
        lines = regular(a.statements, a.symbols, a.forward, rng)
    os.makedirs(a.dir, exist_ok=True)
    shutil.copy(os.path.join(HERE, "..", "examples", "inst.dat"), os.path.join(a.dir, "inst.dat"))
    depth = a.include_depth
    # Spread the lines over nested files: each file holds its share, then includes the next.
    share = len(lines) // (depth + 1) + 1
    names = ["prog.asm"] + ["inc%d.inc" % d for d in range(1, depth + 1)]
    for d, name in enumerate(names):
        chunk = lines[d * share:(d + 1) * share]
        with open(os.path.join(a.dir, name), "w") as f:
            f.write("\n".join(chunk) + "\n")
            if d + 1 < len(names):
                f.write('#include "%s"\n' % names[d + 1])


if __name__ == "__main__":
    main()
