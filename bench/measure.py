#!/usr/bin/env python3
"""Measures a built wendrix as whole processes on generated sources and writes the figures as
Markdown tables (to stdout and, with --doc, into docs/performance.md):

- the headline: a program shaped like a large real one (65,536 statements, 10,000 symbols), its
  CPU time, peak memory and, when valgrind is there, instructions per statement; side by side
  with a baseline build when one is given;
- growth: CPU time and peak memory at every doubling from 8,192 to 262,144 statements, on the
  regular source and on the chain sources written against the resolution order.

CPU time is user plus system time of the process, peak memory its maximum resident set, as the
kernel reports them; each figure is the least (CPU) or the largest (memory) of --runs runs, the
sources and builds run in turn, round after round."""
import argparse, os, platform, re, shutil, subprocess, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = [8192, 16384, 32768, 65536, 131072, 262144]


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


def spawn(argv, d):
    """Runs argv in d, its output discarded; returns its resource usage. Spawned, the process
    does not start as a copy of this (much larger) Python process."""
    here = os.getcwd()
    os.chdir(d)
    try:
        pid = os.posix_spawn(argv[0], argv, os.environ,
                             file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
    finally:
        os.chdir(here)
    return os.wait4(pid, 0)[2]


def run_once(exe, d):
    """CPU seconds, peak MiB and exit status of the program. CPU time is the program's own, as
    the kernel counts it. Peak memory comes from a second run under GNU time, which starts the
    program from a small process (a spawned process inherits its parent's peak)."""
    cpu = spawn([exe, "prog"], d)
    peak = os.path.join(d, ".peak")
    spawn(["/usr/bin/time", "-f", "%M %x", "-o", peak, exe, "prog"], d)
    kib, status = open(peak).read().split()[-2:]
    return cpu.ru_utime + cpu.ru_stime, int(kib) / 1024, int(status)


def instructions(exe, d):
    if not shutil.which("valgrind"):
        return None
    out = tempfile.mktemp(prefix="wendrix-callgrind-")
    p = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, exe, "prog"],
                       cwd=d, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if os.path.exists(out):
        os.remove(out)
    found = re.search(r"Collected : (\d+)", p.stderr)
    return int(found.group(1)) if found else None


def measure(runs, jobs):
    """jobs: (exe, dir) pairs; returns {(exe, dir): (least cpu s, max MiB, status)}. The work is
    the same every run, and whatever else the machine does only adds to it: the least CPU time
    is the steadiest figure of the program's own cost."""
    samples = {job: [] for job in jobs}
    for _ in range(runs):
        for job in jobs:
            samples[job].append(run_once(*job))
    return {job: (min(s[0] for s in got), max(s[1] for s in got), got[-1][2])
            for job, got in samples.items()}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("--baseline", help="another build to measure side by side in the headline")
    ap.add_argument("--runs", type=int, default=21)
    ap.add_argument("--doc")
    a = ap.parse_args()
    exe = os.path.abspath(a.exe)
    exes = [exe] + ([os.path.abspath(a.baseline)] if a.baseline else [])

    headline_dir, headline_lines = generate(["--pattern", "firmware", "--statements", "65536",
                                             "--symbols", "10000"])
    ladders = [("regular", [["--statements", str(n), "--symbols", str(n * 10000 // 65536)]
                            for n in SIZES])]
    for pattern, per in (("equ-chain", 1), ("org-chain", 2), ("ds-chain", 3)):
        ladders.append((pattern, [["--pattern", pattern, "--statements", str(n // per * per)]
                                  for n in SIZES]))
    sources = [(name, generate(options)) for name, ladder in ladders for options in ladder]
    try:
        head = measure(a.runs, [(e, headline_dir) for e in exes])
        grown = measure(a.runs, [(exe, d) for _, (d, _) in sources])
        rows = []
        for e in exes:
            cpu, mib, status = head[(e, headline_dir)]
            count = instructions(e, headline_dir)
            per = "%.0f" % (count / headline_lines) if count else "n/a"
            role = "this build" if e == exe else "baseline"
            rows.append("| %s | %.1f | %.1f | %s | %s | %d |" % (
                role, cpu * 1000, mib, "{:,}".format(count) if count else "n/a", per, status))
            print(rows[-1], flush=True)
        if a.baseline:
            (c0, m0, _), (c1, m1, _) = head[(exe, headline_dir)], head[(exes[1], headline_dir)]
            rows.append("| this build / baseline | %.2f | %.2f | | | |" % (c0 / c1, m0 / m1))
        headline = "\n".join(["| build | CPU ms | peak MiB | instructions | per statement | exit |",
                              "|---|---|---|---|---|---|"] + rows)
        growth_rows, previous = [], None
        for name, (d, lines) in sources:
            cpu, mib, status = grown[(exe, d)]
            if previous and previous[0] == name:
                steps = "%.2fx | %.2fx" % (cpu / previous[1], mib / previous[2])
            else:
                steps = " | "
            previous = (name, cpu, mib)
            growth_rows.append("| %s | %d | %.1f | %.1f | %s | %d |" % (
                name, lines, cpu * 1000, mib, steps, status))
            print(growth_rows[-1], flush=True)
        growth = "\n".join(["| source | lines | CPU ms | peak MiB | CPU x previous | memory x previous"
                            " | exit |", "|---|---|---|---|---|---|---|"] + growth_rows)
    finally:
        shutil.rmtree(headline_dir)
        for _, (d, _) in sources:
            shutil.rmtree(d)
    if a.doc:
        text = open(a.doc).read()
        start, end = "<!-- figures -->", "<!-- /figures -->"
        before, rest = text.split(start, 1)
        after = rest.split(end, 1)[1]
        body = ("\n\nMeasured on %s, %s; CPU time is the least of %d runs, peak memory the "
                "largest.\n\nThe headline program (%d lines):\n\n%s\n\nGrowth:\n\n%s\n\n") % (
            machine(), time.strftime("%Y-%m-%d"), a.runs, headline_lines, headline, growth)
        open(a.doc, "w").write(before + start + body + end + after)


if __name__ == "__main__":
    main()
