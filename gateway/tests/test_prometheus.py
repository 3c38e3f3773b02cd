"""The gateway's /metrics and /probe as Prometheus sees them: a real Prometheus, configured from
the shipped example (monitoring/prometheus.yml) with its intervals shortened, scrapes a gateway
that probes a napi-sim fleet every second; the assertions go through Prometheus' own query API.
Then promtool's lint of the exposition, and who may read it."""

import json
import os
import re
import shutil
import socket
import subprocess
import time
import urllib.parse
import http.client

import pytest
import yaml

from conftest import METRICS, PASSWORD, READ, WRITE, Gateway, Sim, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
MONITORING = os.path.join(HERE, "..", "..", "monitoring")
PROMETHEUS = os.environ.get("PROMETHEUS", "/usr/bin/prometheus")
PROMTOOL = shutil.which("promtool")
PROBE_INTERVAL = 1.0
DEVICES = 3
# A sanitized gateway answers several times slower; the deadlines then leave room for it.
SLACK = 3.0 if os.environ.get("VMLCMD_SANITIZED") == "1" else 1.0


def not_run(reason):
    """Skips, and says so where scripts/test.sh collects what this machine could not run."""
    target = os.environ.get("VMLCMD_NOT_RUN_FILE")
    if target:
        with open(target, "a", encoding="utf-8") as f:
            f.write(reason + "\n")
    pytest.skip("NOT RUN: " + reason)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)(?: \d+)?$')
LABEL = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')


def samples(text):
    """(name, labels, value) of every sample line of a text exposition."""
    out = []
    for line in text.splitlines():
        if line and not line.startswith("#"):
            match = SAMPLE.match(line)
            assert match, line
            out.append((match.group(1), dict(LABEL.findall(match.group(2) or "")), float(match.group(3))))
    return out


def value(text, name, **labels):
    """The value of the one sample of name whose labels include labels, None when absent."""
    found = [v for n, l, v in samples(text) if n == name and labels.items() <= l.items()]
    assert len(found) <= 1, (name, labels, found)
    return found[0] if found else None


def names(sim):
    return [f"cam{i + 1}" for i in range(len(sim.rows))]


class Prometheus:
    """/usr/bin/prometheus scraping the gateway every second, from the example configuration."""

    def __init__(self, gateway, devices, directory):
        address = f"127.0.0.1:{gateway.port}"
        token_file = os.path.join(directory, "scrape.token")
        with open(token_file, "w") as f:
            f.write(METRICS + "\n")
        with open(os.path.join(MONITORING, "prometheus.yml")) as f:
            config = yaml.safe_load(f)
        config["global"].update(scrape_interval="1s", evaluation_interval="1s")
        config["rule_files"] = [os.path.join(MONITORING, "vmlcmd-alerts.yml")]
        jobs = {job["job_name"]: job for job in config["scrape_configs"]}
        for job in jobs.values():
            job.update(scrape_interval="1s", scrape_timeout="1s")
            job["authorization"]["credentials_file"] = token_file
        jobs["vmlcmd-gateway"]["static_configs"] = [{"targets": [address]}]
        probe = jobs["vmlcmd-devices"]
        assert probe["metrics_path"] == "/probe"
        probe["static_configs"] = [{"targets": devices}]
        (gateway_address,) = [r for r in probe["relabel_configs"] if r.get("target_label") == "__address__"]
        gateway_address["replacement"] = address
        path = os.path.join(directory, "prometheus.yml")
        with open(path, "w") as f:
            yaml.safe_dump(config, f)
        self.port = free_port()
        self.log = open(os.path.join(directory, "prometheus.log"), "w")
        self.process = subprocess.Popen(
            [PROMETHEUS, f"--config.file={path}", f"--storage.tsdb.path={os.path.join(directory, 'tsdb')}",
             f"--web.listen-address=127.0.0.1:{self.port}"],
            stdout=self.log, stderr=subprocess.STDOUT)
        assert wait_for(self.ready, timeout=30), "prometheus did not start"

    def get(self, path):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request("GET", path)
            response = connection.getresponse()
            return response.status, response.read().decode()
        finally:
            connection.close()

    def ready(self):
        try:
            return self.get("/-/ready")[0] == 200
        except OSError:
            return False

    def query(self, expression):
        """The instant vector of expression now: a list of (labels, value)."""
        status, body = self.get("/api/v1/query?" + urllib.parse.urlencode({"query": expression}))
        data = json.loads(body)
        assert status == 200 and data["status"] == "success", body
        return [(r["metric"], float(r["value"][1])) for r in data["data"]["result"]]

    def close(self):
        self.process.terminate()
        self.process.wait(15)
        self.log.close()


