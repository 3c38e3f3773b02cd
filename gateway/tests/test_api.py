"""The gateway at the HTTP level, against a napi-sim fleet in another process."""

import datetime
import json
import os
import shutil
import socket
import ssl
import subprocess
import threading
import time
import http.client

import jsonschema
import pytest

from conftest import GATEWAY, METRICS, PASSWORD, PTZ_STOP, READ, WRITE, Gateway, dead_port, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
BITRATE = {"video_ports": {"0": {"encoder": {"bitrate": 1536}}}}


@pytest.mark.parametrize(
    "method, path, body, token, expected",
    [
        ("GET", "/api/v1/devices", None, None, 401),
        ("GET", "/api/v1/devices", None, "not-a-known-token-at-all", 401),
        ("GET", "/api/v1/no-such-route", None, None, 401),  # who is asking comes before routing
        ("GET", "/api/v1/devices", None, READ, 200),
        ("GET", "/api/v1/devices/cam1/config", None, READ, 200),
        ("POST", "/api/v1/devices/cam1/config/plan", BITRATE, READ, 200),
        ("POST", "/api/v1/fleet/config/plan", {"ids": ["cam1"], "document": BITRATE}, READ, 200),
        ("POST", "/api/v1/devices/cam1/config/apply", BITRATE, READ, 403),
        ("POST", "/api/v1/fleet/config/apply", {"ids": ["cam1"], "document": BITRATE}, READ, 403),
        ("POST", "/api/v1/devices/cam1/ptz/move", {"axis": "pan", "direction": 1}, READ, 403),
        ("POST", "/api/v1/devices/cam1/ptz/stop", None, READ, 403),
        ("POST", "/api/v1/devices/cam1/clock", {"time": "now"}, READ, 403),
        ("POST", "/api/v1/devices", {"host": "127.0.0.1", "port": 9}, READ, 403),
        ("DELETE", "/api/v1/devices/cam1", None, READ, 403),
        ("POST", "/api/v1/devices/cam1/config/apply", BITRATE, WRITE, 200),
        ("GET", "/openapi.json", None, None, 200),
        ("GET", "/", None, None, 200),
        ("GET", "/healthz", None, None, 200),
        ("GET", "/metrics", None, None, 401),
        ("GET", "/probe?target=cam1", None, None, 401),
        ("GET", "/metrics", None, METRICS, 200),
        ("GET", "/metrics", None, READ, 200),
        ("GET", "/probe?target=cam1", None, METRICS, 200),
        ("GET", "/probe?target=nosuch", None, METRICS, 404),
        ("GET", "/api/v1/devices", None, METRICS, 403),
        ("POST", "/api/v1/devices/cam1/ptz/stop", None, METRICS, 403),
    ],
)
def test_tokens_and_roles(gateway, method, path, body, token, expected):
    status, data, _ = gateway.request(method, path, body, token=token)
    assert status == expected, data
    if status in (401, 403):
        assert data["error"]["stage"] == ("unauthorized" if status == 401 else "forbidden")


def test_a_refused_call_changes_nothing(gateway, sim):
    sim.call("clear-requests", device=0)
    status, _, _ = gateway.request("POST", "/api/v1/devices/cam1/config/apply",
                                   {"video_ports": {"0": {"encoder": {"bitrate": 777}}}}, token=READ)
    assert status == 403
    assert sim.requests(0) == []


