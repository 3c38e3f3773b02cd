"""vmlcmd.devices.config over a fleet: what it writes, what it leaves, and how it fails."""

import copy
import re

import vmlcmd

from conftest import closed_port, results, write_inventory

CAPTION = "北门 入口"

MERGED = """
- hosts: all
  gather_facts: false
  tasks:
    - vmlcmd.devices.config:
        config:
          video_ports:
            0:
              encoder: {bitrate: 1024}
              caption: {caption: "%s", show: true}
""" % CAPTION

# The operation each command line names, and the request the device receives for it.
REQUEST_OF = {"SetVideoBitrate": vmlcmd.Command.WRITE_ENCODER, "SetOsdCaption": vmlcmd.Command.WRITE_OVERLAY}
WRITES = {c for c in vmlcmd.Command if c.name.startswith(("WRITE_", "SET_"))}


def writes_received(device):
    return [r.command for r in device.requests() if r.command in WRITES]


def stats(run):
    return run.json["stats"]


def test_merged_over_twenty_devices_two_dead(ansible, simulator, tmp_path):
    sim = simulator(devices=19)
    live = sim.devices[:18]
    # One device accepts the connection and never answers; another is switched off.
    sim.devices[18].set_fault(vmlcmd.Command.LOGIN, "no-reply")
    rows = [("cam-%02d" % i, d.port) for i, d in enumerate(sim.devices)] + [("cam-19", closed_port())]
    inventory = write_inventory(tmp_path / "fleet", rows)

    first = ansible.play(MERGED, inventory, ["--forks", "10"])
    assert first.returncode != 0
    counts = stats(first)
    assert sorted(h for h, s in counts.items() if s["changed"]) == ["cam-%02d" % i for i in range(18)]
    assert counts["cam-18"]["failures"] == 1 and counts["cam-18"]["unreachable"] == 0
    assert counts["cam-19"]["unreachable"] == 1 and counts["cam-19"]["failures"] == 0
    task = results(first)
    assert "no reply" in task["cam-18"]["msg"].lower() or "time" in task["cam-18"]["msg"].lower(), task["cam-18"]
    assert "refused" in task["cam-19"]["msg"], task["cam-19"]

    # What the task says it ran is what the devices received, in that order.
    assert task["cam-03"]["commands"] == [
        "SetVideoBitrate video_port=0: encoder.bitrate=1024",
        'SetOsdCaption video_port=0: caption.show=true, caption.caption="%s"' % CAPTION,
    ]
    assert writes_received(live[3]) == [REQUEST_OF["SetVideoBitrate"], REQUEST_OF["SetOsdCaption"]]
    assert task["cam-03"]["before"]["video_ports"]["0"] == {"encoder": {"bitrate": 512}, "caption": {"caption": "", "show": False}}
    assert task["cam-03"]["after"]["video_ports"]["0"] == {"encoder": {"bitrate": 1024}, "caption": {"caption": CAPTION, "show": True}}
    for device in live:
        with device.device() as camera:
            assert camera.bitrate == 1024
            assert camera.caption.caption == CAPTION

    for device in live:
        device.clear_requests()
    second = ansible.play(MERGED, inventory, ["--forks", "10"])
    assert all(s["changed"] == 0 for s in stats(second).values())
    assert all(stats(second)["cam-%02d" % i]["ok"] == 1 for i in range(18))
    assert all(writes_received(d) == [] for d in live)


