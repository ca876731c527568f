#!/usr/bin/env python3
"""Archive benchmark: a pilot's whole archive imported, named and scored.

Makes an archive of recordings (default 2,000 of 10,000 fixes, from 20 sites,
in nested folders, with extensions in mixed letter case), starts a reverse
geocoder on 127.0.0.1 that names the places and records when it is asked, and
measures:

  1. `kalvora-cli import LOGBOOK ARCHIVE` with the geocoder: wall time, peak
     memory, geocoder requests and the smallest gap between two of them;
  2. the same import --offline into a new logbook;
  3. the logbook window importing the same files with the geocoder
     (tools/guistallbench): wall time, peak memory and the longest GUI stall;
  4. the window again, offline, on as many short recordings (400 fixes): the
     hostile case for the window, where flights arrive and are scored faster
     than it can redraw a list with thousands of them selected.

Goals: online under 300 s, offline under 180 s, peak memory under 500 MB,
no GUI stall over 100 ms, geocoder requests at least 1 s apart and no more
than the distinct places (take-off sites and landing fields). Prints each
figure with its goal and the ratio; exits 1 when a goal is missed.

Usage: tools/archivebench/archivebench.py [--build DIR] [--files N] [--fixes N]
       [--sites N] [--keep DIR] [--skip-gui] [--skip-cli] [--skip-short]
"""
import argparse
import http.server
import json
import math
import os
import random
import subprocess
import sys
import tempfile
import threading
import time

ONLINE_GOAL_S = 300
OFFLINE_GOAL_S = 180
MEMORY_GOAL_MB = 500
STALL_GOAL_MS = 100
SHORT_FIXES = 400


def site_position(site):
    # Twenty take-off sites about 11 km apart along the Alps, each with a landing field 2 km south-east.
    lat = 46.5 + (site % 5) * 0.1
    lon = 10.0 + (site // 5) * 0.15
    return lat, lon


def landing_position(site):
    lat, lon = site_position(site)
    return lat - 0.012, lon + 0.015


def igc_coordinate(value, degree_digits, positive, negative):
    letter = positive if value >= 0 else negative
    value = abs(value)
    degrees = int(value)
    thousandths = int(round((value - degrees) * 60000))
    if thousandths == 60000:
        degrees, thousandths = degrees + 1, 0
    return f"{degrees:0{degree_digits}d}{thousandths:05d}{letter}"


def recording(index, site, fixes, rng):
    """One flight of FIXES fixes a second: out on a triangle with thermals, landing at the site's field."""
    start = time.gmtime(time.mktime((2015, 1, 1, 0, 0, 0, 0, 0, 0)) + index * 86400)
    lines = [f"AXXX{index:04d}", f"HFDTE{start.tm_mday:02d}{start.tm_mon:02d}{start.tm_year % 100:02d}",
             "HFGTYGLIDERTYPE:Bench", "HFPLTPILOTINCHARGE:Bench Pilot"]
    lat0, lon0 = site_position(site)
    lat1, lon1 = landing_position(site)
    metres_lat = 111195.0
    metres_lon = 111195.0 * math.cos(math.radians(lat0))
    # Legs in proportion to the time aloft: about 3 to 9 m/s on course. Every
    # flight leaves the launch to the north, as from a slope facing the wind, so
    # the take-offs the analysis finds lie close together, as real ones do.
    size = rng.uniform(0.8, 2.0) * fixes
    bearing = rng.uniform(0, 2 * math.pi)
    launch = (0.0, 1000.0)
    corners = [(0.0, 0.0), launch,
               (launch[0] + size * math.cos(bearing), launch[1] + size * math.sin(bearing)),
               (launch[0] + size * math.cos(bearing + 1.0), launch[1] + size * math.sin(bearing + 1.0)),
               ((lon1 - lon0) * metres_lon, (lat1 - lat0) * metres_lat)]
    legs = [(corners[i], corners[i + 1]) for i in range(len(corners) - 1)]
    lengths = [math.hypot(b[0] - a[0], b[1] - a[1]) for a, b in legs]
    total = sum(lengths)
    ground = 30
    flying = fixes - 2 * ground
    x = y = 0.0
    alt = 1800.0
    t = 10 * 3600 + (index % 7) * 60
    travelled = 0.0
    speed = total / (flying * 0.7)  # 70 % of the time on course, the rest in thermals
    circling = 0
    angle = 0.0
    for i in range(fixes):
        if ground <= i < ground + flying:
            if circling > 0:
                circling -= 1
                angle += 2 * math.pi / 25
                x += 3.5 * math.cos(angle)
                y += 3.5 * math.sin(angle)
                alt += rng.uniform(0.5, 3.5)
            else:
                # Off the slope at a paraglider's trim speed whatever the day's pace: a
                # slow first leg would read as still walking and move the take-off out.
                step = speed if travelled >= lengths[0] else max(speed, 9.0)
                travelled = min(total, travelled + step)
                rest = travelled
                for (a, b), length in zip(legs, lengths):
                    if rest <= length:
                        f = rest / length if length else 1
                        x, y = a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f
                        break
                    rest -= length
                alt = max(600.0, alt - rng.uniform(0.5, 2.0))
                if rng.random() < 0.004 and travelled < total * 0.95:
                    circling = 120
        elif i >= ground + flying:
            x, y = corners[-1]
            alt = 600.0
        lat = lat0 + y / metres_lat
        lon = lon0 + x / metres_lon
        hh, mm, ss = t // 3600 % 24, t // 60 % 60, t % 60
        a = int(alt)
        lines.append(f"B{hh:02d}{mm:02d}{ss:02d}{igc_coordinate(lat, 2, 'N', 'S')}"
                     f"{igc_coordinate(lon, 3, 'E', 'W')}A{a:05d}{a:05d}")
        t += 1
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def make_archive(root, files, fixes, sites):
    rng = random.Random(20261207)
    extensions = ["igc", "IGC", "Igc"]
    for index in range(files):
        site = index % sites
        start = time.gmtime(time.mktime((2015, 1, 1, 0, 0, 0, 0, 0, 0)) + index * 86400)
        folder = os.path.join(root, str(start.tm_year), f"site-{site:02d}")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, f"{start.tm_year}-{start.tm_mon:02d}-{start.tm_mday:02d}.{extensions[index % 3]}")
        with open(path, "wb") as out:
            out.write(recording(index, site, fixes, rng))


