#!/usr/bin/env python3
"""Counts the instructions (callgrind) that wendrix-lsp spends where an editor waits on it, beside
a whole wendrix-lint run of the same program, and its memory on a large document.

    lsp_cost.py BUILD_DIR [--edits N] [--labels L,L,...] [--document-mb M]

- edit: a program of 10,000 statements over five files (bench/gen.py); a session that opens the
  innermost include file and changes it N times, less the same session without the changes, per
  change; beside `wendrix-lint prog.asm` on the same files.
- document symbols: a file of L labels; a session asking for its symbols 10 times, less one
  that asks once, per request; for each L, to show the cost grows linearly.
- memory: the server's resident memory after opening a generated document of M MB, as a
  multiple of its size."""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(message):
    body = json.dumps(message).encode()
    return b"Content-Length: %d\r\n\r\n" % len(body) + body


def callgrind(command, cwd, stdin=b""):
    with tempfile.NamedTemporaryFile(suffix=".out") as out:
        p = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out.name] +
                           command, cwd=cwd, input=stdin, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, check=True)
        m = re.search(rb"Collected : (\d+)", p.stderr)
        return int(m.group(1))


def session(root, messages):
    head = [{"jsonrpc": "2.0", "id": 0, "method": "initialize",
             "params": {"rootUri": "file://" + root, "capabilities": {}}}]
    tail = [{"jsonrpc": "2.0", "id": 99, "method": "shutdown"}, {"jsonrpc": "2.0", "method": "exit"}]
    return b"".join(frame(m) for m in head + messages + tail)


def open_message(path, text):
    return {"jsonrpc": "2.0", "method": "textDocument/didOpen",
            "params": {"textDocument": {"uri": "file://" + path, "languageId": "asm",
                                        "version": 1, "text": text}}}


def change_message(path, text, version):
    return {"jsonrpc": "2.0", "method": "textDocument/didChange",
            "params": {"textDocument": {"uri": "file://" + path, "version": version},
                       "contentChanges": [{"text": text}]}}


def edit_cost(build, edits):
    lsp = os.path.join(build, "wendrix-lsp")
    with tempfile.TemporaryDirectory() as d:
        subprocess.run([sys.executable, os.path.join(HERE, "gen.py"), d, "--statements", "10000",
                        "--symbols", "1500", "--include-depth", "4"], check=True)
        files = sorted(f for f in os.listdir(d) if f.endswith(".inc"))
        path = os.path.join(d, files[-1])
        text = open(path).read()
        opened = [open_message(path, text)]
        changes = [change_message(path, text + ";%d\n" % (k % 10), k + 2) for k in range(edits)]
        base = callgrind([lsp], d, session(d, opened))
        edited = callgrind([lsp], d, session(d, opened + changes))
        lint = callgrind([os.path.join(build, "wendrix-lint"), "prog.asm"], d)
        lines = sum(1 for f in os.listdir(d) if f.endswith((".asm", ".inc"))
                    for _ in open(os.path.join(d, f)))
        per_edit = (edited - base) / edits
        print("edit of a %d-line program: %.1f M instructions per change; wendrix-lint run: "
              "%.1f M; ratio %.2f" % (lines, per_edit / 1e6, lint / 1e6, per_edit / lint))


def symbols_cost(build, labels):
    lsp = os.path.join(build, "wendrix-lsp")
    for n in labels:
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "inst.dat"), "w") as f:
                f.write("nop : 000000000000\ngoto k9 : 101 k8-0\n")
            lines = ["__FUSE equ 0", "__FUSEX equ 0", "\torg 0"]
            lines += ["l%d\tnop" % i if i % 2 else "k%d\tequ\t%d" % (i, i) for i in range(n)]
            text = "\n".join(lines) + "\n"
            path = os.path.join(d, "prog.asm")
            with open(path, "w") as f:
                f.write(text)
            ask = {"jsonrpc": "2.0", "id": 5, "method": "textDocument/documentSymbol",
                   "params": {"textDocument": {"uri": "file://" + path}}}
            once = callgrind([lsp], d, session(d, [open_message(path, text), ask]))
            ten = callgrind([lsp], d, session(d, [open_message(path, text)] + [ask] * 10))
            print("document symbols of %d labels: %.2f M instructions per request" % (
                n, (ten - once) / 9 / 1e6))


def memory(build, megabytes):
    lsp = os.path.join(build, "wendrix-lsp")
    with tempfile.TemporaryDirectory() as d:
        with open(os.path.join(d, "inst.dat"), "w") as f:
            f.write("nop : 000000000000\nmovlw k8 : 1100 k7-0\ngoto k9 : 101 k8-0\n")
        # A program as large firmware grows: code that fills the memory, then a register and
        # constant map and its commentary, which is what a document of this size mostly is.
        body = ["__FUSE equ 0", "__FUSEX equ 0", "\torg 0"]
        body += ["l%d\tmovlw\t%d\t; step %d" % (i, i % 256, i) if i % 4 else "\tgoto\tl%d" % (i + 1)
                 for i in range(2047)] + ["l2047\tnop"]
        size, i = sum(len(line) + 1 for line in body), 0
        while size < megabytes << 20:
            line = ("c%d\tequ\t$%x\t; constant %d of the map" % (i, i & 0xFFF, i) if i % 3
                    else "; the map, part %d: what each constant below is for" % i)
            body.append(line)
            size += len(line) + 1
            i += 1
        text = "\n".join(body) + "\n"
        path = os.path.join(d, "big.asm")
        with open(path, "w") as f:
            f.write(text)
        script = os.path.join(d, "in.bin")
        with open(script, "wb") as f:
            f.write(session(d, [open_message(path, text)])[:-len(frame(
                {"jsonrpc": "2.0", "method": "exit"})) - len(frame(
                    {"jsonrpc": "2.0", "id": 99, "method": "shutdown"}))])
        p = subprocess.run(["/usr/bin/time", "-f", "%M", os.path.join(build, "wendrix-lsp")],
                           cwd=d, stdin=open(script, "rb"), stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE)
        peak = int(p.stderr.split()[-1])
        print("a %.1f MB document: peak resident memory %.0f MB, %.1f times its size" % (
            len(text) / 2**20, peak / 1024, peak * 1024 / len(text)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--edits", type=int, default=5)
    ap.add_argument("--labels", default="1000,2000,4000")
    ap.add_argument("--document-mb", type=int, default=20)
    ap.add_argument("--only", choices=["edit", "symbols", "memory"])
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    if a.only in (None, "edit"):
        edit_cost(build, a.edits)
    if a.only in (None, "symbols"):
        symbols_cost(build, [int(n) for n in a.labels.split(",")])
    if a.only in (None, "memory"):
        memory(build, a.document_mb)


if __name__ == "__main__":
    main()