def test_no_password_in_any_response_or_log(gateway, sim):
    other = "Zq9!rT4w"
    texts = []
    # A device whose password the simulated device refuses: its login fails, and the error
    # must say so without quoting what was tried.
    status, data, text = gateway.request("POST", "/api/v1/devices",
                                         {"id": "wrongpw", "host": "127.0.0.1", "port": int(sim.rows[0]["port"]),
                                          "user": "admin", "password": other})
    assert status == 201 and "password" not in data
    texts.append(text)
    for method, path, body in [
        ("GET", "/api/v1/devices", None),
        ("GET", "/api/v1/devices/wrongpw/config", None),
        ("POST", "/api/v1/devices/wrongpw/config/plan", BITRATE),
        ("POST", "/api/v1/devices/wrongpw/ptz/move", {"axis": "tilt", "direction": -1}),
        ("GET", "/api/v1/devices/cam1/config?ports=0-3", None),
        ("POST", "/api/v1/fleet/config/plan", {"document": BITRATE}),
    ]:
        status, _, text = gateway.request(method, path, body)
        texts.append(text)
    # Broken JSON around a password: the refusal must not echo the text it stopped at.
    status, data, text = gateway.request("POST", "/api/v1/devices",
                                         raw='{"host": "127.0.0.1", "port": 9, "password": "' + other + '" ,,}')
    assert status == 400 and data["error"]["stage"] == "bad-request"
    texts.append(text)
    status, data, text = gateway.request("POST", "/api/v1/devices",
                                         {"host": "127.0.0.1", "port": 9, "password": other + "toolong"})
    assert status == 400
    texts.append(text)
    assert gateway.request("GET", "/api/v1/devices/wrongpw/config")[1]["error"]["stage"] == "login-refused"
    assert gateway.request("DELETE", "/api/v1/devices/wrongpw")[0] == 204
    for text in texts + [gateway.log_text()]:
        assert PASSWORD not in text
        assert other not in text


def test_a_dead_device_fails_alone_in_a_fleet_call(gateway):
    status, data, _ = gateway.request("POST", "/api/v1/fleet/config/plan",
                                      {"ids": ["cam1", "dead", "cam2", "nosuch"], "document": BITRATE})
    assert status == 200
    results = {r["id"]: r for r in data["results"]}
    assert [r["id"] for r in data["results"]] == ["cam1", "dead", "cam2", "nosuch"]
    assert results["cam1"]["ok"] and results["cam2"]["ok"]
    assert results["dead"]["error"]["stage"] == "connect-refused"
    assert results["nosuch"]["error"]["stage"] == "not-found"
    assert data["summary"] == {"devices": 4, "ok": 2, "failed": 2}
    devices = {d["id"]: d for d in gateway.request("GET", "/api/v1/devices")[1]}
    assert devices["dead"]["state"] == "down"
    assert devices["dead"]["health"]["failure"]["stage"] == "connect-refused"
    assert devices["cam1"]["state"] == "up"


def test_the_lease_stops_a_head_whose_client_vanished(gateway, sim):
    sim.call("clear-requests", device=1)
    body = json.dumps({"axis": "pan", "direction": 1, "seconds": 0.3})
    with socket.create_connection(("127.0.0.1", gateway.port)) as client:
        client.sendall((f"POST /api/v1/devices/cam2/ptz/move HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer {WRITE}\r\n"
                        f"Content-Type: application/json\r\nContent-Length: {len(body)}\r\n\r\n{body}").encode())
        assert wait_for(lambda: sim.ptz_actions(1) == [4])  # moving right; the client goes away now
    assert sim.state(1)["videoPorts"][0]["ptz"]["action"] == 4
    assert wait_for(lambda: sim.ptz_actions(1) == [4, PTZ_STOP], timeout=3.0)
    assert sim.state(1)["videoPorts"][0]["ptz"]["action"] == 0


def wire_clock(t):
    """The device keeps the digits as the library sends them: no separators, no leading zeros."""
    return {"date": f"{t.year}{t.month}{t.day}", "time": f"{t.hour}{t.minute}{t.second}"}