class Geocoder(http.server.ThreadingHTTPServer):
    def __init__(self):
        super().__init__(("127.0.0.1", 0), GeocoderHandler)
        self.times = []
        self.lock = threading.Lock()

    def url(self):
        return f"http://127.0.0.1:{self.server_address[1]}"


class GeocoderHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if not self.path.startswith("/reverse"):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with self.server.lock:
            self.server.times.append(time.monotonic())
        query = dict(part.split("=", 1) for part in self.path.split("?", 1)[1].split("&"))
        name = f"{float(query['lat']):.2f} {float(query['lon']):.2f}"
        body = (f"<reversegeocode><addressparts><village>{name}</village><city>Place {name}</city>"
                "<state>Tirol</state><country>Austria</country><country_code>at</country_code>"
                "</addressparts></reversegeocode>").encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/xml; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def environment(home, geocoder_url):
    os.makedirs(home, exist_ok=True)
    return dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
                XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_CACHE_HOME=os.path.join(home, "cache"),
                KALVORA_NOMINATIM_URL=geocoder_url, KALVORA_TIMEZONE_URL=geocoder_url, QT_QPA_PLATFORM="offscreen")


def run(args, env):
    """Wall seconds, peak memory [MB] and standard output of one command."""
    start = time.perf_counter()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(args, env=env, stdout=out, stderr=err)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        wall = time.perf_counter() - start
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read(), err.read()
    if process.returncode != 0:
        sys.exit(f"{' '.join(args[:3])} ... failed ({process.returncode}): {stderr.decode(errors='replace')[-2000:]}")
    return wall, usage.ru_maxrss / 1024, stdout


def check_import(summary, files):
    flights = summary["flights"]
    if len(flights) != files:
        sys.exit(f"{len(flights)} flights from {files} files")
    if any(f["freeDistance"] < 0 for f in flights):
        sys.exit("not every flight was scored")
    return flights


def stall_report(out):
    """The longest GUI stall [ms] guistallbench reports; NaN when it reports none."""
    for line in out.decode().splitlines():
        if line.startswith("probe max gap ms"):
            return float(line[len("probe max gap ms"):].strip())
    return float("nan")


def verdict(value, goal):
    return f"{value / goal:.2f} of the goal: {'met' if value <= goal else 'NOT met'}"


