"""The gateway against hostile clients and failing devices, through the real binary: no input
crashes it, and every head it set moving is stopped, after a refused stop, a busy neighbour, a
signal or a kill."""

import json
import os
import signal
import subprocess
import time

import pytest

from conftest import GATEWAY, LOADER, PTZ_COMMAND, PTZ_STOP, READ, WRITE, Gateway, Sim


def wait_for(predicate, timeout=5.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.02)
    return predicate()


@pytest.fixture(scope="module")
def fleet(workdir):
    s = Sim(6, workdir)
    yield s
    s.close()


def rows(sim):
    return [dict(row, name=f"cam{i + 1}") for i, row in enumerate(sim.rows)]


@pytest.fixture()
def gateway(fleet, tmp_path):
    g = Gateway(rows(fleet), str(tmp_path))
    yield g
    if g.process.poll() is None:
        g.close()


def moving(sim, device):
    return sim.state(device)["videoPorts"][0]["ptz"]["action"] != 0


def post(gateway, path, *curl_args, token=WRITE):
    """A POST with the real curl binary; its status and how long it took."""
    started = time.monotonic()
    out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "--max-time", "20", "-X", "POST",
                          "-H", f"Authorization: Bearer {token}", *curl_args,
                          f"http://127.0.0.1:{gateway.port}{path}"], capture_output=True, text=True)
    return int(out.stdout or 0), time.monotonic() - started


@pytest.mark.parametrize("body", [[], ["-H", "Content-Length: 0"], ["-H", "Transfer-Encoding: chunked", "-d", ""],
                                  ["-d", "{}"], ["-d", "odd"]])
def test_a_stop_needs_no_body_and_answers_at_once(gateway, fleet, body):
    fleet.call("clear-requests", device=0)
    status, took = post(gateway, "/api/v1/devices/cam1/ptz/stop", *body)
    assert status == 200 and took < 0.5, (status, took)
    assert fleet.ptz_actions(0) == [PTZ_STOP]


def test_a_route_that_needs_a_body_says_so_at_once(gateway):
    status, took = post(gateway, "/api/v1/devices/cam1/config/apply")
    assert status == 400 and took < 0.5
    status, took = post(gateway, "/api/v1/devices/cam1/ptz/move", "-H", "Content-Length: 0")
    assert status == 400 and took < 0.5


def test_a_stop_overtakes_calls_queued_on_its_device(gateway, fleet):
    # Reads of the device's caption take 900 ms each; four clients queue them.
    fleet.call("set-fault", device=1, command=26, fault={"kind": "normal", "delayMs": 900})
    status, _, _ = gateway.request("POST", "/api/v1/devices/cam2/ptz/move", {"axis": "pan", "direction": 1, "seconds": 2})
    assert status == 200
    readers = [subprocess.Popen(["curl", "-s", "-o", "/dev/null", "-H", f"Authorization: Bearer {READ}",
                                 f"http://127.0.0.1:{gateway.port}/api/v1/devices/cam2/config"]) for _ in range(4)]
    try:
        time.sleep(0.3)
        status, took = post(gateway, "/api/v1/devices/cam2/ptz/stop")
        assert status == 200 and took < 0.5, (status, took)
        assert not moving(fleet, 1)
    finally:
        for r in readers:
            r.wait(30)
        fleet.call("clear-fault", device=1, command=26)


def test_a_lease_ends_on_its_own_clock_beside_a_slow_device(gateway, fleet):
    fleet.call("set-fault", device=3, command=45, fault={"kind": "no-reply"})
    slow = subprocess.Popen(["curl", "-s", "-o", "/dev/null", "-H", f"Authorization: Bearer {READ}",
                             f"http://127.0.0.1:{gateway.port}/api/v1/devices/cam4/config?ports=0-3"])
    try:
        status, _, _ = gateway.request("POST", "/api/v1/devices/cam3/ptz/move", {"axis": "zoom", "direction": 1, "seconds": 0.5})
        assert status == 200
        started = time.monotonic()
        assert wait_for(lambda: not moving(fleet, 2), timeout=3.0)
        assert time.monotonic() - started < 0.5 + 0.3
    finally:
        slow.kill()
        fleet.call("clear-fault", device=3, command=45)


def test_a_refused_stop_is_sent_again_until_the_device_takes_it(gateway, fleet):
    fleet.call("clear-requests", device=4)
    status, _, _ = gateway.request("POST", "/api/v1/devices/cam5/ptz/move", {"axis": "tilt", "direction": 1, "seconds": 0.2})
    assert status == 200
    fleet.call("set-fault", device=4, command=PTZ_COMMAND, fault={"kind": "status", "status": 3, "remaining": 3, "process": False})
    assert wait_for(lambda: gateway.request("GET", "/api/v1/devices", token=READ)[1][4]["ptz"] == "may be moving", 2.0)
    status, data, _ = gateway.request("POST", "/api/v1/devices/cam5/ptz/move", {"axis": "tilt", "direction": 1})
    assert status == 409 and data["error"]["stage"] == "may-be-moving"
    assert wait_for(lambda: not moving(fleet, 4), timeout=5.0)
    assert fleet.ptz_actions(4).count(PTZ_STOP) >= 4  # three refused, then taken
    assert wait_for(lambda: gateway.request("GET", "/api/v1/devices", token=READ)[1][4]["ptz"] == "stopped", 2.0)


