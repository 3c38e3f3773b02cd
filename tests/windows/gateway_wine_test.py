"""vmlcmd-gateway.exe under Wine, in front of napi-sim.exe, driven from Linux over 127.0.0.1.

The Linux build's tests cover the API; these cases are the ones the platform can break: Winsock
under the HTTP library, the worker threads, the lease timer that sends a stop by itself, the
embedded demo fleet, the refused TLS options and the stop on Ctrl+C (Wine turns SIGINT into the
console's Ctrl+C event)."""

import json
import os
import re
import signal
import socket
import subprocess
import sys
import time

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "gateway", "tests"))
from conftest import GATEWAY, LOADER, PASSWORD, PTZ_STOP, READ, WRITE, Gateway, Sim  # noqa: E402

PTZ_RIGHT = 4
BITRATE = {"video_ports": {"0": {"encoder": {"bitrate": 1536}}}}


def wait_for(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def stop_with_ctrl_c(process):
    process.send_signal(signal.SIGINT)
    return process.wait(15)


@pytest.fixture(scope="module")
def fleet(tmp_path_factory):
    directory = str(tmp_path_factory.mktemp("gateway-wine"))
    sim = Sim(2, directory)
    gateway = Gateway([dict(row, name=f"cam{i + 1}") for i, row in enumerate(sim.rows)], directory)
    yield sim, gateway
    if gateway.process.poll() is None:
        gateway.process.kill()
        gateway.process.wait(15)
    gateway.log.close()
    sim.close()


# method, path, body, token, status, what the JSON answer must hold
CASES = [
    ("GET", "/api/v1/devices", None, READ, 200, lambda d: [x["id"] for x in d] == ["cam1", "cam2"]),
    ("GET", "/api/v1/devices", None, None, 401, lambda d: d["error"]["stage"] == "unauthorized"),
    ("GET", "/api/v1/devices/cam1/config?ports=0-0", None, READ, 200,
     lambda d: d["format"] == "vmlcmd-config 1" and "0" in d["video_ports"]),
    ("POST", "/api/v1/devices/cam1/config/plan", BITRATE, READ, 200, None),
    ("POST", "/api/v1/devices/cam1/config/apply", BITRATE, READ, 403, None),
    ("POST", "/api/v1/devices/cam1/config/apply", BITRATE, WRITE, 200,
     lambda d: "video_ports.0.encoder.bitrate" in d["verified"] and not d["failed"]),
    ("GET", "/api/v1/devices/cam1/config?ports=0-0", None, READ, 200,
     lambda d: d["video_ports"]["0"]["encoder"]["bitrate"] == 1536),
    ("POST", "/api/v1/devices/cam1/ptz/move", {"axis": "tilt", "direction": -1, "seconds": 0.2}, WRITE, 200,
     lambda d: d["ok"] and d["leaseSeconds"] == 0.2),
    ("POST", "/api/v1/devices/cam1/ptz/stop", None, WRITE, 200, lambda d: d["ok"]),
    ("GET", "/openapi.json", None, None, 200, lambda d: d["openapi"].startswith("3.0")),
    ("GET", "/", None, None, 200, None),
    ("GET", "/healthz", None, None, 200, lambda d: d["status"] == "ok"),
    # This build has no metrics library: it says so rather than serving nothing.
    ("GET", "/metrics", None, READ, 501, lambda d: d["error"]["stage"] == "not-built"),
    ("POST", "/api/v1/devices/cam2/probe", None, READ, 200, lambda d: d["state"] == "up" and d["health"]["versions"]),
    # Written back over the inventory: a rename onto a file that exists.
    ("POST", "/api/v1/devices", {"id": "added", "host": "127.0.0.1", "port": 9}, WRITE, 201, None),
    ("GET", "/api/v1/audit?device=cam1", None, READ, 200,
     lambda d: [r["operation"] for r in d["records"]] == ["config.apply", "ptz.move", "ptz.stop"]),
]


def test_the_windows_gateway(fleet):
    sim, gateway = fleet
    for method, path, body, token, status, check in CASES:
        got, data, text = gateway.request(method, path, body, token=token)
        assert got == status, (method, path, text)
        assert PASSWORD not in text
        if check:
            assert check(data), (method, path, text)

    # Both heads are in the moves file: each rewrite of it replaces the one before.
    for cam in ("cam1", "cam2"):
        got, _, text = gateway.request("POST", f"/api/v1/devices/{cam}/ptz/move", {"axis": "pan", "direction": 1, "seconds": 2})
        assert got == 200, text
    with open(gateway.inventory + ".moves") as f:
        assert sorted(line.split("\t")[0] for line in f) == ["cam1", "cam2"]
    for cam in ("cam1", "cam2"):
        assert gateway.request("POST", f"/api/v1/devices/{cam}/ptz/stop")[0] == 200

    # A move whose client vanishes: the gateway's lease sends the stop within its 0.3 s.
    sim.call("clear-requests", device=1)
    body = json.dumps({"axis": "pan", "direction": 1, "seconds": 0.3})
    with socket.create_connection(("127.0.0.1", gateway.port)) as client:
        client.sendall((f"POST /api/v1/devices/cam2/ptz/move HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer {WRITE}\r\n"
                        f"Content-Type: application/json\r\nContent-Length: {len(body)}\r\n\r\n{body}").encode())
        assert wait_for(lambda: sim.ptz_actions(1)[:1] == [PTZ_RIGHT], timeout=5.0)
    assert wait_for(lambda: sim.ptz_actions(1) == [PTZ_RIGHT, PTZ_STOP], timeout=3.0), sim.ptz_actions(1)

    with open(gateway.inventory) as f:
        assert "added,127.0.0.1,9," in f.read()

    assert PASSWORD not in gateway.log_text()
    assert stop_with_ctrl_c(gateway.process) == 0


def test_the_demo_fleet_and_no_tls():
    refused = subprocess.run([*LOADER, GATEWAY, "--demo", "--tls-cert", "c.pem", "--tls-key", "k.pem"],
                             capture_output=True, text=True, timeout=60)
    assert refused.returncode == 2 and "TLS is not in this build" in refused.stderr, refused.stderr

    demo = subprocess.Popen([*LOADER, GATEWAY, "--demo", "--quiet", "--listen", "127.0.0.1:0"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        lines = [demo.stdout.readline() for _ in range(3)]
        match = re.search(r"listening on http://127\.0\.0\.1:(\d+)/ \(8 devices\)", lines[0])
        token = re.search(r"#token=([0-9a-f]+)", lines[1])
        assert match and token, lines
        client = Gateway.__new__(Gateway)  # only its request(): this gateway is not the fixture's
        client.port = int(match.group(1))
        status, devices, _ = client.request("GET", "/api/v1/devices", token=token.group(1))
        assert status == 200 and len(devices) == 8
        status, config, _ = client.request("GET", f"/api/v1/devices/{devices[7]['id']}/config?ports=0-0",
                                           token=token.group(1))
        assert status == 200 and config["network"]["ip"]
        assert stop_with_ctrl_c(demo) == 0
    finally:
        if demo.poll() is None:
            demo.kill()
            demo.wait(15)
