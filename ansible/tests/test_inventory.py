"""The inventory plugin on napi-sim's own inventory file, and its refusals of bad rows, which
must be vmlctl's word for word."""

import json
import os
import re
import subprocess

import pytest

from conftest import ansible_env, results

ANSIBLE_INVENTORY = "/usr/bin/ansible-inventory"


@pytest.fixture
def napi_sim(tmp_path):
    """napi-sim with four devices, one of them keeping its texts in UTF-8 ... as napi-sim writes
    its inventory (name,host,port,user,password,video-port)."""
    path = os.environ.get("NAPI_SIM")
    if not path:
        pytest.fail("NAPI_SIM names the napi-sim to run (ctest sets it)")
    csv = tmp_path / "sim.csv"
    process = subprocess.Popen([path, "--devices", "4", "--inventory-out", str(csv)], stdout=subprocess.PIPE, text=True)
    try:
        assert process.stdout.readline().startswith("napi-sim listening on")
        yield csv
    finally:
        process.terminate()
        process.wait(timeout=10)


def inventory_list(ansible, config):
    run = subprocess.run([ANSIBLE_INVENTORY, "-i", str(config), "--list"], capture_output=True, text=True,
                         env=ansible_env(ansible.home, ansible.collections), timeout=60)
    return run


def test_hosts_vars_and_groups_from_napi_sim_inventory(ansible, napi_sim, tmp_path):
    rows = [line.split(",") for line in napi_sim.read_text().splitlines()[1:]]
    config = ansible.write("sim.vmlcmd.yml", """
plugin: vmlcmd.devices.inventory
path: sim.csv
credentials: false
device_groups:
  pair: [sim-1, sim-2]
  odd: ["sim-[13]"]
keyed_groups:
  - key: vmlcmd_text_encoding
    prefix: encoding
""")
    run = inventory_list(ansible, config)
    assert run.returncode == 0, run.stderr
    listing = json.loads(run.stdout)
    hostvars = listing["_meta"]["hostvars"]
    assert sorted(hostvars) == sorted(row[0] for row in rows)
    for name, host, port, _user, _password, video_port in rows:
        v = hostvars[name]
        assert (v["vmlcmd_host"], v["vmlcmd_port"], v["vmlcmd_video_port"]) == (host, int(port), int(video_port))
        assert v["vmlcmd_text_encoding"] == "cp936" and v["ansible_connection"] == "local"
        assert "vmlcmd_password" not in v  # credentials: false leaves them to the vault
    assert sorted(listing["pair"]["hosts"]) == ["sim-1", "sim-2"]
    assert sorted(listing["odd"]["hosts"]) == ["sim-1", "sim-3"]
    assert len(listing["encoding_cp936"]["hosts"]) == 4

    # The variables are all a task needs to reach each device.
    run = ansible.play("""
- hosts: odd
  gather_facts: false
  vars: {vmlcmd_password: admin, vmlcmd_user: admin}
  tasks:
    - vmlcmd.devices.command: {name: get-bitrate}
""", config)
    assert run.returncode == 0, run.stdout
    assert {h: r["value"] for h, r in results(run).items()} == {"sim-1": 512, "sim-3": 512}


BAD_FILES = {
    "unknown column": "name,host,port,colour\nx,127.0.0.1,4000,red\n",
    "port out of range": "host,port\n127.0.0.1,4000\n127.0.0.1,99999\n",
    "password too long": "host,port,password\n127.0.0.1,4000,waytoolongpassword\n",
    "unknown text encoding": "host,port,text-encoding\n127.0.0.1,4000,latin9\n",
    "no port column": "host\n127.0.0.1\n",
}


@pytest.mark.parametrize("case", sorted(BAD_FILES))
def test_bad_rows_are_refused_as_vmlctl_refuses_them(ansible, tmp_path, case):
    (tmp_path / "bad.csv").write_text(BAD_FILES[case])
    config = ansible.write("bad.vmlcmd.yml", "plugin: vmlcmd.devices.inventory\npath: bad.csv\n")
    vmlctl = subprocess.run([os.environ["VMLCTL"], "--inventory", "bad.csv", "get-bitrate"], cwd=tmp_path,
                            capture_output=True, text=True, timeout=30)
    assert vmlctl.returncode == 64
    refusal = re.match(r"vmlctl: bad\.csv(:\d+)?: (.*); nothing was run$", vmlctl.stderr.strip())
    assert refusal, vmlctl.stderr
    run = inventory_list(ansible, config)
    assert run.returncode != 0
    # Ansible wraps its warnings at 80 columns, anywhere in a long path.
    words = re.sub(r"\s+", "", run.stderr)
    assert re.sub(r"\s+", "", "bad.csv%s: %s" % (refusal.group(1) or "", refusal.group(2))) in words, run.stderr
