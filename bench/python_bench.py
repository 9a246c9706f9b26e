#!/usr/bin/python3
"""The sample "Simple eutectic" on a 1000 x 1000 grid: brelona-calc run's sweep time (seconds
of summary.json) beside the wall time of problem.run() from Python, alternating, in one run.

usage: PYTHONPATH=BUILD/python /usr/bin/python3 bench/python_bench.py BUILD/cli/brelona-calc [N] [ROUNDS]
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import brelona

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NAME = "Simple eutectic"


def main():
    calc = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    with open(os.path.join(ROOT, "data", "problems.json"), encoding="utf-8") as f:
        rec = next(r for r in json.load(f)["records"] if r["ProblemName"] == NAME)
    problem = brelona.Problem(sheet=rec["Functs"], ymin=rec["Ymin"], ymax=rec["Ymax"],
                              z=rec["Zvalue"], xpoints=n, ypoints=n, name=NAME)
    cli, py = [], []
    with tempfile.TemporaryDirectory() as tmp:
        for k in range(rounds):
            out = os.path.join(tmp, str(k))
            subprocess.run([calc, "run", os.path.join(ROOT, "data", "Problems.d"), "--problem",
                            NAME, "--xpoints", str(n), "--ypoints", str(n), "--out", out],
                           check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(out, "summary.json"), encoding="utf-8") as f:
                cli.append(json.load(f)["seconds"])
            start = time.perf_counter()
            result = problem.run()
            py.append(time.perf_counter() - start)
            print(f"round {k + 1}: CLI sweep {cli[-1]:.4f} s, Python run() {py[-1]:.4f} s "
                  f"(engine {result.seconds:.4f} s)", flush=True)
    mc, mp = statistics.median(cli), statistics.median(py)
    print(f"{n} x {n}: median CLI sweep {mc:.4f} s, Python run() {mp:.4f} s, ratio {mp / mc:.3f}; "
          f"load average {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
