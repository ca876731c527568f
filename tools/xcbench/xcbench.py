#!/usr/bin/env python3
"""Scores every recording with kalvora-cli score and with igc-xc-score, side by side.

Usage: tools/xcbench/xcbench.py [--cli PATH] [--testdata DIR] [--scratch DIR] [--repeat N]

igc-xc-score (npm, scoring=XContest) is installed into the scratch folder on first
use; nothing is installed into the project. Both sides are timed on the scoring
alone: ours is the "seconds" of kalvora-cli score (fix reading and optimiser),
the peer's is its solver run to the optimum, without Node start-up or IGC parsing.
With --repeat N each side runs N times per file and the fastest run counts.

Also prints the peak resident memory of each kalvora-cli score process.

Goals on the 2-core reference machine: over the files of more than 10,000 fixes
the median of our time / its time is at most 1/3, and no file is slower than the
peer. The scores are printed for the reader and not compared: the peer applies
the contest's current multipliers and measures on the WGS84 ellipsoid, we keep
our rules on the sphere.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

PEER_RUNNER = r"""
const fs = require('fs');
const IGCParser = require('igc-parser');
const { scoringRules, solver } = require('igc-xc-score');
const file = process.argv[2];
const flight = IGCParser.parse(fs.readFileSync(file, 'utf8'), { lenient: true });
const t0 = process.hrtime.bigint();
const it = solver(flight, scoringRules.XContest, { quiet: true });
let r = it.next();
while (!r.done && !r.value.optimal) r = it.next();
const seconds = Number(process.hrtime.bigint() - t0) / 1e9;
console.log(JSON.stringify({ fixes: flight.fixes.length, seconds, score: r.value.score, optimal: r.value.optimal }));
"""


def ensure_peer(scratch):
    os.makedirs(scratch, exist_ok=True)
    if not os.path.isdir(os.path.join(scratch, "node_modules", "igc-xc-score")):
        print(f"installing igc-xc-score into {scratch} ...", file=sys.stderr)
        subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--prefix", scratch, "igc-xc-score", "igc-parser"],
                       check=True, stdout=subprocess.DEVNULL)
    runner = os.path.join(scratch, "peer-score.cjs")
    with open(runner, "w") as f:
        f.write(PEER_RUNNER)
    return runner


def ours(cli, path):
    """Our score of PATH, with the peak resident memory of the process [MB]."""
    proc = subprocess.Popen([cli, "score", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    out = proc.stdout.read()
    proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError(f"kalvora-cli score {path} failed")
    result = json.loads(out.strip().splitlines()[-1])
    result["peakMB"] = usage.ru_maxrss / 1024.0
    return result


def peer(runner, path):
    out = subprocess.run(["node", runner, path], check=True, capture_output=True, text=True,
                         cwd=os.path.dirname(runner)).stdout
    return json.loads(out.strip().splitlines()[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", default=os.environ.get("KALVORA_CLI", os.path.join(ROOT, "build", "cli", "kalvora-cli")))
    ap.add_argument("--testdata", default=os.path.join(ROOT, "..", "shared", "testdata", "igc"))
    ap.add_argument("--scratch", default="/tmp/kalvora-xcbench")
    ap.add_argument("--repeat", type=int, default=1)
    args = ap.parse_args()

    runner = ensure_peer(args.scratch)
    files = sorted(f for f in os.listdir(args.testdata) if f.lower().endswith(".igc"))
    print(f"{'file':40} {'fixes':>6} {'ours s':>8} {'peer s':>8} {'ratio':>6} {'our pts':>8} {'peer':>8} {'diff':>7} {'our MB':>7}")
    rows = []
    for name in files:
        path = os.path.join(args.testdata, name)
        best_o = best_p = None
        for _ in range(max(1, args.repeat)):
            o = ours(args.cli, path)
            p = peer(runner, path)
            best_o = o if best_o is None or o["seconds"] < best_o["seconds"] else best_o
            best_p = p if best_p is None or p["seconds"] < best_p["seconds"] else best_p
        ratio = best_o["seconds"] / best_p["seconds"] if best_p["seconds"] > 0 else float("inf")
        diff = (best_o["xcPoints"] - best_p["score"]) / best_p["score"] if best_p["score"] else 0.0
        rows.append((name, best_o["fixes"], ratio, best_o["peakMB"]))
        print(f"{name:40} {best_o['fixes']:>6} {best_o['seconds']:>8.3f} {best_p['seconds']:>8.3f} {ratio:>6.2f} "
              f"{best_o['xcPoints']:>8.2f} {best_p['score']:>8.2f} {diff * 100:>6.2f}% {best_o['peakMB']:>7.1f}")

    big = [r for r in rows if r[1] > 10000]
    median = statistics.median(r[2] for r in big) if big else float("nan")
    worst = max(rows, key=lambda r: r[2])
    print()
    print(f"files over 10,000 fixes: {len(big)}; median ratio {median:.3f} (goal <= 0.333)")
    print(f"slowest relative to the peer: {worst[0]} at {worst[2]:.2f} (goal <= 1.00)")
    peak = max(rows, key=lambda r: r[3])
    print(f"largest peak memory of kalvora-cli score: {peak[0]} at {peak[3]:.1f} MB (goal <= 200)")
    ok = big and median <= 1 / 3 and worst[2] <= 1.0 and peak[3] <= 200
    print("goals met" if ok else "goals NOT met")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
