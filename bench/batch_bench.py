#!/usr/bin/python3
"""brelona-calc run --all with -j 1 beside -j 2 on 16 problems (eight samples twice, on a
finer grid), alternating, several rounds; prints each wall time, the CPU time of the processes
and the median ratio of the wall times.

usage: /usr/bin/python3 bench/batch_bench.py BUILD/cli/brelona-calc [POINTS] [ROUNDS]
"""

import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    calc = sys.argv[1]
    points = int(sys.argv[2]) if len(sys.argv) > 2 else 400
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    with open(os.path.join(ROOT, "data", "problems.json"), encoding="utf-8") as f:
        db = json.load(f)
    records = []
    for copy in (1, 2):
        for r in db["records"][:8]:
            r = dict(r, XPoints=points, YPoints=points)
            r["ProblemName"] = f"{r['ProblemName']} ({copy})"
            records.append(r)
    db["records"] = records
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "p.json"), "w", encoding="utf-8") as f:
            json.dump(db, f)
        subprocess.run([calc, "db-import", os.path.join(tmp, "p.json"), os.path.join(tmp, "p.d")],
                       check=True)
        times = {1: [], 2: []}
        cpu = {1: [], 2: []}
        for k in range(rounds):
            for jobs in (1, 2):
                out = os.path.join(tmp, f"out{k}_{jobs}")
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                start = time.perf_counter()
                subprocess.run([calc, "run", os.path.join(tmp, "p.d"), "--all", "-j", str(jobs),
                                "--quiet", "--out", out], check=True, stdout=subprocess.DEVNULL)
                times[jobs].append(time.perf_counter() - start)
                after = resource.getrusage(resource.RUSAGE_CHILDREN)
                cpu[jobs].append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
                print(f"round {k + 1}: -j {jobs}: {times[jobs][-1]:.3f} s wall, "
                      f"{cpu[jobs][-1]:.3f} s CPU", flush=True)
    m1, m2 = statistics.median(times[1]), statistics.median(times[2])
    print(f"{len(records)} problems, {points} x {points}: median -j 1 {m1:.3f} s, "
          f"-j 2 {m2:.3f} s, speed-up {m1 / m2:.2f}x; CPU -j 1 {statistics.median(cpu[1]):.3f} s, "
          f"-j 2 {statistics.median(cpu[2]):.3f} s; load average {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
