"""examples/fleet_bitrate.py against a simulated fleet with a bad device in it."""

import os
import pathlib
import subprocess
import sys

import vmlcmd
from vmlcmd import Command

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "fleet_bitrate.py"


def run_example(*args):
    return subprocess.run([sys.executable, str(EXAMPLE), *args], capture_output=True, text=True, timeout=60,
                          env=dict(os.environ))


def test_inventory_with_failing_devices(tmp_path):
    with vmlcmd.Simulator() as gone:
        absent_port = gone.port
    with vmlcmd.Simulator(devices=3) as sim:
        sim.devices[2].set_fault(Command.WRITE_ENCODER, {"kind": "status", "status": 3, "process": False})
        lines = ["# the format vmlctl --inventory and napi-sim --inventory-out use", "name,host,port,user,password,video-port"]
        lines += [f"cam-{d.index},{d.host},{d.port},admin,admin,1" for d in sim.devices]
        lines.append(f"locked,{sim.host},{sim.port},admin,wrong,0")
        lines.append(f"absent,127.0.0.1,{absent_port},admin,admin,0")
        inventory = tmp_path / "fleet.csv"
        inventory.write_text("\n".join(lines) + "\n")
        result = run_example(str(inventory), "1500")
        bitrates = [d.state["videoPorts"][1]["encoder"]["bitrate"] for d in sim.devices]
    assert result.returncode == 1, result.stderr
    rows = {line.split()[0]: line for line in result.stdout.splitlines()[1:-1]}
    assert rows["cam-0"].split()[2:] == ["512", "1500", "ok"]
    assert "StatusError" in rows["cam-2"] and "status 3" in rows["cam-2"]
    assert "LoginError" in rows["locked"] and "ConnectError" in rows["absent"]
    assert result.stdout.splitlines()[-1] == "2 of 5 devices now at 1500 kbit/s"
    assert bitrates == [1500, 1500, 512]


def test_simulated_fleet_and_usage_errors(tmp_path):
    assert run_example("--simulate", "3", "800").returncode == 0
    assert run_example().returncode == 2
    bad = tmp_path / "bad.csv"
    bad.write_text("name,host,port\ncam,127.0.0.1,eighty\n")
    result = run_example(str(bad), "800")
    assert result.returncode == 2 and "bad.csv:2" in result.stderr
    bad.write_text("name,host,port,video_port\n")  # the column is video-port
    result = run_example(str(bad), "800")
    assert result.returncode == 2 and "bad.csv:1: unknown column" in result.stderr