@pytest.fixture(scope="module")
def fleet(workdir):
    s = Sim(DEVICES, workdir)
    yield s
    s.close()


@pytest.fixture(scope="module")
def gateway(fleet, workdir):
    directory = os.path.join(workdir, "probing")
    os.mkdir(directory)
    rows = [dict(row, name=name) for row, name in zip(fleet.rows, names(fleet))]
    g = Gateway(rows, directory, extra=["--probe-interval", str(PROBE_INTERVAL)])
    yield g
    g.close()


@pytest.fixture(scope="module")
def public_gateway(fleet, workdir):
    directory = os.path.join(workdir, "public")
    os.mkdir(directory)
    rows = [dict(row, name=name) for row, name in zip(fleet.rows, names(fleet))]
    g = Gateway(rows, directory, extra=["--probe-interval", "0", "--metrics-public"])
    yield g
    g.close()


@pytest.fixture(scope="module")
def prometheus(gateway, fleet, workdir):
    if not os.access(PROMETHEUS, os.X_OK):
        not_run(f"{PROMETHEUS} is missing (Debian's prometheus): the gateway is not scraped by a real Prometheus")
    directory = os.path.join(workdir, "prometheus")
    os.mkdir(directory)
    p = Prometheus(gateway, names(fleet), directory)
    yield p
    p.close()


def scrape(gateway, path="/metrics", token=METRICS):
    status, _, text = gateway.request("GET", path, token=token)
    assert status == 200, text
    return text


def test_every_device_is_up_through_both_jobs(prometheus, fleet):
    devices = set(names(fleet))

    def up_in(job):
        return {labels["device"]: v for labels, v in prometheus.query(f'vmlcmd_device_up{{job="{job}"}}')}

    assert wait_for(lambda: up_in("vmlcmd-gateway") == dict.fromkeys(devices, 1.0), timeout=10 + SLACK), \
        up_in("vmlcmd-gateway")
    assert wait_for(lambda: up_in("vmlcmd-devices") == dict.fromkeys(devices, 1.0), timeout=5 + SLACK), \
        up_in("vmlcmd-devices")
    # One scrape per device, each labelled with the device it asked for and answering for it alone.
    for labels, _ in prometheus.query('vmlcmd_device_up{job="vmlcmd-devices"}'):
        assert labels["instance"] == labels["device"], labels
    assert {l["instance"]: v for l, v in prometheus.query('up{job="vmlcmd-devices"}')} == dict.fromkeys(devices, 1.0)
    assert [v for _, v in prometheus.query('up{job="vmlcmd-gateway"}')] == [1.0]


def test_a_device_that_stops_listening_is_down_within_two_probe_intervals(prometheus, gateway, fleet):
    began = time.time()
    fleet.call("stop-listening", device=1)
    try:
        assert wait_for(lambda: value(scrape(gateway), "vmlcmd_device_up", device="cam2") == 0,
                        timeout=2 * PROBE_INTERVAL + SLACK / 2)
        text = scrape(gateway)
        assert value(text, "vmlcmd_device_probe_failures_total", device="cam2", stage="connect-refused") >= 1
        assert value(text, "vmlcmd_device_state_change_timestamp_seconds", device="cam2") >= began - 1
        assert value(text, "vmlcmd_device_up", device="cam1") == 1  # the others stay up
        # Prometheus sees it at its next scrape of each job.
        assert wait_for(lambda: sorted(v for _, v in prometheus.query('vmlcmd_device_up{device="cam2"}')) == [0, 0],
                        timeout=2 + SLACK), prometheus.query('vmlcmd_device_up{device="cam2"}')
    finally:
        fleet.call("start-listening", device=1)
    assert wait_for(lambda: value(scrape(gateway), "vmlcmd_device_up", device="cam2") == 1,
                    timeout=2 * PROBE_INTERVAL + SLACK)


