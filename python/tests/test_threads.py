"""Device calls release the GIL, and threads over many devices keep their results apart."""

import threading
from concurrent.futures import ThreadPoolExecutor

import pytest

import vmlcmd
from vmlcmd import Command


def test_a_device_call_lets_other_threads_run(sim, device):
    sim.set_fault(Command.READ_ENCODER, "no-reply")
    finished = threading.Event()
    errors = []

    def read():
        try:
            device.bitrate
        except vmlcmd.ReplyTimeoutError as error:
            errors.append(error)
        finished.set()

    worker = threading.Thread(target=read)
    worker.start()
    # When the device has the request, the worker waits a second for the reply. Had it kept the
    # GIL, this thread would run again only after that second, with the call already over.
    assert sim.devices[0].wait_for_requests(2, timeout=5)
    assert not finished.is_set()
    worker.join()
    assert len(errors) == 1


def test_a_pool_over_a_fleet_keeps_each_result_and_failure_apart():
    count = 8
    with vmlcmd.Simulator(devices=count) as sim:
        # Odd devices refuse with their own status; the errors must carry their own.
        statuses = {i: (3, 5, 9, 1)[i // 2] for i in range(1, count, 2)}
        for i, status in statuses.items():
            sim.devices[i].set_fault(Command.WRITE_ENCODER, {"kind": "status", "status": status})

        def configure(i):
            with sim.devices[i].device() as camera:
                for _ in range(5):
                    try:
                        camera.bitrate = 1000 + i
                    except vmlcmd.StatusError as error:
                        return error.status, error.code, error.result_text
                return camera.bitrate

        with ThreadPoolExecutor(max_workers=count) as pool:
            results = list(pool.map(configure, range(count)))
    codes = {1: 18, 3: 15, 5: 14, 9: 17}
    for i, result in enumerate(results):
        if i in statuses:
            status = statuses[i]
            assert result == (status, codes[status], vmlcmd.RESULT_TEXTS[codes[status]])
        else:
            assert result == 1000 + i


def test_threads_sharing_one_device_take_turns(sim, device):
    def work(n):
        for k in range(10):
            device.brightness = (n * 10 + k) % 256
            assert 0 <= device.brightness <= 255
        return device.last_outcome.stage

    with ThreadPoolExecutor(max_workers=4) as pool:
        assert list(pool.map(work, range(4))) == [vmlcmd.Stage.SUCCESS] * 4


def test_close_waits_for_a_call_in_another_thread(sim, device):
    sim.set_fault(Command.READ_PICTURE, "no-reply")
    outcome = []
    worker = threading.Thread(target=lambda: outcome.append(pytest.raises(vmlcmd.ReplyTimeoutError, lambda: device.hue)))
    worker.start()
    assert sim.devices[0].wait_for_requests(2, timeout=5)
    device.close()
    worker.join()
    assert len(outcome) == 1 and device.closed
    with pytest.raises(ValueError):
        device.hue