@pytest.mark.parametrize(
    "body, raw, expected",
    [
        (None, None, "now"),  # no body: now
        ({"time": "now"}, None, "now"),
        ({"time": "2031-12-24T18:05:09"}, None, {"date": "20311224", "time": "1859"}),
        ({"time": "2031-13-01T18:05:09"}, None, 400),
        ({"time": "tomorrow"}, None, 400),
        ({"when": "now"}, None, 400),
        (None, "{not json", 400),
    ],
)
def test_clock_is_set_to_now_or_the_time_given(gateway, sim, body, raw, expected):
    sim.call("clear-requests", device=3)
    before = datetime.datetime.now().replace(microsecond=0)
    status, data, _ = gateway.request("POST", "/api/v1/devices/cam4/clock", body, raw=raw)
    after = datetime.datetime.now()
    if expected == 400:
        assert status == 400 and data["error"]["stage"] == "bad-request", data
        assert sim.requests(3) == []
        return
    assert status == 200, data
    clock = sim.state(3)["clock"]
    if expected == "now":
        assert clock in (wire_clock(before), wire_clock(after))
        assert datetime.datetime.strptime(data["time"], "%Y-%m-%dT%H:%M:%S") in (before, after.replace(microsecond=0))
    else:
        assert clock == expected and data["time"] == body["time"]


def test_moves_renew_the_lease_and_a_stop_ends_it(gateway, sim):
    sim.call("clear-requests", device=2)
    status, data, _ = gateway.request("POST", "/api/v1/devices/cam3/ptz/move",
                                      {"axis": "zoom", "direction": -1, "seconds": 60})
    assert status == 200 and data["leaseSeconds"] == 2.0  # never more than 2 s
    assert gateway.request("POST", "/api/v1/devices/cam3/ptz/stop")[0] == 200
    time.sleep(2.3)  # past the lease: the explicit stop released it, so no second stop comes
    assert sim.ptz_actions(2) == [8, PTZ_STOP]


@pytest.mark.parametrize(
    "path, raw",
    [
        ("/api/v1/devices/cam5/config/apply", '{"video_ports": {"0": {"encoder": {"bitrate": 1024}}}'),
        ("/api/v1/devices/cam5/config/apply", '{"video_ports": {"0": {"encoder": {"bitrate": "1024"}}}}'),
        ("/api/v1/devices/cam5/config/apply", '{"video_ports": {"0": {"encoder": {"speed": 3}}}}'),
        ("/api/v1/devices/cam5/config/apply", '{"video_ports": {"0": {"caption": {"caption": "a-b"}}}}'),
        ("/api/v1/devices/cam5/config/plan", '[1, 2]'),
        ("/api/v1/fleet/config/apply", '{"ids": ["cam5"], "document": {"serial": {"baud": 0}}}'),
        ("/api/v1/fleet/config/apply", '{"ids": "cam5", "document": {}}'),
        ("/api/v1/devices/cam5/ptz/move", '{"axis": "roll", "direction": 1}'),
        ("/api/v1/devices/cam5/ptz/move", '{"axis": "pan", "direction": 0}'),
        ("/api/v1/devices/cam5/ptz/move", '{"axis": "pan", "direction": 1, "seconds": -1}'),
        ("/api/v1/devices/cam5/ptz/move", ''),
        ("/api/v1/devices/cam5/config?ports=0-x", None),
    ],
)
def test_bad_input_is_refused_with_nothing_sent(gateway, sim, path, raw):
    sim.call("clear-requests", device=4)
    method = "GET" if raw is None else "POST"
    status, data, _ = gateway.request(method, path, raw=raw)
    assert status == 400, data
    assert data["error"]["stage"] in ("bad-request", "document-refused")
    assert set(data["error"]) == {"stage", "message", "status"}
    assert sim.requests(4) == []


