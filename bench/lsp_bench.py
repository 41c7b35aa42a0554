#!/usr/bin/env python3
"""Times wendrix-lsp where an editor waits on it: the diagnostics after a one-character change,
on a program of 10,000 statements spread over several include files; and its memory after many
edits, which must not grow with their number.

    lsp_bench.py BUILD_DIR [--edits N]"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(message):
    body = json.dumps(message).encode()
    return b"Content-Length: %d\r\n\r\n" % len(body) + body


def read_message(stream):
    length = None
    while True:
        line = stream.readline()
        if not line:
            return None
        line = line.strip()
        if not line:
            break
        if line.lower().startswith(b"content-length:"):
            length = int(line.split(b":")[1])
    return json.loads(stream.read(length))


def rss_kib(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--edits", type=int, default=200)
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as d:
        subprocess.run([sys.executable, os.path.join(HERE, "gen.py"), d, "--statements", "10000",
                        "--symbols", "1500", "--include-depth", "4"], check=True)
        files = sorted(f for f in os.listdir(d) if f.endswith((".asm", ".inc")))
        edited = [f for f in files if f.endswith(".inc")][-1]
        path = os.path.join(d, edited)
        text = open(path).read()
        server = subprocess.Popen([os.path.join(os.path.abspath(a.build), "wendrix-lsp")],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd=d)

        def send(message):
            server.stdin.write(frame(message))
            server.stdin.flush()

        uri = "file://" + path
        send({"jsonrpc": "2.0", "id": 1, "method": "initialize",
              "params": {"rootUri": "file://" + d, "capabilities": {}}})
        read_message(server.stdout)

        def until_diagnostics():
            # One publish for each file of the program and its instruction set; the edited
            # file's comes among them.
            seen = set()
            while True:
                m = read_message(server.stdout)
                if m.get("method") == "textDocument/publishDiagnostics":
                    if m["params"]["uri"] in seen:
                        continue
                    seen.add(m["params"]["uri"])
                    if len(seen) == len(files) + 1:
                        return

        send({"jsonrpc": "2.0", "method": "textDocument/didOpen",
              "params": {"textDocument": {"uri": uri, "languageId": "asm", "version": 1,
                                          "text": text}}})
        until_diagnostics()
        times, memory = [], []
        for edit in range(a.edits):
            # A one-character change: a digit of a comment, then back.
            changed = text + (";%d\n" % (edit % 10))
            start = time.perf_counter()
            send({"jsonrpc": "2.0", "method": "textDocument/didChange",
                  "params": {"textDocument": {"uri": uri, "version": edit + 2},
                             "contentChanges": [{"text": changed}]}})
            until_diagnostics()
            times.append(time.perf_counter() - start)
            if edit in (9, a.edits - 1):
                memory.append(rss_kib(server.pid))
        send({"jsonrpc": "2.0", "id": 2, "method": "shutdown"})
        send({"jsonrpc": "2.0", "method": "exit"})
        server.wait()
        lines = sum(1 for f in files for _ in open(os.path.join(d, f)))
        times.sort()
        print("program: %d lines in %d files; %d edits of %s" % (lines, len(files), a.edits, edited))
        print("diagnostics after a change: median %.1f ms, 90th percentile %.1f ms, worst %.1f ms"
              % (1000 * times[len(times) // 2], 1000 * times[len(times) * 9 // 10],
                 1000 * times[-1]))
        print("resident memory: %d KiB after 10 edits, %d KiB after %d" % (
            memory[0], memory[1], a.edits))


if __name__ == "__main__":
    main()
