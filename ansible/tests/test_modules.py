"""facts, clock, ptz and command against simulated devices, and a controller without vmlcmd."""

import datetime
import os
import signal
import subprocess
import time

import vmlcmd

from conftest import PLAYBOOK, ansible_env, closed_port, results, write_inventory


def test_facts_clock_and_command(ansible, simulator, tmp_path):
    sim = simulator(devices=3, video_ports=2)
    cam, reference, spare = sim.devices
    inventory = write_inventory(tmp_path / "fleet", [("cam", cam.port), ("off", closed_port())])
    play = """
- hosts: all
  gather_facts: false
  tasks:
    - vmlcmd.devices.facts:
    - vmlcmd.devices.clock: {time: "2026-01-02T03:04:05"}
    - vmlcmd.devices.clock: {time: "2026-01-02T03:04:05"}
      check_mode: true
    - vmlcmd.devices.clock: {time: "tomorrow"}
      ignore_errors: true
    - vmlcmd.devices.command: {name: set-bitrate, args: ["1500"], video_port: 1}
    - vmlcmd.devices.command: {name: get-bitrate, video_port: 1}
    - vmlcmd.devices.command: {name: osd  set-caption, args: [on, 2, "南门"]}
    - vmlcmd.devices.command: {name: osd caption}
    - vmlcmd.devices.command: {name: set-bitrate, args: [1, 2]}
      ignore_errors: true
    - vmlcmd.devices.command: {name: format-disk}
      ignore_errors: true
    - vmlcmd.devices.command: {name: set-baud, args: [2400]}
      check_mode: true
"""
    run = ansible.play(play, inventory)
    facts, clock, clock_check, bad_time, set_rate, get_rate, set_caption, caption, too_many, unknown, checked = (
        results(run, i)["cam"] for i in range(11))
    assert facts["ansible_facts"]["vmlcmd_video_ports"] == [0, 1]
    assert facts["ansible_facts"]["vmlcmd_versions"]["library"] == vmlcmd.__version__
    assert facts["ansible_facts"]["vmlcmd_config"]["video_ports"].keys() == {"0", "1"}
    with reference.device() as r:
        r.set_clock(datetime.datetime(2026, 1, 2, 3, 4, 5))
    assert cam.state["clock"] == reference.state["clock"] != spare.state["clock"]
    assert clock["changed"] and clock_check["changed"] and clock["clock"] == "2026-01-02T03:04:05"
    assert "YYYY-MM-DDTHH:MM:SS" in bad_time["msg"]
    assert set_rate["changed"] and not get_rate["changed"] and get_rate["value"] == 1500
    assert cam.state["videoPorts"][1]["encoder"]["bitrate"] == 1500
    assert cam.state["videoPorts"][0]["encoder"]["bitrate"] == 512
    assert caption["value"] == {"caption": "南门", "position": 2, "show": True}
    assert "takes 1 argument(s), not 2" in too_many["msg"]
    assert "format-disk is no operation" in unknown["msg"]
    assert checked["changed"] and cam.state["serialBaud"]["1"] == 9600

    # The switched-off device is unreachable at its first task, and its host stops there.
    assert run.json["stats"]["off"]["unreachable"] == 1
    assert sorted(results(run, 0)) == ["cam", "off"] and "off" not in results(run, 1)


def test_ptz_move_ends_with_a_stop_also_when_interrupted(ansible, simulator, tmp_path):
    sim = simulator(devices=2)
    cam, stuck = sim.devices
    inventory = write_inventory(tmp_path / "fleet", [("cam", cam.port), ("stuck", stuck.port)])
    stuck.update_state({"videoPorts": {0: {"ptz": {"action": 3}}}})
    run = ansible.play("""
- hosts: cam
  gather_facts: false
  tasks:
    - vmlcmd.devices.ptz: {movement: tilt, direction: -5, duration: 0.3}
- hosts: stuck
  gather_facts: false
  tasks:
    - vmlcmd.devices.ptz: {action: stop}
""", inventory)
    assert run.returncode == 0, run.stdout
    moved = results(run)["cam"]
    assert moved["stopped"] and 0.3 <= moved["moved_seconds"] < 2
    ptz = [r.text for r in cam.requests() if r.command == vmlcmd.Command.PTZ]
    assert len(ptz) == 2 and ptz[0] != ptz[1]
    assert cam.state["videoPorts"][0]["ptz"]["action"] == 0
    assert stuck.state["videoPorts"][0]["ptz"]["action"] == 0

    # Ctrl-C in the middle of a long movement: the head still gets its stop.
    cam.clear_requests()
    play = ansible.write("long.yml", """
- hosts: cam
  gather_facts: false
  tasks:
    - vmlcmd.devices.ptz: {movement: pan, duration: 60}
""")
    process = subprocess.Popen([PLAYBOOK, str(play), "-i", str(inventory)], cwd=tmp_path, start_new_session=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               env=ansible_env(ansible.home, ansible.collections))
    try:
        deadline = time.monotonic() + 30
        while cam.state["videoPorts"][0]["ptz"]["action"] == 0:
            assert time.monotonic() < deadline, "the movement never started"
            time.sleep(0.05)
        os.killpg(process.pid, signal.SIGINT)
        process.wait(timeout=20)
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
    assert cam.state["videoPorts"][0]["ptz"]["action"] == 0
    assert [r.command for r in cam.requests()].count(vmlcmd.Command.PTZ) == 2


def test_missing_vmlcmd_is_named(ansible, tmp_path):
    # A vmlcmd that cannot be imported, ahead of the real one on the path.
    shadow = tmp_path / "shadow" / "vmlcmd"
    shadow.mkdir(parents=True)
    (shadow / "__init__.py").write_text("raise ImportError('no compiled module here')\n")
    pythonpath = os.pathsep.join([str(shadow.parent), os.environ.get("PYTHONPATH", "")])
    run = ansible.play("""
- hosts: localhost
  gather_facts: false
  tasks:
    - vmlcmd.devices.config: {state: gathered, host: 127.0.0.1, port: 9}
""", env={"PYTHONPATH": pythonpath})
    result = results(run)["localhost"]
    assert result["failed"]
    assert "the Python package vmlcmd is not importable" in result["msg"] and "python3-vmlcmd" in result["msg"]