def test_captions_travel_in_the_devices_code_page_and_survive_a_backup(gateway, sim):
    path = "/api/v1/devices/cam7/config"
    caption = {"video_ports": {"0": {"caption": {"caption": "南门 入口"}}}}
    status, data, _ = gateway.request("POST", path + "/apply", caption)
    assert status == 200, data
    wire = "".join(f"\\x{b:02X}" if b >= 0x80 else chr(b) for b in "南门 入口".encode("gbk"))
    assert sim.state(6)["videoPorts"][0]["overlay"]["caption"] == wire  # cam7 is the seventh device
    status, document, _ = gateway.request("GET", path, token=READ)
    assert document["video_ports"]["0"]["caption"]["caption"] == "南门 入口"
    # Bytes that are no text in code page 936 come back as they are, and a plan against the
    # backup that holds them has nothing to change.
    bytes_only = {"video_ports": {"0": {"caption": {"caption": {"hex": "6f6bff"}}}}}
    status, data, _ = gateway.request("POST", path + "/apply", bytes_only)
    assert status == 200, data
    status, document, _ = gateway.request("GET", path, token=READ)
    assert document["video_ports"]["0"]["caption"]["caption"] == {"hex": "6f6bff"}
    status, plan, _ = gateway.request("POST", path + "/plan", document, token=READ)
    assert status == 200 and plan["changes"] == [], plan


def test_a_slow_device_holds_up_nobody_else(gateway, sim):
    sim.call("set-fault", device=5, command=45, fault={"kind": "no-reply"})
    try:
        slow = {}
        thread = threading.Thread(target=lambda: slow.update(r=gateway.request("GET", "/api/v1/devices/cam6/config")))
        thread.start()
        time.sleep(0.1)
        for device in ("cam7", "cam8", "cam9"):
            assert gateway.request("GET", f"/api/v1/devices/{device}/config")[0] == 200
        assert thread.is_alive()  # the slow device is still waiting for its login reply
        thread.join(30)
        assert slow["r"][0] == 502 and slow["r"][1]["error"]["stage"] == "reply-timed-out"
    finally:
        sim.call("clear-fault", device=5, command=45)


def test_64_clients_on_16_devices_lose_nothing(gateway, sim):
    for device in range(16):
        sim.call("clear-requests", device=device)
    failures = []
    lock = threading.Lock()

    def client(n):
        device = f"cam{n % 16 + 1}"
        bitrate = 1000 + n
        wanted = {"video_ports": {"0": {"encoder": {"bitrate": bitrate}}}}
        try:
            status, data, _ = gateway.request("POST", f"/api/v1/devices/{device}/config/apply", wanted)
            # Read back under the device's own turn: another client's write cannot slip between.
            assert status == 200 and "video_ports.0.encoder.bitrate" in data["verified"] and not data["failed"], data
            status, data, _ = gateway.request("POST", f"/api/v1/devices/{device}/ptz/move",
                                              {"axis": "tilt", "direction": 1, "seconds": 2})
            assert status == 200, data
            status, data, _ = gateway.request("GET", f"/api/v1/devices/{device}/config")
            assert status == 200 and 1000 <= data["video_ports"]["0"]["encoder"]["bitrate"] < 1064, data
        except Exception as e:  # noqa: BLE001 - collected and reported below
            with lock:
                failures.append(f"{device}: {e}")

    threads = [threading.Thread(target=client, args=(n,)) for n in range(64)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    assert failures == []
    for device in range(16):
        assert sim.ptz_actions(device).count(1) == 4  # every client's move arrived
        gateway.request("POST", f"/api/v1/devices/cam{device + 1}/ptz/stop")


def test_devices_are_added_and_removed(gateway, sim):
    row = sim.rows[10]
    new = {"id": "extra", "name": "Extra", "host": "127.0.0.1", "port": int(row["port"]), "password": PASSWORD}
    status, data, _ = gateway.request("POST", "/api/v1/devices", new)
    assert status == 201 and data["id"] == "extra" and "password" not in data
    assert gateway.request("POST", "/api/v1/devices", new)[0] == 409
    assert gateway.request("GET", "/api/v1/devices/extra/config")[0] == 200
    assert gateway.request("DELETE", "/api/v1/devices/extra")[0] == 204
    assert gateway.request("GET", "/api/v1/devices/extra/config")[0] == 404
    status, data, _ = gateway.request("POST", "/api/v1/devices", {"host": "127.0.0.1", "port": 65000})
    assert status == 201 and data["id"] == "127.0.0.1:65000"
    assert gateway.request("DELETE", "/api/v1/devices/127.0.0.1:65000")[0] == 204


def test_openapi_is_valid_and_names_every_route(gateway):
    status, document, _ = gateway.request("GET", "/openapi.json", token=None)
    assert status == 200
    with open(os.path.join(HERE, "openapi-3.0", "schema.json")) as f:
        validator = jsonschema.Draft4Validator(json.load(f))
    validator.validate(document)
    broken = dict(document, paths={"/x": {"get": {"responses": {"200": {}}}}})
    assert not validator.is_valid(broken)  # the validator does look at the operations
    routes = subprocess.run([GATEWAY, "--list-routes"], capture_output=True, text=True, check=True).stdout.split("\n")
    served = set()
    for line in filter(None, routes):
        method, path, role = line.split()
        operation = document["paths"].get(path, {}).get(method.lower())
        assert operation is not None, f"{method} {path} is not described"
        assert operation["x-vmlcmd-role"] == role, f"{method} {path}"
        served.add((method.lower(), path))
    described = {(m, p) for p, item in document["paths"].items() for m in item if m != "parameters"}
    assert described == served


@pytest.mark.skipif(shutil.which("openssl") is None, reason="no openssl to make a certificate")
def test_tls_with_a_certificate(sim, workdir):
    cert, key = os.path.join(workdir, "cert.pem"), os.path.join(workdir, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                    "-days", "1", "-keyout", key, "-out", cert], check=True, capture_output=True)
    gateway = Gateway([dict(sim.rows[0], name="cam1")], workdir, ("--tls-cert", cert, "--tls-key", key))
    try:
        context = ssl.create_default_context(cafile=cert)
        context.check_hostname = False
        connection = http.client.HTTPSConnection("127.0.0.1", gateway.port, context=context, timeout=10)
        connection.request("GET", "/api/v1/devices", headers={"Authorization": "Bearer " + READ})
        response = connection.getresponse()
        assert response.status == 200 and json.loads(response.read())[0]["id"] == "cam1"
    finally:
        gateway.close()


