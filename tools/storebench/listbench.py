#!/usr/bin/env python3
"""List benchmark: `kalvora-cli list` of a logbook of many flights, wall time and peak memory.

Usage: tools/storebench/listbench.py [--cli PATH] [--testdata DIR] [--flights N] [--rounds N] [--keep DIR]

The logbook is made the way a user's grows: the shared recordings are imported
with the CLI once, and their flights are then copied, a day apart each, until
the logbook holds N flights (default 5,000), every one with its real IGC record
(about half a megabyte on average). The copies go straight into the store file
with SQLite, which is far faster than analysing and scoring the same tracks
thousands of times. Then `list` (and, for the record, `list --with-igc`) runs
several times; the median wall time and the largest resident set of the plain
list are compared with the goal: under 2 s and under 200 MB.
"""
import argparse
import json
import os
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

GOAL_SECONDS = 2.0
GOAL_MB = 200.0


def run_measured(args, env, stdout_path):
    """Runs ARGS with stdout to a file; returns (wall seconds, peak RSS in MB, exit code, stderr)."""
    with open(stdout_path, "wb") as out, tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        proc = subprocess.Popen(args, env=env, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        return wall, usage.ru_maxrss / 1024.0, proc.returncode, err.read().decode(errors="replace")


def grow(logbook, flights):
    """Copies the logbook's flights, a day apart each, until it holds FLIGHTS of them."""
    db = sqlite3.connect(logbook)
    columns = [row[1] for row in db.execute('PRAGMA table_info("Flight")') if row[1] != "Z_PK"]
    templates = [row[0] for row in db.execute('SELECT Z_PK FROM "Flight" ORDER BY Z_PK')]
    have = len(templates)
    if have == 0:
        sys.exit("the import brought no flights")
    # One rollback-journal transaction writes each page once; the store's own mode comes back after.
    db.execute("PRAGMA journal_mode=DELETE")
    quoted = ", ".join(f'"{c}"' for c in columns)
    shifted = ", ".join(f'"{c}" + :shift' if c in ("startUTC", "landingUTC") else f'"{c}"' for c in columns)
    with db:
        for n in range(have, flights):
            db.execute(f'INSERT INTO "Flight" ({quoted}) SELECT {shifted} FROM "Flight" WHERE Z_PK = :pk',
                       {"shift": 86400.0 * (n // have + 1) * 1.0, "pk": templates[n % have]})
    db.execute("PRAGMA journal_mode=WAL")
    db.close()


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(os.environ.get("KALVORA_BUILD_DIR", os.path.join(root, "build")),
                                                      "cli", "kalvora-cli"))
    parser.add_argument("--testdata", default=os.path.join(root, "..", "shared", "testdata", "igc"))
    parser.add_argument("--flights", type=int, default=5000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--keep", help="make the logbook in this folder and keep it")
    opts = parser.parse_args()

    files = sorted(os.path.join(opts.testdata, f) for f in os.listdir(opts.testdata) if f.endswith(".igc"))
    if not files:
        sys.exit(f"no recordings in {opts.testdata}")

    with tempfile.TemporaryDirectory() as tmp:
        folder = opts.keep or tmp
        os.makedirs(folder, exist_ok=True)
        env = dict(os.environ, HOME=tmp, XDG_DATA_HOME=os.path.join(tmp, "data"),
                   XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                   KALVORA_NOMINATIM_URL="http://127.0.0.1:9", KALVORA_TIMEZONE_URL="http://127.0.0.1:9")
        logbook = os.path.join(folder, f"list-{opts.flights}.kalvora")
        if not os.path.exists(logbook):
            start = time.perf_counter()
            result = subprocess.run([opts.cli, "import", logbook, *files, "--offline"], env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
            if result.returncode != 0:
                sys.exit(f"import failed: {result.stderr.decode(errors='replace')}")
            grow(logbook, opts.flights)
            print(f"made {logbook}: {opts.flights} flights, {os.path.getsize(logbook) / 1e9:.2f} GB "
                  f"in {time.perf_counter() - start:.1f} s", flush=True)

        out = os.path.join(tmp, "list.json")
        plain = []
        for round_ in range(opts.rounds):
            wall, rss, code, err = run_measured([opts.cli, "list", logbook], env, out)
            if code != 0:
                sys.exit(f"list failed ({code}): {err}")
            plain.append((wall, rss))
            print(f"round {round_ + 1}: list {wall:.2f} s, {rss:.0f} MB", flush=True)
        with open(out, "rb") as f:
            listed = json.load(f)
        if len(listed) != opts.flights:
            sys.exit(f"list printed {len(listed)} flights, not {opts.flights}")
        wall, rss, code, err = run_measured([opts.cli, "list", logbook, "--with-igc"], env, os.devnull)
        if code != 0:
            sys.exit(f"list --with-igc failed ({code}): {err}")
        print(f"list --with-igc (every record, to /dev/null): {wall:.2f} s, {rss:.0f} MB", flush=True)

    median = statistics.median(w for w, _ in plain)
    peak = max(r for _, r in plain)
    met = median < GOAL_SECONDS and peak < GOAL_MB
    print(f"list of {opts.flights} flights: median {median:.2f} s wall, peak {peak:.0f} MB; "
          f"goal < {GOAL_SECONDS:.0f} s and < {GOAL_MB:.0f} MB: {'met' if met else 'NOT met'} "
          f"(time ratio {median / GOAL_SECONDS:.2f}, memory ratio {peak / GOAL_MB:.2f})")
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
