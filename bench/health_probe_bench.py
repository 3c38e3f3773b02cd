#!/usr/bin/env python3
"""What the gateway's background health probes cost: one napi-sim process with 1,000 devices,
the real vmlcmd-gateway in front of it probing every device at the default 30 s interval, and
the same gateway with --probe-interval 0, one after the other in one run. For each, over the
same window: the gateway's CPU time and resident set (from /proc/PID) and the latency of API
calls made meanwhile at a steady pace (the device list, GET /api/v1/devices, and one device's
configuration, GET /api/v1/devices/{id}/config, on devices drawn at random). The last lines are
the ratios probing / not probing.

    bench/health_probe_bench.py [--devices 1000] [--interval 30] [--window 60] [--rate 5]
        [--gateway build/default/gateway/vmlcmd-gateway] [--napi-sim build/default/sim/napi-sim]

The window should hold at least two probe intervals, so that it sees whole rounds of probes.
Everything listens on 127.0.0.1.
"""

import argparse
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile
import time
import http.client

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOKEN = "bench-read-token-0123456789abcdef"
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """User and system time of the process, all its threads, so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime and stime: fields 14 and 15


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        return int(re.search(r"^VmRSS:\s+(\d+)", f.read(), re.M).group(1))


class Client:
    """One kept-alive connection to the gateway, opened again if the gateway closes it."""

    def __init__(self, port):
        self.port = port
        self.connection = None

    def get(self, path):
        for attempt in (0, 1):
            if self.connection is None:
                self.connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
            try:
                self.connection.request("GET", path, headers={"Authorization": "Bearer " + TOKEN})
                response = self.connection.getresponse()
                body = response.read()
                return response.status, body
            except (http.client.HTTPException, ConnectionError):
                self.connection.close()
                self.connection = None
                if attempt:
                    raise
        raise AssertionError("unreachable")


class GatewayRun:
    def __init__(self, gateway, inventory, directory, interval):
        tokens = os.path.join(directory, "tokens")
        with open(tokens, "w") as f:
            f.write(f"read {TOKEN}\n")
        self.process = subprocess.Popen(
            [gateway, "--inventory", inventory, "--tokens", tokens, "--listen", "127.0.0.1:0", "--quiet",
             "--moves-file", os.path.join(directory, f"moves-{interval:g}"), "--probe-interval", f"{interval:g}"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        match = None
        for line in self.process.stdout:
            match = re.search(r"listening on http://127\.0\.0\.1:(\d+)/", line)
            if match:
                break
        if not match:
            raise RuntimeError("vmlcmd-gateway did not start")
        self.port = int(match.group(1))
        self.client = Client(self.port)

    def metrics(self):
        status, body = self.client.get("/metrics")
        assert status == 200, body[:200]
        return body

    def devices_up(self):
        return len(re.findall(rb"^vmlcmd_device_up\{[^}]*\} 1$", self.metrics(), re.M))

    def probes(self):
        match = re.search(rb'^vmlcmd_gateway_device_call_duration_seconds_count\{kind="probe"\} (\S+)$',
                          self.metrics(), re.M)
        return float(match.group(1)) if match else 0.0

    def close(self):
        self.process.terminate()
        self.process.wait(30)


def measure(run, ids, window, rate):
    """CPU seconds, resident KiB at the end, and latencies by kind over window seconds."""
    latencies = {"list": [], "config": []}
    paths = {"list": lambda: "/api/v1/devices", "config": lambda: f"/api/v1/devices/{random.choice(ids)}/config"}
    failures = 0
    probes_before = run.probes()  # outside the CPU window: a scrape of 1,000 devices is work too
    began = time.monotonic()
    cpu_before = cpu_seconds(run.process.pid)
    n = 0
    while time.monotonic() - began < window:
        kind = "list" if n % 2 == 0 else "config"
        started = time.monotonic()
        status, _ = run.client.get(paths[kind]())
        latencies[kind].append(time.monotonic() - started)
        failures += status != 200
        n += 1
        # A steady pace, not as fast as possible: the calls are there to be timed, not to load.
        next_at = began + n / rate
        time.sleep(max(0.0, next_at - time.monotonic()))
    elapsed = time.monotonic() - began
    cpu = cpu_seconds(run.process.pid) - cpu_before
    rss = resident_kib(run.process.pid)
    return {"cpu": cpu, "elapsed": elapsed, "rss": rss, "latencies": latencies, "failures": failures,
            "probes": run.probes() - probes_before}


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def summary(name, result):
    print(f"{name}: CPU {result['cpu']:.2f} s in {result['elapsed']:.0f} s "
          f"({100 * result['cpu'] / result['elapsed']:.2f}% of one core), resident {result['rss'] / 1024:.1f} MiB, "
          f"{result['probes']:.0f} probes, {result['failures']} failed calls")
    for kind, values in result["latencies"].items():
        print(f"  {kind:6s} {len(values):4d} calls: median {1000 * statistics.median(values):.2f} ms, "
              f"p95 {1000 * percentile(values, 95):.2f} ms, p99 {1000 * percentile(values, 99):.2f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--devices", type=int, default=1000)
    parser.add_argument("--interval", type=float, default=30.0, help="probe interval of the probing run, seconds")
    parser.add_argument("--window", type=float, default=60.0, help="seconds measured in each run")
    parser.add_argument("--rate", type=float, default=5.0, help="API calls a second during the window")
    parser.add_argument("--gateway", default=os.environ.get(
        "VMLCMD_GATEWAY", os.path.join(ROOT, "build/default/gateway/vmlcmd-gateway")))
    parser.add_argument("--napi-sim", default=os.environ.get("NAPI_SIM", os.path.join(ROOT, "build/default/sim/napi-sim")))
    options = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="probe-bench-") as directory:
        inventory = os.path.join(directory, "fleet.csv")
        sim = subprocess.Popen([options.napi_sim, "--devices", str(options.devices), "--inventory-out", inventory],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 60
            while not (os.path.exists(inventory) and os.path.getsize(inventory) > 0):
                if time.monotonic() > deadline or sim.poll() is not None:
                    raise RuntimeError("napi-sim did not start")
                time.sleep(0.1)
            with open(inventory) as f:
                rows = [l for l in f if l.strip() and not l.startswith("#")]
            ids = [row.split(",")[0] for row in rows[1:]]
            print(f"{len(ids)} simulated devices in one napi-sim; probing at {options.interval:g} s against "
                  f"--probe-interval 0; {options.window:g} s windows, {options.rate:g} API calls a second")

            results = {}
            for name, interval in (("not probing", 0.0), ("probing", options.interval)):
                run = GatewayRun(options.gateway, inventory, directory, interval)
                try:
                    # Settled first: every device probed once (the first round), or for the
                    # baseline a few calls to open the connection and warm the caches.
                    if interval:
                        deadline = time.monotonic() + interval + 30
                        while run.devices_up() < len(ids):
                            if time.monotonic() > deadline:
                                raise RuntimeError(f"only {run.devices_up()} of {len(ids)} devices up")
                            time.sleep(0.5)
                    for _ in range(4):
                        run.client.get("/api/v1/devices")
                        run.client.get(f"/api/v1/devices/{ids[0]}/config")
                    results[name] = measure(run, ids, options.window, options.rate)
                finally:
                    run.close()
                summary(name, results[name])
        finally:
            sim.terminate()
            sim.wait(30)

    on, off = results["probing"], results["not probing"]
    print(f"ratio probing / not probing: CPU {on['cpu'] / max(off['cpu'], 1e-9):.2f}, "
          f"resident {on['rss'] / off['rss']:.2f}")
    if on["probes"]:
        print(f"CPU per probe: {1e6 * (on['cpu'] - off['cpu']) / on['probes']:.0f} us "
              f"({on['probes'] / on['elapsed']:.1f} probes a second)")
    for kind in ("list", "config"):
        a, b = on["latencies"][kind], off["latencies"][kind]
        print(f"ratio probing / not probing, {kind}: median {statistics.median(a) / statistics.median(b):.2f}, "
              f"p95 {percentile(a, 95) / percentile(b, 95):.2f}")
    return 0 if on["failures"] == 0 and off["failures"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
