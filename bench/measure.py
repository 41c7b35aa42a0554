#!/usr/bin/env python3
"""Times whole-process runs of a built wendrix on generated sources of growing size and writes
the figures as a Markdown table (to stdout and, with --doc, into docs/performance.md)."""
import argparse, os, platform, re, shutil, statistics, subprocess, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))


def machine():
    model = "unknown processor"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return "%s, %d cores, %.0f GiB, %s %s" % (model, os.cpu_count(), mem, platform.system(),
                                              platform.release())


def generate(options):
    d = tempfile.mkdtemp(prefix="wendrix-measure-")
    subprocess.run(["python3", os.path.join(HERE, "gen.py"), d] + options, check=True)
    lines = sum(1 for name in os.listdir(d) if name.endswith((".asm", ".inc"))
                for _ in open(os.path.join(d, name)))
    return d, lines


def run_once(exe, d):
    start = time.perf_counter()
    p = subprocess.run([exe, "prog"], cwd=d, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start, p.returncode


def peak_mib(exe, d):
    p = subprocess.run(["/usr/bin/time", "-v", exe, "prog"], cwd=d, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", p.stderr).group(1)) / 1024


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("--doc")
    a = ap.parse_args()
    exe = os.path.abspath(a.exe)
    rows = []
    ladders = [("regular", [(n, ["--statements", str(n), "--symbols", str(n * 10000 // 65536)])
                            for n in (8192, 16384, 32768, 65536, 131072)]),
               ("regular, include depth 15", [(65536, ["--statements", "65536", "--include-depth", "15"])]),
               ("regular, no forward references", [(65536, ["--statements", "65536", "--forward", "0"])]),
               ("regular, all forward references", [(65536, ["--statements", "65536", "--forward", "1"])])]
    for pattern in ("equ-chain", "org-chain", "ds-chain"):
        ladders.append((pattern + " (reverse order)",
                        [(n, ["--pattern", pattern, "--statements", str(n)]) for n in (10000, 20000, 40000)]))
    # Every source is generated first, then each round runs every source once, so that a
    # change in the machine's speed during the measurement hits all sizes alike.
    sources = [(name, generate(options)) for name, ladder in ladders for _, options in ladder]
    times = {d: [] for _, (d, _) in sources}
    status = {}
    try:
        for _ in range(a.runs):
            for _, (d, _) in sources:
                t, status[d] = run_once(exe, d)
                times[d].append(t)
        previous_name, previous = None, None
        for name, (d, lines) in sources:
            t = statistics.median(times[d])
            growth = "%.2fx" % (t / previous) if name == previous_name else ""
            previous_name, previous = name, t
            rows.append("| %s | %d | %.1f | %s | %.0f | %.1f | %d |" % (
                name, lines, t * 1000, growth, lines / t, peak_mib(exe, d), status[d]))
            print(rows[-1], flush=True)
    finally:
        for _, (d, _) in sources:
            shutil.rmtree(d)
    table = "\n".join(["| source | lines | median wall ms | x previous | lines/s | peak MiB | exit |",
                       "|---|---|---|---|---|---|---|"] + rows)
    if a.doc:
        text = open(a.doc).read()
        start, end = "<!-- figures -->", "<!-- /figures -->"
        head, rest = text.split(start, 1)
        tail = rest.split(end, 1)[1]
        body = ("\n\nMeasured on %s, %s; median of %d runs, process start included, the sizes "
                "run in turn.\n\n%s\n\n") % (
            machine(), time.strftime("%Y-%m-%d"), a.runs, table)
        open(a.doc, "w").write(head + start + body + end + tail)


if __name__ == "__main__":
    main()