@pytest.mark.parametrize(
    "tokens, problem",
    [
        ("write short\n", "shorter than 16"),
        ("admin 0123456789abcdef0123\n", "unknown role"),
        ("read\n", "without a token"),
        ("read alice 0123456789abcdef0123 extra\n", "more than a role, a name and a token"),
        ("read al/ice 0123456789abcdef0123\n", "a name may hold only"),
        ("read alice 0123456789abcdef0123\nwrite alice 0123456789abcdef0124\n", "listed twice"),
        ("read 0123456789abcdef0123\nwrite 0123456789abcdef0123\n", "listed twice"),
        ("# nothing\n\n", "no tokens"),
    ],
)
def test_a_bad_tokens_file_stops_the_start(workdir, tokens, problem):
    path = os.path.join(workdir, "bad-tokens")
    with open(path, "w") as f:
        f.write(tokens)
    inventory = os.path.join(workdir, "one.csv")
    with open(inventory, "w") as f:
        f.write("host,port\n127.0.0.1,9\n")
    run = subprocess.run([GATEWAY, "--inventory", inventory, "--tokens", path, "--listen", "127.0.0.1:0"],
                         capture_output=True, text=True, timeout=10)
    assert run.returncode == 2 and problem in run.stderr
    assert "0123456789abcdef0123" not in run.stderr


def test_what_clients_send_cannot_grow_the_metrics(gateway):
    for i in range(3):
        gateway.request(f"BREW{i}", f"/no/such/{i}", token=None)
    metrics = gateway.request("GET", "/metrics", token=METRICS)[2]
    assert "BREW" not in metrics and "/no/such" not in metrics
    assert 'method="other",route="other"' in metrics