def main():
    root_dir = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.environ.get("KALVORA_BUILD_DIR", os.path.join(root_dir, "build")))
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--fixes", type=int, default=10000)
    parser.add_argument("--sites", type=int, default=20)
    parser.add_argument("--keep", help="make the archive here (or reuse the one there)")
    parser.add_argument("--skip-gui", action="store_true")
    parser.add_argument("--skip-cli", action="store_true", help="only the logbook window's import")
    parser.add_argument("--skip-short", action="store_true", help="no window run on short recordings")
    opts = parser.parse_args()
    cli = os.path.join(opts.build, "cli", "kalvora-cli")
    stall = os.path.join(opts.build, "tools", "guistallbench", "guistallbench")

    with tempfile.TemporaryDirectory() as tmp:
        archive = opts.keep or os.path.join(tmp, "archive")
        if not os.path.isdir(archive) or not os.listdir(archive):
            started = time.perf_counter()
            make_archive(archive, opts.files, opts.fixes, opts.sites)
            print(f"archive: {opts.files} recordings of {opts.fixes} fixes from {opts.sites} sites "
                  f"made in {time.perf_counter() - started:.0f} s", flush=True)
        places = 2 * opts.sites
        failed = False
        print(f"machine load before: {os.getloadavg()[0]:.1f} {os.getloadavg()[1]:.1f} {os.getloadavg()[2]:.1f} "
              f"on {os.cpu_count()} cores", flush=True)

        geocoder = Geocoder()
        threading.Thread(target=geocoder.serve_forever, daemon=True).start()
        if not opts.skip_cli:
            home = os.path.join(tmp, "online")
            wall, memory, out = run([cli, "import", os.path.join(home, "archive.kalvora"), archive],
                                    environment(home, geocoder.url()))
            flights = check_import(json.loads(out), opts.files)
            named = sum(1 for f in flights if f["startLocation"] and f["landingLocation"])
            gaps = [b - a for a, b in zip(geocoder.times, geocoder.times[1:])]
            print(f"online:  {wall:.1f} s wall, {memory:.0f} MB peak, {named}/{len(flights)} flights named, "
                  f"{len(geocoder.times)} geocoder requests for {places} places, smallest gap "
                  f"{min(gaps) if gaps else 0:.2f} s", flush=True)
            print(f"  time   {verdict(wall, ONLINE_GOAL_S)}; memory {verdict(memory, MEMORY_GOAL_MB)}")
            failed |= wall > ONLINE_GOAL_S or memory > MEMORY_GOAL_MB or named != len(flights)
            failed |= len(geocoder.times) > places or (gaps and min(gaps) < 0.95)

            home = os.path.join(tmp, "offline")
            wall, memory, out = run([cli, "import", os.path.join(home, "archive.kalvora"), archive, "--offline"],
                                    environment(home, "http://127.0.0.1:9"))
            check_import(json.loads(out), opts.files)
            print(f"offline: {wall:.1f} s wall, {memory:.0f} MB peak", flush=True)
            print(f"  time   {verdict(wall, OFFLINE_GOAL_S)}; memory {verdict(memory, MEMORY_GOAL_MB)}")
            failed |= wall > OFFLINE_GOAL_S or memory > MEMORY_GOAL_MB

        if not opts.skip_gui:
            before = len(geocoder.times)
            env = environment(os.path.join(tmp, "gui"), "http://127.0.0.1:9")
            env["KALVORA_STALL_GEOCODER"] = geocoder.url()
            wall, memory, out = run([stall, archive], env)
            max_gap = stall_report(out)
            print(f"window:  {wall:.1f} s wall, {memory:.0f} MB peak, longest GUI stall {max_gap:.1f} ms, "
                  f"{len(geocoder.times) - before} geocoder requests", flush=True)
            print(f"  stall  {verdict(max_gap, STALL_GOAL_MS)}; time {verdict(wall, ONLINE_GOAL_S)}; "
                  f"memory {verdict(memory, MEMORY_GOAL_MB)}")
            failed |= not max_gap <= STALL_GOAL_MS or memory > MEMORY_GOAL_MB
        if not opts.skip_gui and not opts.skip_short:
            short = os.path.join(tmp, "short")
            make_archive(short, opts.files, SHORT_FIXES, opts.sites)
            wall, memory, out = run([stall, short], environment(os.path.join(tmp, "gui-short"), "http://127.0.0.1:9"))
            max_gap = stall_report(out)
            print(f"window, {opts.files} short recordings offline: {wall:.1f} s wall, {memory:.0f} MB peak, "
                  f"longest GUI stall {max_gap:.1f} ms", flush=True)
            print(f"  stall  {verdict(max_gap, STALL_GOAL_MS)}")
            failed |= not max_gap <= STALL_GOAL_MS
        geocoder.shutdown()
        print(f"machine load after: {os.getloadavg()[0]:.1f}", flush=True)
        return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