def test_check_diff_shows_every_field_and_writes_nothing(ansible, simulator, tmp_path):
    sim = simulator(devices=3)
    sim.devices[1].update_state({"videoPorts": {1: {"picture": {"hue": 10}}}})
    inventory = write_inventory(tmp_path / "fleet", [("cam-%d" % i, d.port) for i, d in enumerate(sim.devices)])
    before = [d.state for d in sim.devices]
    play = """
- hosts: all
  gather_facts: false
  tasks:
    - vmlcmd.devices.config:
        config:
          serial: {baud: 19200}
          video_ports:
            0: {encoder: {frame_rate: 12}, privacy_mask: {enabled: true, width: 64}}
            1: {picture: {hue: 128}}
"""
    for device in sim.devices:
        device.clear_requests()
    run = ansible.play(play, inventory, ["--check", "--diff"], json_output=False)
    assert run.returncode == 0, run.stdout + run.stderr
    expected = {
        "serial.baud": ("9600", "19200"),
        "video_ports.0.encoder.frame_rate": ("25", "12"),
        "video_ports.0.privacy_mask.enabled": ("false", "true"),
        "video_ports.0.privacy_mask.width": ("0", "64"),
    }
    for i, device in enumerate(sim.devices):
        block = run.stdout.split("--- before: 127.0.0.1:%d" % device.port)[1].split("changed: [")[0]
        fields = dict(expected)
        if i == 1:  # hue 10 on the device's own scale is 138 in the document's
            fields["video_ports.1.picture.hue"] = ("138", "128")
        for path, (old, new) in fields.items():
            assert "-%s: %s\n" % (path, old) in block, (path, block)
            assert "+%s: %s\n" % (path, new) in block, (path, block)
        assert block.count("\n-video_ports") + block.count("\n-serial") == len(fields), block
    assert "changed=1" in run.stdout
    assert [d.state for d in sim.devices] == before
    assert all(writes_received(d) == [] for d in sim.devices)


def test_ignored_write_fails_naming_the_field_and_rolls_back(ansible, simulator, tmp_path):
    sim = simulator(devices=2)
    stubborn, fine = sim.devices
    stubborn.set_fault(vmlcmd.Command.WRITE_ENCODER, "ignore")
    stubborn.update_state({"videoPorts": {0: {"overlay": {"timeShown": True}}}})
    inventory = write_inventory(tmp_path / "fleet", [("stubborn", stubborn.port), ("fine", fine.port)])
    before = stubborn.state
    play = """
- hosts: all
  gather_facts: false
  tasks:
    - vmlcmd.devices.config:
        config:
          video_ports:
            0: {encoder: {bitrate: 2048, frame_rate: 10}, clock_overlay: {show: false}}
"""
    run = ansible.play(play, inventory)
    task = results(run)
    assert run.json["stats"]["stubborn"]["failures"] == 1
    assert run.json["stats"]["fine"]["changed"] == 1
    result = task["stubborn"]
    assert "video_ports.0.encoder.bitrate" in result["msg"] and "rolled back" in result["msg"], result["msg"]
    assert result["rolled_back"] is True and result["changed"] is False
    assert any(line.startswith("not applied: video_ports.0.encoder.frame_rate") for line in result["failed_fields"])
    # The clock overlay was written before the encoder's read-back failed, and is back too.
    assert stubborn.state == before


def test_gathered_fed_to_another_device_gives_an_equal_configuration(ansible, simulator, tmp_path):
    sim = simulator(devices=2)
    source, target = sim.devices
    with source.device() as camera:
        result = camera.apply_config({
            "serial": {"baud": 38400},
            "video_ports": {
                "0": {"encoder": {"bitrate": 3000, "quant_step": 20}, "caption": {"caption": CAPTION, "show": True, "position": 3},
                      "motion": {"enabled": True, "left": 8, "top": 8, "width": 100, "height": 50, "sensitivity": 70}},
                "1": {"picture": {"contrast": 100}, "clock_overlay": {"show": True, "position": 8}},
            },
        })
        assert result.ok, result.failed
    source.update_state({"network": {"ip": "192.0.2.77"}})
    # The target keeps its texts in UTF-8, the source in code page 936.
    inventory = write_inventory(tmp_path / "fleet", [("source", source.port, "cp936"), ("target", target.port, "utf-8")],
                                extra_columns="text-encoding")
    play = """
- hosts: source
  gather_facts: false
  tasks:
    - vmlcmd.devices.config: {state: gathered, video_ports: [0, 1]}
      register: backup
- hosts: target
  gather_facts: false
  tasks:
    - vmlcmd.devices.config:
        # An address is each device's own: the rest of the backup goes over.
        config: "{{ hostvars.source.backup.gathered | dict2items | rejectattr('key', 'eq', 'network') | items2dict }}"
"""
    run = ansible.play(play, inventory)
    assert run.returncode == 0, run.stdout
    assert results(run, play_index=0)["source"]["gathered"]["video_ports"]["0"]["caption"]["caption"] == CAPTION
    assert run.json["stats"]["target"]["changed"] == 1
    with source.device() as a, target.device(text_encoding="utf-8") as b:
        wanted, got = a.read_config([0, 1]), b.read_config([0, 1])
    assert wanted.pop("network") != got.pop("network")
    assert got == wanted
    assert got["video_ports"]["0"]["caption"]["caption"] == CAPTION
    assert CAPTION.encode("utf-8") in b"".join(r.text for r in target.requests())


