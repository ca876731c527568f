#!/usr/bin/env python3
"""Waypoint import benchmark: `kalvora-cli waypoints import --no-lookup` of a large WPT file.

Usage: tools/storebench/waypointbench.py [--cli PATH] [--count N]

In a fresh home, three runs, each timed with its peak resident set:
  1. N waypoints (default 100,000, 300 m apart, so none is a duplicate) into an
     empty global store: the goal is under 30 s and under 300 MB;
  2. 100 waypoints near stored ones into that store of N, duplicates skipped
     (each record is checked against the store);
  3. the N waypoints again, duplicates kept: every record finds its twin.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

GOAL_SECONDS = 30.0
GOAL_MB = 300.0


def wpt(path, points):
    lines = ["G  WGS 84", "U  1"]
    for name, lat, lon in points:
        lines.append(f"W  {name} A {abs(lat):.10f}\xba{'N' if lat >= 0 else 'S'} "
                     f"{abs(lon):.10f}\xba{'E' if lon >= 0 else 'W'} 27-MAR-62 00:00:00 1000.000000 {name}")
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("latin-1"))


def grid(count):
    # 0.003 deg of latitude is about 330 m; of longitude at 46 deg about 230 m, so 0.004 there.
    side = int(count ** 0.5) + 1
    for i in range(count):
        yield f"P{i:06d}", 45.0 + (i // side) * 0.003, 6.0 + (i % side) * 0.004


def run(args, env):
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        proc = subprocess.Popen(args, env=env, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        code = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        if code != 0:
            sys.exit(f"{' '.join(args[:3])} failed ({code}): {err.read().decode(errors='replace')}")
        run.cpu = usage.ru_utime + usage.ru_stime
        return wall, usage.ru_maxrss / 1024.0, json.load(out)


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(os.environ.get("KALVORA_BUILD_DIR", os.path.join(root, "build")),
                                                      "cli", "kalvora-cli"))
    parser.add_argument("--count", type=int, default=100000)
    opts = parser.parse_args()

    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, HOME=tmp, XDG_DATA_HOME=os.path.join(tmp, "data"),
                   XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                   KALVORA_NOMINATIM_URL="http://127.0.0.1:9", KALVORA_WAYPOINTDB_URL="http://127.0.0.1:9")
        big = os.path.join(tmp, "big.wpt")
        wpt(big, grid(opts.count))
        few = os.path.join(tmp, "few.wpt")
        wpt(few, ((f"N{i:03d}", lat + 0.0005, lon) for i, (_, lat, lon) in enumerate(grid(100))))

        wall, rss, result = run([opts.cli, "waypoints", "import", big, "--no-lookup"], env)
        if result["imported"] != opts.count:
            sys.exit(f"imported {result['imported']} of {opts.count}")
        met = wall < GOAL_SECONDS and rss < GOAL_MB
        print(f"{opts.count} waypoints into an empty store: {wall:.2f} s, {rss:.0f} MB; goal < {GOAL_SECONDS:.0f} s "
              f"and < {GOAL_MB:.0f} MB: {'met' if met else 'NOT met'} (ratios {wall / GOAL_SECONDS:.2f}, "
              f"{rss / GOAL_MB:.2f}); {run.cpu:.1f} s of CPU", flush=True)

        wall2, rss2, result2 = run([opts.cli, "waypoints", "import", few, "--no-lookup", "--duplicates", "skip"], env)
        print(f"100 waypoints near stored ones into a store of {opts.count}: {wall2:.2f} s, {rss2:.0f} MB, "
              f"{result2['imported']} imported (all skipped as duplicates); {run.cpu:.1f} s of CPU", flush=True)

        wall3, rss3, result3 = run([opts.cli, "waypoints", "import", big, "--no-lookup", "--duplicates", "keep"], env)
        print(f"{opts.count} duplicates kept into a store of {opts.count}: {wall3:.2f} s, {rss3:.0f} MB, "
              f"{result3['imported']} imported; {run.cpu:.1f} s of CPU", flush=True)
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