def test_probes_tell_up_and_down_before_anybody_calls(sim, workdir):
    probed = 14  # a device no other test of this module uses
    directory = os.path.join(workdir, "probes")
    os.makedirs(directory, exist_ok=True)
    rows = [dict(sim.rows[probed], name="probed"), {"name": "gone", "host": "127.0.0.1", "port": dead_port()}]
    g = Gateway(rows, directory, extra=("--probe-interval", "0.2"))

    def devices():
        return {d["id"]: d for d in g.request("GET", "/api/v1/devices", token=READ)[1]}

    try:
        assert wait_for(lambda: [d["state"] for d in devices().values()] == ["up", "down"])
        listed = devices()
        assert listed["probed"]["last"] is None  # nobody called it: the probe alone knows
        assert listed["probed"]["health"]["versions"]["bsp"] > 0
        assert listed["gone"]["health"]["failure"]["stage"] == "connect-refused"
        sim.call("stop-listening", device=probed)
        assert wait_for(lambda: devices()["probed"]["state"] == "down")
        metrics = g.request("GET", "/metrics", token=METRICS)[2]
        assert 'vmlcmd_device_up{device="probed"} 0' in metrics
        assert 'vmlcmd_device_probe_failures_total{device="probed",stage="connect-refused"}' in metrics
        assert PASSWORD not in metrics and "admin" not in metrics
        sim.call("start-listening", device=probed)
        assert wait_for(lambda: devices()["probed"]["state"] == "up")
        since = devices()["probed"]["since"]
        time.sleep(0.5)  # more probes, all up: the state's start stays where it was
        assert devices()["probed"]["since"] == since
    finally:
        sim.call("start-listening", device=probed)
        g.close()


def test_every_change_is_audited_with_who_before_and_after(sim, workdir):
    directory = os.path.join(workdir, "audit")
    os.makedirs(directory, exist_ok=True)
    trail = os.path.join(directory, "audit.jsonl")
    g = Gateway([dict(sim.rows[13], name="cam")], directory, extra=("--audit", trail))
    try:
        wanted = {"video_ports": {"0": {"encoder": {"bitrate": 1111}}}}
        before = g.request("GET", "/api/v1/devices/cam/config", token=READ)[1]["video_ports"]["0"]["encoder"]["bitrate"]
        assert g.request("POST", "/api/v1/devices/cam/config/apply", wanted)[0] == 200
        assert g.request("POST", "/api/v1/fleet/config/apply", {"ids": ["cam"], "document": wanted})[0] == 200
        assert g.request("POST", "/api/v1/devices/cam/ptz/move", {"axis": "pan", "direction": 1})[0] == 200
        assert g.request("POST", "/api/v1/devices/cam/ptz/stop")[0] == 200
        assert g.request("POST", "/api/v1/devices/cam/clock", {"time": "2026-12-10T08:00:00"})[0] == 200
        added = {"id": "extra", "host": "127.0.0.1", "port": 9, "password": "s3cret"}
        assert g.request("POST", "/api/v1/devices", added)[0] == 201
        assert g.request("DELETE", "/api/v1/devices/extra")[0] == 204
        assert g.request("GET", "/api/v1/devices/cam/config", token=READ)[0] == 200  # a read is no change

        with open(trail) as f:
            text = f.read()
        records = [json.loads(line) for line in text.splitlines()]
        assert [r["operation"] for r in records] == [
            "config.apply", "fleet.config.apply", "ptz.move", "ptz.stop", "clock", "device.add", "device.remove"]
        apply = records[0]
        assert apply["who"] == "alice" and apply["role"] == "write" and apply["address"] == "127.0.0.1"
        assert apply["device"] == "cam" and apply["result"] == "ok" and apply["time"].endswith("Z")
        assert apply["before"] == {"video_ports.0.encoder.bitrate": before}
        assert apply["after"] == {"video_ports.0.encoder.bitrate": 1111}
        assert records[1]["before"] == {} and records[1]["after"] == {}  # already so: nothing changed
        for secret in (PASSWORD, "s3cret", WRITE, READ, METRICS):
            assert secret not in text

        status, served, _ = g.request("GET", "/api/v1/audit?device=cam&limit=2", token=READ)
        assert status == 200 and [r["operation"] for r in served["records"]] == ["ptz.stop", "clock"]
        since = records[5]["at"]
        served = g.request("GET", f"/api/v1/audit?since={since}", token=READ)[1]["records"]
        assert [r["operation"] for r in served] == ["device.add", "device.remove"]
        assert g.request("GET", "/api/v1/audit?limit=-1", token=READ)[0] == 400

        # The stop the gateway sends itself at a lease's end is recorded as its own.
        assert g.request("POST", "/api/v1/devices/cam/ptz/move", {"axis": "tilt", "direction": -1, "seconds": 0.1})[0] == 200

        def lease_stop():
            newest = g.request("GET", "/api/v1/audit?device=cam&limit=1", token=READ)[1]["records"]
            return newest and newest[0]["operation"] == "ptz.stop" and newest[0]
        assert wait_for(lease_stop)
        stop = lease_stop()
        assert stop["who"] == "gateway" and stop["result"] == "ok" and stop["detail"]["why"] == "the lease ended"
    finally:
        g.close()


