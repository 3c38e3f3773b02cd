"""vmlcmd.aio: the blocking device's members, awaitable, concurrent across devices and in
order on one."""

import asyncio
import inspect
import re
import time

import pytest

import vmlcmd
import vmlcmd.aio
from vmlcmd import Command


def test_every_member_of_the_blocking_device_is_there_and_awaitable():
    camera = vmlcmd.aio.Device("127.0.0.1", 1)
    camera.blocking.close()
    for cls, blocking in ((vmlcmd.aio.Device, vmlcmd.Device), (type(camera.ptz), vmlcmd.Ptz)):
        for name, member in vars(blocking).items():
            if name.startswith("_"):
                continue
            mirrored = inspect.getattr_static(cls, name)
            if isinstance(member, property):
                assert isinstance(mirrored, property), name
            else:
                assert inspect.iscoroutinefunction(mirrored), name
                assert inspect.signature(mirrored) == inspect.signature(member), name


def test_a_round_trip_of_values_methods_and_the_ptz_head(sim):
    head_at_rest = sim.state["videoPorts"][0]["ptz"]

    async def main():
        async with vmlcmd.aio.Device(sim.host, sim.port) as camera:
            await camera.set(bitrate=1500, caption=vmlcmd.Caption("gate", vmlcmd.Position.BOTTOM_LEFT))
            await camera.set_network("192.0.2.20", "255.255.255.0", "192.0.2.1")
            await camera.ptz.pan(-1)
            values = await asyncio.gather(camera.bitrate, camera.caption, camera.network, camera.last_outcome)
            with pytest.raises(AttributeError):
                camera.bitrate = 1
            with pytest.raises(AttributeError):
                await camera.set(no_such_value=1)
        return camera, values

    camera, (bitrate, caption, network, outcome) = asyncio.run(main())
    assert bitrate == 1500 and caption.caption == "gate" and caption.position == vmlcmd.Position.BOTTOM_LEFT
    assert network == vmlcmd.Network("192.0.2.20", "255.255.255.0", "192.0.2.1")
    assert outcome.stage == vmlcmd.Stage.SUCCESS
    assert sim.state["videoPorts"][0]["ptz"] != head_at_rest
    assert camera.blocking.closed


@pytest.mark.parametrize(
    "case, error",
    [
        ("wrong password", vmlcmd.LoginError),
        ("closed port", vmlcmd.ConnectError),
        ("status 3", vmlcmd.StatusError),
        ("no reply", vmlcmd.ReplyTimeoutError),
        ("value out of range", ValueError),
    ],
)
def test_a_failure_raises_what_the_blocking_call_raises(sim, case, error):
    port, password, value = sim.port, "admin", 900
    if case == "closed port":
        with vmlcmd.Simulator() as other:
            port = other.port
    elif case == "wrong password":
        password = "wrong"
    elif case == "status 3":
        sim.set_fault(Command.WRITE_ENCODER, {"kind": "status", "status": 3})
    elif case == "no reply":
        sim.set_fault(Command.WRITE_ENCODER, "no-reply")
    else:
        value = 2**40

    def blocking():
        with vmlcmd.Device(sim.host, port, password=password) as camera:
            camera.bitrate = value

    async def awaited():
        async with vmlcmd.aio.Device(sim.host, port, password=password) as camera:
            await camera.set(bitrate=value)

    with pytest.raises(error) as expected:
        blocking()
    with pytest.raises(error) as raised:
        asyncio.run(awaited())
    assert type(raised.value) is type(expected.value)
    if isinstance(expected.value, vmlcmd.DeviceError):
        assert raised.value.outcome.stage == expected.value.outcome.stage


def test_the_loop_runs_while_a_device_keeps_a_call_waiting(sim):
    sim.set_fault(Command.READ_ENCODER, "no-reply")

    async def main():
        async with vmlcmd.aio.Device(sim.host, sim.port) as camera:
            call = asyncio.ensure_future(camera.bitrate)
            # The device has the request and keeps the caller waiting for a second: had the call
            # blocked the loop, this coroutine would run only after the call was over.
            while len(sim.requests()) < 2:
                await asyncio.sleep(0.01)
            assert not call.done()
            with pytest.raises(vmlcmd.ReplyTimeoutError):
                await call

    asyncio.run(main())


def test_calls_on_one_device_reach_it_one_at_a_time_in_the_order_made(sim):
    sim.set_fault(Command.WRITE_PICTURE, {"kind": "normal", "delay_ms": 5})

    async def main():
        async with vmlcmd.aio.Device(sim.host, sim.port) as camera:
            await asyncio.gather(*(camera.set(brightness=value) for value in range(20)))
            return await camera.brightness

    assert asyncio.run(main()) == 19
    written = [r for r in sim.requests() if r.command == Command.WRITE_PICTURE]
    assert [int(re.search(rb"-b ?(\d+)", r.text).group(1)) for r in written] == list(range(20))
    # One connection at a time: each login is followed by its own request before the next login.
    commands = [r.command for r in sim.requests()]
    assert commands == [Command.LOGIN, Command.WRITE_PICTURE] * 20 + [Command.LOGIN, Command.READ_PICTURE]


def test_a_hundred_late_devices_answer_together():
    count, late = 100, 0.05
    with vmlcmd.Simulator(devices=count, faults={Command.READ_ENCODER: {"kind": "normal", "delay_ms": 50}}) as sim:
        for d in sim.devices:
            d.update_state({"videoPorts": {0: {"encoder": {"bitrate": 1000 + d.index}}}})

        async def main():
            cameras = [vmlcmd.aio.Device(d.host, d.port) for d in sim.devices]
            started = time.monotonic()
            bitrates = await asyncio.gather(*(camera.bitrate for camera in cameras))
            elapsed = time.monotonic() - started
            await asyncio.gather(*(camera.close() for camera in cameras))
            return bitrates, elapsed

        bitrates, elapsed = asyncio.run(main())
    assert bitrates == [1000 + i for i in range(count)]
    # One after another they would take count × late = 5 s; side by side, about two rounds of
    # the pool's workers. The bound leaves room for a loaded machine.
    assert elapsed < count * late / 2, elapsed