def test_a_stop_is_only_ever_acknowledged(gateway, fleet):
    fleet.call("set-fault", device=5, command=PTZ_COMMAND, fault={"kind": "ignore", "remaining": 1})
    status, data, _ = gateway.request("POST", "/api/v1/devices/cam6/ptz/stop", raw="")
    assert status == 200 and data["stop"] == "acknowledged"


@pytest.mark.parametrize("how", [signal.SIGHUP, signal.SIGTERM, signal.SIGINT])
def test_a_signal_stops_every_moving_head_before_exit(fleet, tmp_path, how):
    g = Gateway(rows(fleet), str(tmp_path))
    status, _, _ = g.request("POST", "/api/v1/devices/cam1/ptz/move", {"axis": "pan", "direction": -1, "seconds": 2})
    assert status == 200 and moving(fleet, 0)
    g.process.send_signal(how)
    assert g.process.wait(10) == 0
    assert not moving(fleet, 0)


def test_a_restart_after_a_kill_stops_what_was_moving(fleet, tmp_path):
    g = Gateway(rows(fleet), str(tmp_path))
    status, _, _ = g.request("POST", "/api/v1/devices/cam1/ptz/move", {"axis": "iris", "direction": 1, "seconds": 2})
    assert status == 200
    g.process.kill()
    g.process.wait(10)
    assert moving(fleet, 0)
    assert os.path.exists(os.path.join(str(tmp_path), "inventory.csv.moves"))
    again = Gateway(rows(fleet), str(tmp_path))
    try:
        assert wait_for(lambda: not moving(fleet, 0), timeout=3.0)
        assert wait_for(lambda: not os.path.exists(os.path.join(str(tmp_path), "inventory.csv.moves")), 3.0)
    finally:
        again.close()


def test_a_second_gateway_cannot_take_the_port(gateway, tmp_path):
    second = subprocess.run([*LOADER, GATEWAY, "--demo", "--listen", f"127.0.0.1:{gateway.port}"],
                            capture_output=True, text=True, timeout=20)
    assert second.returncode != 0
    assert "cannot listen" in second.stderr


def deep(levels):
    return "[" * levels + "]" * levels


@pytest.mark.parametrize(
    "path, raw, expected",
    [
        ("/api/v1/devices/cam1/config/plan", deep(100000), 400),
        ("/api/v1/devices/cam1/config/plan",
         json.dumps({"video_ports": {"0": {"caption": {"caption": "c" * 50000}}}}), 400),
        ("/api/v1/devices/cam1/ptz/move", '{"axis": "pan", "direction": 1, "seconds": 1e400}', 400),
        ("/api/v1/devices/cam1/config/plan", '{"serial": {"baud": 1e400}}', 400),
        ("/api/v1/devices", '{"host": "127.0.0.1", "port": 1, "password": "a-b"}', 400),
        ("/api/v1/devices", '{"host": "127.0.0.1", "port": 1, "password": "123456789"}', 400),
    ],
    # Short names: the test's name goes into the environment of the processes it starts.
    ids=["nested", "long-caption", "1e400-seconds", "1e400-baud", "hyphen-password", "long-password"],
)
def test_hostile_bodies_are_refused_and_the_gateway_lives(gateway, path, raw, expected):
    status, data, _ = gateway.request("POST", path, raw=raw, token=READ if "plan" in path else WRITE)
    assert status == expected, data
    assert gateway.request("GET", "/api/v1/whoami", token=READ)[0] == 200


def test_a_huge_lease_is_the_longest_one(gateway):
    status, data, _ = gateway.request("POST", "/api/v1/devices/cam2/ptz/move",
                                      raw='{"axis": "pan", "direction": 1, "seconds": 1e300}')
    assert status == 200 and data["leaseSeconds"] == 2.0
    gateway.request("POST", "/api/v1/devices/cam2/ptz/stop")


def test_the_log_cannot_be_forged_and_names_no_token(gateway):
    status, _, _ = gateway.request("GET", "/nope%0a127.0.0.1%20DELETE%20/api/v1/devices/cam1%20204%1b[31m")
    assert status == 404
    status, _, _ = gateway.request("GET", "/api/v1/whoami", token=None, headers={"Authorization": "bearer " + READ})
    assert status == 200  # the scheme's name in any case
    log = gateway.log_text()
    lines = [line for line in log.splitlines() if "/nope" in line]
    assert len(lines) == 1 and "%0A" in lines[0] and "\x1b" not in log
    assert " 404 role=write " in lines[0] and lines[0][:4].isdigit() and lines[0][19] == "Z"
    assert READ not in log and WRITE not in log


def test_a_path_too_long_is_refused_at_once(gateway):
    status, _, _ = gateway.request("GET", "/api/v1/devices/" + "a" * 5000, token=READ)
    assert status == 414