def test_the_device_list_outlives_a_restart(sim, workdir):
    directory = os.path.join(workdir, "persist")
    os.makedirs(directory, exist_ok=True)
    g = Gateway([dict(sim.rows[12], name="first")], directory)
    try:
        assert g.request("POST", "/api/v1/devices", {"id": "added", "host": "127.0.0.1", "port": 9,
                                                     "textEncoding": "utf-8"})[0] == 201
        assert g.request("DELETE", "/api/v1/devices/first")[0] == 204
    finally:
        g.close()
    g = Gateway(None, directory)  # the same inventory file, as the first one left it
    try:
        listed = g.request("GET", "/api/v1/devices", token=READ)[1]
        assert [(d["id"], d["port"], d["textEncoding"]) for d in listed] == [("added", 9, "utf-8")]
    finally:
        g.close()


def test_an_inventory_that_cannot_be_written_refuses_list_changes(sim, workdir):
    directory = os.path.join(workdir, "read-only")
    os.makedirs(directory, exist_ok=True)
    # Its temporary file cannot be made, even by root: a directory is in the way.
    os.makedirs(os.path.join(directory, "inventory.csv.new"), exist_ok=True)
    g = Gateway([dict(sim.rows[12], name="only")], directory)
    try:
        status, data, _ = g.request("POST", "/api/v1/devices", {"host": "127.0.0.1", "port": 9})
        assert status == 409 and data["error"]["stage"] == "inventory-not-writable"
        assert g.request("DELETE", "/api/v1/devices/only")[0] == 409
        assert [d["id"] for d in g.request("GET", "/api/v1/devices", token=READ)[1]] == ["only"]
        assert "cannot be written" in g.log_text()
    finally:
        g.close()


def test_a_desired_configuration_reports_drift_and_is_never_applied(sim, workdir):
    directory = os.path.join(workdir, "desired")
    os.makedirs(directory, exist_ok=True)
    device = 11
    g = Gateway([dict(sim.rows[device], name="cam")], directory)
    wanted = {"video_ports": {"0": {"encoder": {"bitrate": 2222}}}}
    try:
        assert g.request("PUT", "/api/v1/devices/cam/desired", wanted, token=READ)[0] == 403
        status, data, _ = g.request("PUT", "/api/v1/devices/cam/desired", wanted)
        assert status == 200, data
        assert data["drift"]["fields"] == 1 and data["drift"]["paths"] == ["video_ports.0.encoder.bitrate"]
        assert sim.state(device)["videoPorts"][0]["encoder"]["bitrate"] != 2222  # reported, not applied
        assert 'vmlcmd_device_config_drift{device="cam"} 1' in g.request("GET", "/metrics", token=METRICS)[2]
        bad = g.request("PUT", "/api/v1/devices/cam/desired", {"video_ports": {"0": {"encoder": {"bitrate": "x"}}}})
        assert bad[0] == 400 and g.request("GET", "/api/v1/devices/cam/desired", token=READ)[1]["document"] == wanted
    finally:
        g.close()
    g = Gateway(None, directory)  # registered documents outlive a restart
    try:
        assert g.request("GET", "/api/v1/devices/cam/desired", token=READ)[1]["document"] == wanted
        assert g.request("POST", "/api/v1/devices/cam/config/apply", wanted)[0] == 200
        assert g.request("POST", "/api/v1/devices/cam/probe", token=READ)[0] == 200
        assert g.request("PUT", "/api/v1/devices/cam/desired", wanted)[1]["drift"]["fields"] == 0
        assert g.request("DELETE", "/api/v1/devices/cam/desired")[0] == 204
        assert g.request("GET", "/api/v1/devices", token=READ)[1][0]["drift"] is None
    finally:
        g.close()


