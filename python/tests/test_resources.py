"""The context managers leave no descriptor open, on success and on every kind of failure."""

import gc
import os

import pytest

import vmlcmd
from vmlcmd import Command


def open_descriptors():
    gc.collect()
    return sorted(os.listdir("/proc/self/fd"))


def test_simulators_and_devices_leave_nothing_open():
    before = open_descriptors()
    for _ in range(3):
        with vmlcmd.Simulator(devices=3) as sim:
            for simulated in sim.devices:
                with simulated.device() as camera:
                    camera.bitrate = 700
                    camera.video_settings
        assert not sim.running
    assert open_descriptors() == before


@pytest.mark.parametrize("fault", ["close", "reset", {"kind": "truncate", "truncate_to": 5}, {"kind": "status", "status": 3}])
def test_failed_operations_close_their_connection(sim, fault):
    before = open_descriptors()
    sim.set_fault(Command.READ_ENCODER, fault)
    with sim.device() as camera:
        for _ in range(3):
            with pytest.raises(vmlcmd.DeviceError):
                camera.bitrate
    assert sim.devices[0].wait_idle(timeout=5)
    assert open_descriptors() == before


def test_refused_connections_leave_nothing_open(sim):
    port = sim.port
    sim.stop()
    before = open_descriptors()
    with vmlcmd.Device(sim.host, port) as camera:
        for _ in range(5):
            with pytest.raises(vmlcmd.ConnectError):
                camera.gateway
    assert open_descriptors() == before


def test_close_is_idempotent_and_final(sim):
    camera = sim.device()
    camera.close()
    camera.close()
    assert camera.closed and "closed" in repr(camera)
    with pytest.raises(ValueError):
        camera.bitrate = 1
    with pytest.raises(ValueError):
        camera.video_port = 1
    sim.stop()
    sim.stop()
