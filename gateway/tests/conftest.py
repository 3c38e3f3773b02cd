"""Fixtures of the gateway's tests: a napi-sim fleet in its own process, reached through its
control channel, and a vmlcmd-gateway process in front of it, both on 127.0.0.1."""

import json
import os
import re
import socket
import subprocess
import tempfile
import time
import http.client

import pytest

GATEWAY = os.environ.get("VMLCMD_GATEWAY", "vmlcmd-gateway")
NAPI_SIM = os.environ.get("NAPI_SIM", "napi-sim")
# The Windows builds of both programs run through Wine's loader (tests/windows).
LOADER = [os.environ["VMLCMD_TEST_LOADER"]] if os.environ.get("VMLCMD_TEST_LOADER") else []
WRITE = "write-token-0123456789abcdef"
READ = "read-token-0123456789abcdef00"
METRICS = "metrics-token-0123456789abcdef"
PASSWORD = "Pw#7x!q2"  # the simulated devices' password; it must never leave the gateway
PTZ_COMMAND = 60
PTZ_STOP = 12


def wait_for(predicate, timeout=5.0):
    """True once predicate() is, polling; its last answer after timeout seconds."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.02)
    return predicate()


def _read_line(stream, pattern, what, timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        line = stream.readline()
        if not line:
            break
        match = re.search(pattern, line)
        if match:
            return match
    raise RuntimeError(f"{what} did not start")


class Sim:
    """A napi-sim process with several devices, driven through its JSON-lines control channel."""

    def __init__(self, devices, directory):
        self.inventory = os.path.join(directory, "sim.csv")
        self.process = subprocess.Popen(
            [*LOADER, NAPI_SIM, "--devices", str(devices), "--control-port", "0", "--inventory-out", self.inventory,
             "--account", f"admin:{PASSWORD}", "--idle-timeout", "5", "--request-log", "100000"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        port = int(_read_line(self.process.stdout, r"control on 127\.0\.0\.1:(\d+)", "napi-sim").group(1))
        self.control = socket.create_connection(("127.0.0.1", port))
        self.reader = self.control.makefile("r")
        with open(self.inventory) as f:
            lines = [l.strip() for l in f if l.strip() and not l.startswith("#")]
        header = lines[0].split(",")
        self.rows = [dict(zip(header, l.split(","))) for l in lines[1:]]
        for row in self.rows:
            row["password"] = PASSWORD

    def call(self, op, **fields):
        self.control.sendall((json.dumps(dict(op=op, **fields)) + "\n").encode())
        reply = json.loads(self.reader.readline())
        assert reply.get("ok"), reply
        return reply

    def state(self, device=0):
        return self.call("state", device=device)["state"]

    def requests(self, device=0):
        out = []
        for r in self.call("requests", device=device)["requests"]:
            out.append((r["command"], bytes.fromhex(r["text"]).rstrip(b"\0").decode("latin-1")))
        return out

    def ptz_actions(self, device=0):
        return [int(text.split("-c ")[1]) for command, text in self.requests(device) if command == PTZ_COMMAND]

    def close(self):
        self.control.close()
        self.process.terminate()
        self.process.wait(10)


class Gateway:
    """A vmlcmd-gateway process; its request log is kept to check that no password reaches it."""

    def __init__(self, inventory_rows, directory, extra=()):
        self.directory = directory
        inventory = os.path.join(directory, "inventory.csv")
        # None: the inventory an earlier gateway of this directory left (a restart).
        with open(inventory, "w") if inventory_rows is not None else open(os.devnull, "w") as f:
            f.write("# test fleet\nname,host,port,user,password,video-port\n")
            for row in inventory_rows or ():
                f.write(f"{row['name']},{row['host']},{row['port']},{row.get('user', 'admin')},"
                        f"{row.get('password', PASSWORD)},{row.get('video-port', 0)}\n")
        tokens = os.path.join(directory, "tokens")
        with open(tokens, "w") as f:
            # The writer named, the reader in the older two-field form.
            f.write(f"# roles\nwrite alice {WRITE}\nread {READ}\nmetrics prometheus {METRICS}\n")
        self.log_path = os.path.join(directory, "gateway.log")
        self.log = open(self.log_path, "w")
        # No background probes unless a test asks: they would add requests to what tests count.
        probing = () if any(str(a).startswith("--probe-interval") for a in extra) else ("--probe-interval", "0")
        self.inventory = inventory
        self.process = subprocess.Popen(
            [*LOADER, GATEWAY, "--inventory", inventory, "--tokens", tokens, "--listen", "127.0.0.1:0", *probing,
             *extra],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        self.port = int(_read_line(self.process.stdout, r"listening on https?://127\.0\.0\.1:(\d+)/", "gateway").group(1))

    def request(self, method, path, body=None, token=WRITE, raw=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        all_headers = dict(headers or {})
        if token:
            all_headers["Authorization"] = "Bearer " + token
        data = raw if raw is not None else (json.dumps(body) if body is not None else None)
        connection.request(method, path, body=data, headers=all_headers)
        response = connection.getresponse()
        text = response.read().decode()
        connection.close()
        is_json = response.getheader("Content-Type", "").startswith("application/json")
        return response.status, (json.loads(text) if text and is_json else None), text

    def log_text(self):
        self.log.flush()
        with open(self.log_path) as f:
            return f.read()

    def close(self):
        self.process.terminate()
        assert self.process.wait(15) == 0
        self.log.close()


@pytest.fixture(scope="module")
def workdir():
    with tempfile.TemporaryDirectory() as directory:
        yield directory


@pytest.fixture(scope="module")
def sim(workdir):
    s = Sim(16, workdir)
    yield s
    s.close()


def dead_port():
    """A loopback port nothing listens on."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture(scope="module")
def gateway(sim, workdir):
    rows = [dict(row, name=f"cam{i + 1}") for i, row in enumerate(sim.rows)]
    rows.append({"name": "dead", "host": "127.0.0.1", "port": dead_port()})
    g = Gateway(rows, workdir)
    yield g
    g.close()