def test_groups_and_documents_named_in_the_inventory(sim, workdir):
    directory = os.path.join(workdir, "groups")
    os.makedirs(directory, exist_ok=True)
    rows = [sim.rows[10], sim.rows[9], sim.rows[8]]
    with open(os.path.join(directory, "lobby-a.json"), "w") as f:
        json.dump({"video_ports": {"0": {"encoder": {"bitrate": 3333}}}}, f)
    with open(os.path.join(directory, "inventory.csv"), "w") as f:
        f.write("name,host,port,user,password,video-port,group,desired\n")
        for name, group, desired, row in zip(["a", "b", "c"], ["lobby", "lobby", "yard"], ["lobby-a.json", "", ""], rows):
            f.write(f"{name},{row['host']},{row['port']},admin,{PASSWORD},0,{group},{desired}\n")
    wanted = {"video_ports": {"0": {"encoder": {"frame_rate": 7}}}}
    g = Gateway(None, directory)
    try:
        def listed():
            return {d["id"]: d for d in g.request("GET", "/api/v1/devices", token=READ)[1]}
        # The inventory's document is planned at start, without being registered.
        assert wait_for(lambda: (listed()["a"]["drift"] or {}).get("fields") == 1)
        assert listed()["a"]["drift"]["source"] == "inventory" and listed()["a"]["group"] == "lobby"
        status, data, _ = g.request("PUT", "/api/v1/groups/lobby/desired", wanted)
        assert status == 409 and data["error"]["stage"] == "desired-in-inventory"
        assert g.request("PUT", "/api/v1/groups/nobody/desired", wanted)[0] == 404
        added = {"id": "d", "host": "127.0.0.1", "port": 9, "group": "yard"}
        assert g.request("POST", "/api/v1/devices", added)[0] == 201
        status, data, _ = g.request("PUT", "/api/v1/groups/yard/desired", wanted)
        assert status == 200 and [d["id"] for d in data["devices"]] == ["c", "d"]
        assert data["devices"][1]["drift"]["error"]  # d cannot be reached: the plan says why
    finally:
        g.close()
    g = Gateway(None, directory)  # the groups, the inventory's document and the registered ones, again
    try:
        listed = {d["id"]: d for d in g.request("GET", "/api/v1/devices", token=READ)[1]}
        assert [(i, d["group"]) for i, d in listed.items()] == [("a", "lobby"), ("b", "lobby"), ("c", "yard"), ("d", "yard")]
        assert g.request("GET", "/api/v1/devices/c/desired", token=READ)[1]["document"] == wanted
        assert g.request("GET", "/api/v1/devices/a/desired", token=READ)[1]["document"]["video_ports"]["0"]["encoder"]["bitrate"] == 3333
    finally:
        g.close()
    with open(os.path.join(directory, "lobby-a.json"), "w") as f:
        f.write('{"video_ports": {"0": {"encoder": {"bitrate": "fast"}}}}')
    run = subprocess.run([GATEWAY, "--inventory", os.path.join(directory, "inventory.csv"), "--tokens", os.path.join(directory, "tokens")],
                         capture_output=True, text=True, timeout=30)
    assert run.returncode == 2 and "lobby-a.json" in run.stderr
