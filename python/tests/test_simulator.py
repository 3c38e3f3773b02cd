"""The simulator as a user's tests meet it: a fleet, its state, its faults."""

import pytest

import vmlcmd
from vmlcmd import Command


def test_fleet_devices_are_independent():
    with vmlcmd.Simulator(devices=3) as sim:
        assert (sim.host, sim.port) == (sim.devices[0].host, sim.devices[0].port)
        assert len({d.port for d in sim.devices}) == 3
        for n, simulated in enumerate(sim.devices):
            with simulated.device() as camera:
                camera.bitrate = 1000 + n
        assert [d.state["videoPorts"][0]["encoder"]["bitrate"] for d in sim.devices] == [1000, 1001, 1002]
        sim.devices[1].set_fault(Command.READ_ENCODER, {"kind": "status", "status": 3})
        with sim.devices[2].device() as camera:
            assert camera.bitrate == 1002
        assert sim.devices[2].requests()[-1].command == Command.READ_ENCODER
        assert sim.devices[1].requests()[-1].command == Command.WRITE_ENCODER


def test_constructor_faults_apply_to_every_device_until_reset():
    faults = {Command.READ_PICTURE: {"kind": "status", "status": 9}}
    with vmlcmd.Simulator(devices=2, faults=faults) as sim:
        for simulated in sim.devices:
            with simulated.device() as camera, pytest.raises(vmlcmd.StatusError):
                camera.brightness
        sim.reset()
        with sim.devices[1].device() as camera:
            assert camera.brightness == 128


def test_faults_that_last_a_number_of_requests(sim, device):
    sim.set_fault(Command.READ_ENCODER, {"kind": "close", "remaining": 1})
    with pytest.raises(vmlcmd.ConnectionClosedError):
        device.bitrate
    assert device.bitrate == 512
    sim.set_fault(Command.READ_ENCODER, {"kind": "status", "status": 3})
    sim.clear_fault(Command.READ_ENCODER)
    assert device.bitrate == 512


def test_a_device_that_ignores_the_request_but_answers(sim, device):
    sim.set_fault(Command.WRITE_ENCODER, {"kind": "normal", "process": False})
    device.bitrate = 3000
    assert device.bitrate == 512


def test_delivery_faults_are_read_whole(sim, device):
    sim.set_fault(Command.READ_ENCODER, {"kind": "normal", "one_byte_at_a_time": True, "gap_ms": 1})
    assert device.bitrate == 512
    sim.set_fault(Command.READ_ENCODER, {"kind": "text", "text": b"-b 77", "trailing_nul": True})
    assert device.bitrate == 77


@pytest.mark.parametrize(
    "fault, error",
    [({"kind": "melt"}, ValueError), ({"colour": "red"}, ValueError), ({"kind": "status", "status": "x"}, ValueError),
     (3, TypeError)],
)
def test_malformed_faults_are_refused(sim, fault, error):
    with pytest.raises(error):
        sim.set_fault(Command.READ_ENCODER, fault)


def test_state_reads_and_changes_as_a_dict(sim, device):
    state = sim.state
    assert state["videoPorts"][0]["encoder"]["bitrate"] == 512 and len(state["videoPorts"]) == 4
    sim.update_state({"network": {"ip": "203.0.113.9"}, "videoPorts": {2: {"encoder": {"bitrate": 4096}}}})
    assert device.ip == "203.0.113.9"
    device.video_port = 2
    assert device.bitrate == 4096
    assert sim.state["network"]["mask"] == "255.255.255.0"  # what was not named stays
    with pytest.raises(IndexError):
        sim.update_state({"videoPorts": {7: {}}})
    with pytest.raises(ValueError):
        sim.update_state({"videoPorts": [{"encoder": {"bitrate": "fast"}}]})


def test_accounts_and_video_ports():
    with vmlcmd.Simulator(accounts=[("op", "pw")], video_ports=1) as sim:
        with sim.device(user="op", password="pw") as camera:
            assert camera.bitrate == 512
            camera.video_port = 1
            with pytest.raises(vmlcmd.StatusError):
                camera.bitrate
        with sim.device() as camera, pytest.raises(vmlcmd.LoginError):
            camera.bitrate


def test_requests_as_sent(sim, device):
    device.set_caption("abc", vmlcmd.Position.TOP_RIGHT)
    assert sim.devices[0].wait_for_requests(2, timeout=5)
    login, request = sim.requests()
    assert (login.command, login.text) == (Command.LOGIN, b"-u admin -p admin")
    assert (request.command, request.text) == (Command.WRITE_OVERLAY, b"-p 0 -g 1 -l 3 -w abc")
    assert login.connection == request.connection and not request.bad_header
    sim.clear_requests()
    assert sim.requests() == []


def test_invalid_simulator_arguments():
    with pytest.raises(ValueError):
        vmlcmd.Simulator(devices=0)
    with pytest.raises(ValueError):
        vmlcmd.Simulator(video_ports=0)


@pytest.mark.parametrize(
    "fault, field",
    [({"kind": "status", "status": 2**40}, "status"),
     ({"kind": "status", "status": 7, "remaining": 2**32}, "remaining"),
     ({"kind": "normal", "delay_ms": 2**62}, "delayMs"),
     ({"kind": "normal", "gap_ms": 1.5}, "gapMs")],
)
def test_fault_numbers_out_of_range_are_refused_not_coerced(sim, fault, field):
    with pytest.raises(ValueError, match=field):
        sim.set_fault(Command.LOGIN, fault)
    with vmlcmd.Device(sim.host, sim.port) as camera:
        assert camera.bitrate == 512  # no fault was set
