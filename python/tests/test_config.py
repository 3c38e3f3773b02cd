"""The whole configuration from Python: the same engine as vmlctl config, so only what Python
adds is tested here (dicts in and out, the result object, errors)."""

import pytest

import vmlcmd
from vmlcmd import Command


def test_round_trip_to_a_second_device_and_a_second_apply_changes_nothing(sim, device):
    device.bitrate = 2048
    device.video_port = 1
    device.brightness = 40
    device.video_port = 0
    document = device.read_config(ports=(0, 1))
    assert document["format"] == "vmlcmd-config 1"
    assert document["video_ports"]["1"]["picture"]["brightness"] == 40
    assert device.video_port == 0 and device.bitrate == 2048  # the engine left the port as it was

    with vmlcmd.Simulator() as other_sim, other_sim.device() as other:
        assert other.plan_config(document) == [
            {"path": "video_ports.0.encoder.bitrate", "from": 512, "to": 2048},
            {"path": "video_ports.1.picture.brightness", "from": 128, "to": 40},
        ]
        result = other.apply_config(document)
        assert result.ok and result.changed and not result.rolled_back
        assert other.read_config(ports=[0, 1]) == document
        again = other.apply_config(document)
        assert again.ok and again.changes == [] and not again.changed


def test_ignored_write_is_reported_and_rolled_back(sim, device):
    sim.set_fault(Command.WRITE_ENCODER, "ignore")
    result = device.apply_config({"video_ports": {"0": {"encoder": {"bitrate": 1024}}}})
    assert not result.ok
    assert result.failed == ["not applied: video_ports.0.encoder.bitrate is 512, wanted 1024"]
    assert result.rolled_back
    checked = device.apply_config({"video_ports": {"0": {"encoder": {"bitrate": 1024}}}}, check=True)
    assert checked.ok and checked.verified == [] and len(checked.changes) == 1


def test_refused_document_sends_nothing_and_dead_device_raises(sim, device):
    sim.clear_requests()
    with pytest.raises(ValueError, match="bitrate: expected an integer at video_ports.0.encoder"):
        device.apply_config({"video_ports": {"0": {"encoder": {"bitrate": "fast"}}}})
    assert sim.requests() == []
    sim.stop()
    with pytest.raises(vmlcmd.ConfigError) as failure:
        device.read_config()
    assert "GetIpAddress" in failure.value.errors[0]
