#!/usr/bin/env python3
"""Scores generated flight shapes and the recordings with kalvora-cli score and with igc-xc-score.

Usage: tools/xcbench/xcbench.py [--cli PATH] [--shapes-tool PATH] [--testdata DIR] [--scratch DIR]
                                [--repeat N] [--timeout S] [--no-peer] [--no-shapes] [--no-recordings]
                                [--cancel-after MS]

The shapes (ridge soaring, back and forth on one line, straight glides, hours parked
on launch, a 20-hour flight, a still recording) are written at full size by
kalvora-xcshapes into the scratch folder. igc-xc-score (npm, scoring=XContest) is
installed into the scratch folder on first use when npm can reach its registry;
without it the peer's columns stay empty. Nothing is installed into the project.

Both sides are timed on the scoring alone: ours is the "seconds" of kalvora-cli
score (fix reading and optimiser), the peer's is its solver run to the optimum,
without Node start-up or IGC parsing. With --repeat N each side runs N times per
file and the fastest run counts. "our MB" is the peak resident memory of the
kalvora-cli score process, "cpu s" its processor time (user and system, both
threads, the whole process): on a machine shared with other work the wall time
grows with the load, the processor time hardly. With --cancel-after MS each file is also scored by
kalvora-xcshapes and cancelled MS into the search: "stop ms" is how long the
optimiser took to give up.

Goals on the 2-core reference machine: every file of at most 40,000 fixes in at most
2 s, larger ones (up to 72,000 fixes) in at most 10 s, none slower than the peer,
peak memory at most 200 MB, the median ratio over the recordings of more than 10,000
fixes at most 1/3, and a cancelled search stopped within 100 ms. The scores are
printed for the reader and not compared: the peer applies the contest's current
multipliers and measures on the WGS84 ellipsoid, we keep our rules on the sphere.
On a machine shared with other work, measure more than once (--repeat).
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
    """The runner script of igc-xc-score, or None when it is not installed and cannot be."""
    os.makedirs(scratch, exist_ok=True)
    if not os.path.isdir(os.path.join(scratch, "node_modules", "igc-xc-score")):
        print(f"installing igc-xc-score into {scratch} ...", file=sys.stderr)
        try:
            subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--prefix", scratch, "igc-xc-score",
                            "igc-parser"], check=True, stdout=subprocess.DEVNULL, timeout=600)
        except (OSError, subprocess.SubprocessError) as e:
            print(f"igc-xc-score not available ({e}); its columns stay empty", file=sys.stderr)
            return None
    runner = os.path.join(scratch, "peer-score.cjs")
    with open(runner, "w") as f:
        f.write(PEER_RUNNER)
    return runner


def run_ours(cli, path, timeout):
    """Our score of PATH with the peak resident memory of its process [MB]; None after TIMEOUT s."""
    import signal
    import time
    proc = subprocess.Popen([cli, "score", path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = b""
    deadline = time.monotonic() + timeout
    os.set_blocking(proc.stdout.fileno(), False)
    while True:
        try:
            chunk = proc.stdout.read()
        except BlockingIOError:
            chunk = None
        if chunk:
            out += chunk
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid == proc.pid:
            rest = proc.stdout.read()
            out += rest or b""
            break
        if time.monotonic() > deadline:
            proc.send_signal(signal.SIGKILL)
            os.wait4(proc.pid, 0)
            return None
        time.sleep(0.01)
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"kalvora-cli score {path} failed")
    result = json.loads(out.decode().strip().splitlines()[-1])
    result["peakMB"] = usage.ru_maxrss / 1024.0
    result["cpu"] = usage.ru_utime + usage.ru_stime
    return result


def peer(runner, path, timeout):
    try:
        out = subprocess.run(["node", runner, path], check=True, capture_output=True, text=True,
                             cwd=os.path.dirname(runner), timeout=timeout).stdout
    except subprocess.TimeoutExpired:
        return None
    return json.loads(out.strip().splitlines()[-1])


def cancel_stop_ms(tool, path, after_ms):
    out = subprocess.run([tool, "--cancel-after", str(after_ms), path], check=True, capture_output=True,
                         text=True).stdout
    r = json.loads(out.strip().splitlines()[-1])
    return None if r["finishedFirst"] else r["stopMs"]


def fmt(v, form, width):
    return f"{'-':>{width}}" if v is None else f"{v:>{width}{form}}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", default=os.environ.get("KALVORA_CLI", os.path.join(ROOT, "build", "cli", "kalvora-cli")))
    ap.add_argument("--shapes-tool", default=os.path.join(ROOT, "build", "tools", "xcshapes", "kalvora-xcshapes"))
    ap.add_argument("--testdata", default=os.path.join(ROOT, "..", "shared", "testdata", "igc"))
    ap.add_argument("--scratch", default="/tmp/kalvora-xcbench")
    ap.add_argument("--repeat", type=int, default=1)
    ap.add_argument("--timeout", type=float, default=300, help="seconds before a run counts as not finished")
    ap.add_argument("--no-peer", action="store_true")
    ap.add_argument("--no-shapes", action="store_true")
    ap.add_argument("--no-recordings", action="store_true")
    ap.add_argument("--cancel-after", type=int, default=0, metavar="MS")
    ap.add_argument("files", nargs="*", help="only these file names (shapes or recordings)")
    args = ap.parse_args()

    runner = None if args.no_peer else ensure_peer(args.scratch)
    inputs = []
    if not args.no_shapes:
        shapes_dir = os.path.join(args.scratch, "shapes")
        os.makedirs(shapes_dir, exist_ok=True)
        listing = subprocess.run([args.shapes_tool, shapes_dir], check=True, capture_output=True, text=True).stdout
        inputs += [("shape", line.split()[0]) for line in listing.splitlines() if line.strip()]
    if not args.no_recordings and os.path.isdir(args.testdata):
        inputs += [("recording", os.path.join(args.testdata, f))
                   for f in sorted(os.listdir(args.testdata)) if f.lower().endswith(".igc")]
    if args.files:
        inputs = [i for i in inputs if os.path.basename(i[1]) in args.files]

    head = (f"{'file':34} {'kind':9} {'fixes':>6} {'ours s':>8} {'cpu s':>7} {'peer s':>8} {'ratio':>6} {'our MB':>7}"
            f" {'stop ms':>7} {'our pts':>8} {'peer':>8}")
    print(head)
    rows = []
    for kind, path in inputs:
        name = os.path.basename(path)
        best_o = best_p = None
        timed_out = False
        for _ in range(max(1, args.repeat)):
            o = run_ours(args.cli, path, args.timeout)
            if o is None:
                timed_out = True
            elif best_o is None or o["seconds"] < best_o["seconds"]:
                best_o = o
            if runner:
                p = peer(runner, path, args.timeout)
                if p is not None and (best_p is None or p["seconds"] < best_p["seconds"]):
                    best_p = p
        seconds = best_o["seconds"] if best_o else None
        if timed_out and best_o is None:
            seconds = float("inf")
        fixes = best_o["fixes"] if best_o else None
        peer_s = best_p["seconds"] if best_p else None
        ratio = seconds / peer_s if seconds is not None and peer_s else None
        stop = cancel_stop_ms(args.shapes_tool, path, args.cancel_after) if args.cancel_after > 0 else None
        cpu = best_o["cpu"] if best_o else None
        rows.append(dict(name=name, kind=kind, fixes=fixes, seconds=seconds, peer=peer_s, ratio=ratio,
                         peakMB=best_o["peakMB"] if best_o else None, stop=stop))
        print(f"{name[:34]:34} {kind:9} {fmt(fixes, 'd', 6)} "
              f"{('>' + str(int(args.timeout))) if seconds == float('inf') else fmt(seconds, '.3f', 8):>8} "
              f"{fmt(cpu, '.2f', 7)} "
              f"{fmt(peer_s, '.3f', 8)} {fmt(ratio, '.2f', 6)} {fmt(rows[-1]['peakMB'], '.1f', 7)} "
              f"{fmt(stop, '.1f', 7)} {fmt(best_o['xcPoints'] if best_o else None, '.2f', 8)} "
              f"{fmt(best_p['score'] if best_p else None, '.2f', 8)}", flush=True)

    print()
    ok = True
    timed = [r for r in rows if r["seconds"] is not None]
    if timed:
        worst_t = max(timed, key=lambda r: r["seconds"])
        print(f"worst absolute time: {worst_t['name']} at {worst_t['seconds']:.3f} s")
    for r in timed:
        limit = 2.0 if (r["fixes"] or 0) <= 40000 else 10.0
        if r["seconds"] > limit:
            ok = False
            print(f"  over its time goal ({limit:g} s): {r['name']}")
    rated = [r for r in rows if r["ratio"] is not None]
    if rated:
        worst_r = max(rated, key=lambda r: r["ratio"])
        print(f"worst ratio to igc-xc-score: {worst_r['name']} at {worst_r['ratio']:.2f} (goal <= 1.00)")
        ok = ok and worst_r["ratio"] <= 1.0
        big = [r["ratio"] for r in rated if r["kind"] == "recording" and (r["fixes"] or 0) > 10000]
        if big:
            median = statistics.median(big)
            print(f"recordings over 10,000 fixes: {len(big)}; median ratio {median:.3f} (goal <= 0.333)")
            ok = ok and median <= 1 / 3
    else:
        print("igc-xc-score not run: no ratios")
    peaks = [r for r in rows if r["peakMB"] is not None]
    if peaks:
        peak = max(peaks, key=lambda r: r["peakMB"])
        print(f"largest peak memory of kalvora-cli score: {peak['name']} at {peak['peakMB']:.1f} MB (goal <= 200)")
        ok = ok and peak["peakMB"] <= 200
    stops = [r for r in rows if r["stop"] is not None]
    if stops:
        slow = max(stops, key=lambda r: r["stop"])
        print(f"slowest stop after cancelling: {slow['name']} at {slow['stop']:.1f} ms (goal <= 100)")
        ok = ok and slow["stop"] <= 100
    print("goals met" if ok else "goals NOT met")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
