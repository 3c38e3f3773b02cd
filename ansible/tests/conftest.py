"""Real ansible-playbook runs against simulated fleets, with the collection installed from the
tarball the build made, the way a controller installs it."""

import json
import os
import pathlib
import shutil
import socket
import subprocess
import sys

import pytest

import vmlcmd

SOURCE = pathlib.Path(__file__).resolve().parents[1] / "ansible_collections" / "vmlcmd" / "devices"
CALLBACKS = pathlib.Path(__file__).resolve().parent / "callback"
PLAYBOOK = shutil.which("ansible-playbook", path="/usr/bin:" + os.environ.get("PATH", ""))


@pytest.fixture(scope="session")
def home(tmp_path_factory):
    return tmp_path_factory.mktemp("ansible")


@pytest.fixture(scope="session")
def collections(home):
    """The collection installed offline from the build's tarball into a folder of its own."""
    tarball = os.environ.get("VMLCMD_ANSIBLE_TARBALL")
    if not tarball or not os.path.exists(tarball):
        pytest.fail("VMLCMD_ANSIBLE_TARBALL names the built collection (ctest sets it)")
    target = home / "collections"
    run = subprocess.run(
        ["ansible-galaxy", "collection", "install", "--offline", "-p", str(target), tarball],
        capture_output=True, text=True, env=ansible_env(home, None), timeout=120,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    assert (target / "ansible_collections" / "vmlcmd" / "devices" / "plugins" / "modules" / "config.py").exists()
    return target


def ansible_env(home, collections, **extra):
    env = dict(os.environ)
    env.update(
        ANSIBLE_HOME=str(home),
        ANSIBLE_LOCAL_TEMP=str(home / "tmp"),
        ANSIBLE_NOCOLOR="1",
        ANSIBLE_FORCE_COLOR="0",
        ANSIBLE_RETRY_FILES_ENABLED="0",
        ANSIBLE_INVENTORY_UNPARSED_FAILED="1",
        ANSIBLE_PYTHON_INTERPRETER=sys.executable,
        ANSIBLE_DEPRECATION_WARNINGS="0",
        ANSIBLE_LOCALHOST_WARNING="0",
    )
    if collections is not None:
        env["ANSIBLE_COLLECTIONS_PATH"] = str(collections)
    env.update(extra)
    return env


class Runner:
    """ansible-playbook as a subprocess; results through the json callback unless asked."""

    def __init__(self, home, collections, tmp_path):
        self.home = home
        self.collections = collections
        self.tmp_path = tmp_path

    def write(self, name, text):
        path = self.tmp_path / name
        path.write_text(text, encoding="utf-8")
        return path

    def play(self, playbook, inventory=None, args=(), json_output=True, timeout=180, env=None):
        path = self.write("play.yml", playbook)
        command = [PLAYBOOK, str(path)]
        # No inventory: the controller alone, as for plays that contact no device.
        command += ["-i", str(inventory)] if inventory is not None else ["-i", "localhost,", "-c", "local"]
        command += list(args)
        extra = dict(env or {})
        if json_output:
            extra["ANSIBLE_STDOUT_CALLBACK"] = "results_json"
            extra["ANSIBLE_CALLBACK_PLUGINS"] = str(CALLBACKS)
        run = subprocess.run(
            command, capture_output=True, text=True, timeout=timeout, cwd=self.tmp_path,
            env=ansible_env(self.home, self.collections, **extra),
        )
        if json_output:
            try:
                run.json = json.loads(run.stdout)
            except ValueError:
                raise AssertionError("no JSON from ansible-playbook:\n" + run.stdout + run.stderr)
        return run


@pytest.fixture
def ansible(home, collections, tmp_path):
    return Runner(home, collections, tmp_path)


def results(run, task_index=0, play_index=0):
    """host -> result of one task of a json-callback run."""
    return run.json["plays"][play_index]["tasks"][task_index]["hosts"]


def closed_port():
    """A loopback port nothing listens on: a device that is switched off."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_inventory(path, rows, extra_columns=""):
    """A CSV inventory of (name, port[, extra]) rows on 127.0.0.1 and its plugin file."""
    lines = ["name,host,port" + ("," + extra_columns if extra_columns else "")]
    for row in rows:
        lines.append(",".join([row[0], "127.0.0.1", str(row[1])] + [str(v) for v in row[2:]]))
    csv = path.parent / (path.name + ".csv")
    csv.write_text("\n".join(lines) + "\n", encoding="utf-8")
    config = path.parent / (path.name + ".vmlcmd.yml")
    config.write_text("plugin: vmlcmd.devices.inventory\npath: %s\n" % csv.name, encoding="utf-8")
    return config


@pytest.fixture
def simulator():
    sims = []

    def start(devices=1, **options):
        sim = vmlcmd.Simulator(devices=devices, **options)
        sims.append(sim)
        return sim

    yield start
    for sim in sims:
        sim.stop()
