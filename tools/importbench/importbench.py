#!/usr/bin/env python3
"""Import benchmark: the whole offline import of the shared recordings into a new
logbook (reading, analysis, insertion and XC scoring) against `kalvora-cli score`
over the same files, which does the scoring alone.

Usage: tools/importbench/importbench.py [--cli PATH] [--testdata DIR] [--rounds N]

The two runs alternate so that a busy machine slows both alike; the medians of
wall-clock and CPU time are compared. The goal: import <= 1.5 x score.
"""
import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

GOAL = 1.5


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(args, env):
    cpu = children_cpu()
    start = time.perf_counter()
    result = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    wall = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"{' '.join(args[:3])} ... failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    return wall, children_cpu() - cpu, result.stdout


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(os.environ.get("KALVORA_BUILD_DIR", os.path.join(root, "build")),
                                                      "cli", "kalvora-cli"))
    parser.add_argument("--testdata", default=os.path.join(root, "..", "shared", "testdata", "igc"))
    parser.add_argument("--rounds", type=int, default=3)
    opts = parser.parse_args()

    files = sorted(os.path.join(opts.testdata, f) for f in os.listdir(opts.testdata) if f.endswith(".igc"))
    if not files:
        sys.exit(f"no recordings in {opts.testdata}")

    scores, imports = [], []
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, HOME=tmp, XDG_DATA_HOME=os.path.join(tmp, "data"),
                   XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                   # Never reach out, even if --offline were dropped.
                   KALVORA_NOMINATIM_URL="http://127.0.0.1:9", KALVORA_TIMEZONE_URL="http://127.0.0.1:9")
        for round_ in range(opts.rounds):
            scores.append(timed([opts.cli, "score", *files], env)[:2])
            logbook = os.path.join(tmp, f"bench-{round_}.kalvora")
            wall, cpu, out = timed([opts.cli, "import", logbook, *files, "--offline"], env)
            summary = json.loads(out)
            if len(summary["flights"]) != len(files) or any(f["freeDistance"] < 0 for f in summary["flights"]):
                sys.exit("the import did not score every flight")
            imports.append((wall, cpu))
            print(f"round {round_ + 1}: score {scores[-1][0]:.2f} s wall {scores[-1][1]:.2f} s cpu; "
                  f"import {wall:.2f} s wall {cpu:.2f} s cpu", flush=True)

    score_wall = statistics.median(w for w, _ in scores)
    score_cpu = statistics.median(c for _, c in scores)
    import_wall = statistics.median(w for w, _ in imports)
    import_cpu = statistics.median(c for _, c in imports)
    ratio = import_wall / score_wall
    print(f"{len(files)} files, median of {opts.rounds}: score {score_wall:.2f} s wall / {score_cpu:.2f} s cpu, "
          f"import {import_wall:.2f} s wall / {import_cpu:.2f} s cpu")
    print(f"import/score wall ratio {ratio:.2f} (cpu ratio {import_cpu / score_cpu:.2f}); goal <= {GOAL}: "
          f"{'met' if ratio <= GOAL else 'NOT met'}")
    return 0 if ratio <= GOAL else 1


if __name__ == "__main__":
    sys.exit(main())
