#!/usr/bin/env python3
"""How much of the GIL a device call holds: N threads over N devices against one thread, one device.

Each simulated device answers after a delay, as a device on a network does; a call that
releases the GIL while it waits lets N threads finish in about the time of one (ratio near 1),
a call that held it would take N times as long (ratio near N). Without the delay the figure is
the CPU-bound one: library, interpreter and simulator share this machine's cores.

    PYTHONPATH=build/default/python /usr/bin/python3 python/bench/gil_ratio.py [--threads 8] [--check]
"""

import argparse
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import vmlcmd


def timed(sim, threads, calls):
    def work(index):
        with sim.devices[index].device() as camera:
            for _ in range(calls):
                camera.video_settings

    start = time.perf_counter()
    with ThreadPoolExecutor(max_workers=threads) as pool:
        list(pool.map(work, range(threads)))
    return time.perf_counter() - start


def measure(threads, calls, delay_ms):
    faults = {vmlcmd.Command.READ_ENCODER: {"kind": "normal", "delay_ms": delay_ms}} if delay_ms else None
    with vmlcmd.Simulator(devices=threads, faults=faults) as sim:
        timed(sim, threads, 1)  # warm up: first connections, thread start
        one = min(timed(sim, 1, calls) for _ in range(3))
        many = min(timed(sim, threads, calls) for _ in range(3))
    return one, many


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--threads", type=int, default=8)
    parser.add_argument("--calls", type=int, default=10, help="video_settings reads per thread")
    parser.add_argument("--delay-ms", type=int, default=20, help="the devices' answer delay")
    parser.add_argument("--check", action="store_true", help="exit 1 when the ratio is above threads / 2")
    args = parser.parse_args()

    ratio = None
    for delay in (args.delay_ms, 0):
        one, many = measure(args.threads, args.calls, delay)
        label = f"{delay} ms answer delay" if delay else "no delay (CPU-bound)"
        print(f"{label:>24}: 1 thread x 1 device {one * 1000:8.1f} ms, "
              f"{args.threads} threads x {args.threads} devices {many * 1000:8.1f} ms, ratio {many / one:5.2f}")
        if delay:
            ratio = many / one
    if args.check and ratio is not None and ratio > args.threads / 2:
        print(f"ratio {ratio:.2f} above {args.threads / 2}: device calls hold the GIL", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