def test_the_exposition_passes_promtool_after_probes_and_requests(gateway, fleet):
    if not PROMTOOL:
        not_run("promtool is missing (Debian's prometheus): the gateway's /metrics is not linted")
    assert wait_for(lambda: value(scrape(gateway), "vmlcmd_device_up", device="cam3") is not None, timeout=5 + SLACK)
    for method, path, body, expected in [
            ("GET", "/api/v1/devices", None, 200),
            ("GET", "/api/v1/devices/cam1/config", None, 200),
            ("GET", "/api/v1/devices/no-such-device/config", None, 404),
            ("POST", "/api/v1/devices/cam1/ptz/move", {"axis": "pan", "direction": 1, "seconds": 0.5}, 200),
            ("POST", "/api/v1/devices/cam1/ptz/stop", None, 200),
            ("PUT", "/api/v1/devices/cam1/desired", {"video_ports": {"0": {"encoder": {"bitrate": 2222}}}}, 200)]:
        status, _, text = gateway.request(method, path, body, token=WRITE)
        assert status == expected, text
    text = scrape(gateway)
    checked = subprocess.run([PROMTOOL, "check", "metrics"], input=text, capture_output=True, text=True)
    assert checked.returncode == 0, checked.stdout + checked.stderr
    # Routes are labelled by their template: a label per device id would grow without bound.
    assert value(text, "vmlcmd_gateway_requests_total", route="/api/v1/devices/{id}/config", method="GET",
                 status="200") >= 1
    assert not [l for n, l, _ in samples(text) if "cam1" in l.get("route", "")]
    assert value(text, "vmlcmd_device_ptz_stops_sent_total", device="cam1") >= 1
    assert value(text, "vmlcmd_gateway_device_call_duration_seconds_count", kind="config.read") >= 1
    assert value(text, "vmlcmd_device_config_drift", device="cam1") == 1
    assert value(text, "vmlcmd_device_config_drift", device="cam2") is None  # no desired configuration
    # Every series the alert rules watch is one the gateway serves.
    with open(os.path.join(MONITORING, "vmlcmd-alerts.yml")) as f:
        rules = [rule for group in yaml.safe_load(f)["groups"] for rule in group["rules"]]
    watched = {name for rule in rules for name in re.findall(r"\bvmlcmd_[a-z_]+", rule["expr"])}
    assert watched - {n for n, _, _ in samples(text)} == set()
    for secret in (PASSWORD, METRICS, READ, WRITE):
        assert secret not in text


@pytest.mark.parametrize(
    "public, method, path, token, expected",
    [
        (False, "GET", "/healthz", None, 200),
        (False, "GET", "/metrics", None, 401),
        (False, "GET", "/probe?target=cam1", None, 401),
        (False, "GET", "/metrics", METRICS, 200),
        (False, "GET", "/metrics", READ, 200),
        (False, "GET", "/metrics", WRITE, 200),
        (False, "GET", "/probe?target=cam1", METRICS, 200),
        (False, "GET", "/probe?target=no-such-device", METRICS, 404),
        (False, "GET", "/api/v1/devices", METRICS, 403),
        (False, "GET", "/api/v1/devices/cam1/config", METRICS, 403),
        (False, "POST", "/api/v1/devices/cam1/ptz/stop", METRICS, 403),
        (True, "GET", "/metrics", None, 200),
        (True, "GET", "/probe?target=cam1", None, 200),
        (True, "GET", "/api/v1/devices", None, 401),
    ],
)
def test_who_may_read_metrics(request, public, method, path, token, expected):
    g = request.getfixturevalue("public_gateway" if public else "gateway")
    status, data, text = g.request(method, path, token=token)
    assert status == expected, text
    if path == "/healthz":
        assert data["status"] == "ok"
    if path.startswith("/probe") and status == 200:
        # The probe answers for its target alone.
        assert {l.get("device") for n, l, _ in samples(text) if n.startswith("vmlcmd_device_")} == {"cam1"}
