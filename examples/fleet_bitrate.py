#!/usr/bin/env python3
"""Set the encoder bitrate of every device in an inventory, in parallel, and print a table.

    fleet_bitrate.py INVENTORY BITRATE      # INVENTORY: the CSV vmlctl --inventory and napi-sim --inventory-out use
    fleet_bitrate.py --simulate N BITRATE   # the same against N simulated devices in this process

Exit status: 0 when every device took the value, 1 when any did not, 2 for a usage error.
"""

import argparse
import sys
from concurrent.futures import ThreadPoolExecutor
from typing import List, NamedTuple, Optional

import vmlcmd


class Row(NamedTuple):
    entry: vmlcmd.InventoryEntry
    before: Optional[int]
    after: Optional[int]
    result: str


def label(entry: vmlcmd.InventoryEntry) -> str:
    return entry.name or f"{entry.host}:{entry.port}"


def configure(entry: vmlcmd.InventoryEntry, bitrate: int) -> Row:
    before = after = None
    try:
        with vmlcmd.Device(entry.host, entry.port, entry.user, entry.password, entry.video_port) as camera:
            before = camera.bitrate
            camera.bitrate = bitrate
            after = camera.bitrate
        return Row(entry, before, after, "ok" if after == bitrate else "not taken")
    except vmlcmd.DeviceError as error:
        return Row(entry, before, after, f"{type(error).__name__}: {error}")
    except ValueError as error:
        return Row(entry, before, after, f"refused: {error}")


def print_table(rows: List[Row]) -> None:
    def cell(value: Optional[int]) -> str:
        return "-" if value is None else str(value)

    lines = [("device", "address", "before", "after", "result")]
    lines += [(label(r.entry), f"{r.entry.host}:{r.entry.port}", cell(r.before), cell(r.after), r.result) for r in rows]
    widths = [max(len(line[i]) for line in lines) for i in range(4)]
    for line in lines:
        print(f"{line[0]:<{widths[0]}}  {line[1]:<{widths[1]}}  {line[2]:>{widths[2]}}  {line[3]:>{widths[3]}}  {line[4]}")


def run(entries: List[vmlcmd.InventoryEntry], bitrate: int, workers: int) -> int:
    # Each call releases the GIL, so the threads wait on their devices side by side.
    with ThreadPoolExecutor(max_workers=max(1, min(workers, len(entries)))) as pool:
        rows = list(pool.map(lambda entry: configure(entry, bitrate), entries))
    print_table(rows)
    failed = sum(row.result != "ok" for row in rows)
    print(f"{len(rows) - failed} of {len(rows)} devices now at {bitrate} kbit/s")
    return 1 if failed else 0


def main(argv: List[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("inventory", nargs="?", help="inventory CSV: host,port[,user,password,video-port,name]")
    source.add_argument("--simulate", type=int, metavar="N", help="use N simulated devices instead")
    parser.add_argument("bitrate", type=int, help="encoder bitrate to set, kbit/s")
    parser.add_argument("--workers", type=int, default=16, help="devices configured at once (default 16)")
    args = parser.parse_args(argv)

    if args.simulate is None:
        try:
            entries = vmlcmd.read_inventory(args.inventory)
        except (OSError, vmlcmd.InventoryError) as error:
            print(f"fleet_bitrate.py: {error}", file=sys.stderr)
            return 2
        return run(entries, args.bitrate, args.workers)
    with vmlcmd.Simulator(devices=args.simulate) as sim:
        entries = [
            vmlcmd.InventoryEntry(f"sim-{d.index + 1:02d}", d.host, d.port, "admin", "admin", 0, 0)
            for d in sim.devices
        ]
        return run(entries, args.bitrate, args.workers)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