def test_states_on_one_device(ansible, simulator, tmp_path):
    """replaced and overridden give omitted fields the devices' starting values; rendered plans
    against a given configuration without a device."""
    sim = simulator(devices=1)
    device = sim.devices[0]
    inventory = write_inventory(tmp_path / "fleet", [("cam", device.port)])
    with device.device() as camera:
        assert camera.apply_config({"video_ports": {"0": {
            "caption": {"caption": "old", "position": 5, "show": False},
            "clock_overlay": {"show": True, "position": 4},
            "encoder": {"bitrate": 900}}}}).ok
        running = camera.read_config([0])
    play = """
- hosts: cam
  gather_facts: false
  tasks:
    - name: replaced
      vmlcmd.devices.config:
        state: replaced
        config: {video_ports: {0: {caption: {show: true}}}}
    - name: network without all fields
      vmlcmd.devices.config:
        state: replaced
        config: {network: {ip: 192.0.2.10}}
      ignore_errors: true
    - name: overridden
      vmlcmd.devices.config:
        state: overridden
        config: {video_ports: {0: {encoder: {frame_rate: 30}}}}
"""
    run = ansible.play(play, inventory)
    replaced, network, overridden = (results(run, i)["cam"] for i in range(3))
    assert replaced["commands"] == ['SetOsdCaption video_port=0: caption.show=true, caption.position=1, caption.caption=""']
    assert "no default for subnet_mask, gateway" in network["msg"]
    assert overridden["commands"] == [
        "SetVideoSettings video_port=0: encoder.bitrate=512, encoder.frame_rate=30",
        "SetOsdCaption video_port=0: caption.show=false",
        "SetOsdTime video_port=0: clock_overlay.show=false, clock_overlay.position=1",
    ]
    with device.device() as camera:
        now = camera.read_config([0])
    port = now["video_ports"]["0"]
    assert port["caption"] == {"show": False, "position": 1, "caption": ""}
    assert port["clock_overlay"] == {"show": False, "position": 1}
    assert port["encoder"]["bitrate"] == 512 and port["encoder"]["frame_rate"] == 30

    # rendered: the engine's plan of each config against running_config, in the engine's order.
    cases = [
        ({"video_ports": {"0": {"encoder": {"bitrate": 900}}}}, []),
        ({"video_ports": {"0": {"picture": {"hue": 1}}}}, ["SetHue video_port=0: picture.hue=1"]),
        ({"video_ports": {"0": {"picture": {"hue": 1}, "encoder": {"bitrate": 16}}}},
         ["SetVideoSettings video_port=0: encoder.bitrate=16, picture.hue=1"]),
        ({"network": {"ip": "192.0.2.99", "gateway": "192.0.2.254"}, "video_ports": {"0": {"motion": {"top": 4}}}},
         ["SetMotionRegion video_port=0: motion.top=4", "SetNetworkConfig: network.ip=\"192.0.2.99\", network.gateway=\"192.0.2.254\""]),
        ({"serial": {"baud": 4800}, "video_ports": {"2": {"caption": {"caption": CAPTION}}}},
         ["SetSerialBaudRate: serial.baud=4800", 'SetOsdCaption video_port=2: caption.caption="%s"' % CAPTION]),
    ]
    tasks = "".join(
        "    - vmlcmd.devices.config: {state: rendered, config: %s, running_config: %s}\n" % (
            _flow(config), _flow(running))
        for config, _ in cases
    )
    run = ansible.play("- hosts: localhost\n  gather_facts: false\n  tasks:\n" + tasks)
    assert run.returncode == 0, run.stdout
    for i, (_, expected) in enumerate(cases):
        assert results(run, i)["localhost"]["rendered"] == expected, i


def _flow(value):
    import json

    return json.dumps(value, ensure_ascii=False)
