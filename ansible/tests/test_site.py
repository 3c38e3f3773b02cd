"""The site playbook and template of docs/ansible.md, as they stand there, against simulated
devices whose account is in an encrypted vault file: --check --diff first, then for real,
then again."""

import json
import pathlib
import re
import subprocess

import vmlcmd

from conftest import ansible_env

DOC = pathlib.Path(__file__).resolve().parents[2] / "docs" / "ansible.md"


def block(first_line):
    """The fenced block of the doc whose first line is first_line."""
    for body in re.findall(r"```[a-z]*\n(.*?)```", DOC.read_text(encoding="utf-8"), re.S):
        if body.splitlines()[0].strip() == first_line:
            return body
    raise AssertionError("docs/ansible.md has no block starting %r" % first_line)


def test_site_playbook_of_the_docs(ansible, simulator, tmp_path):
    sim = simulator(devices=3, accounts=[("operator", "s3cret")])
    (tmp_path / "site.yml").write_text(block("# site.yml"), encoding="utf-8")
    (tmp_path / "templates").mkdir()
    (tmp_path / "templates" / "camera.json.j2").write_text(block("{# templates/camera.json.j2 #}"), encoding="utf-8")
    north = tmp_path / "inventories" / "north"
    (north / "group_vars" / "all").mkdir(parents=True)
    (north / "fleet.csv").write_text(
        "name,host,port\n" + "".join("cam-north-%d,127.0.0.1,%d\n" % (i, d.port) for i, d in enumerate(sim.devices)))
    inventory_file = block("# inventories/north/fleet.vmlcmd.yml")
    (north / "fleet.vmlcmd.yml").write_text(inventory_file, encoding="utf-8")
    (north / "group_vars" / "gates.yml").write_text("camera_bitrate: 2048\n")
    vault_password = tmp_path / "vault-north"
    vault_password.write_text("correct horse\n")
    vault = north / "group_vars" / "all" / "vault.yml"
    vault.write_text("vmlcmd_user: operator\nvmlcmd_password: s3cret\n")
    env = ansible_env(ansible.home, ansible.collections)
    encrypt = subprocess.run(["/usr/bin/ansible-vault", "encrypt", "--vault-password-file", str(vault_password), str(vault)],
                             capture_output=True, text=True, env=env, timeout=60)
    assert encrypt.returncode == 0 and "s3cret" not in vault.read_text(), encrypt.stderr

    def site(*args):
        return subprocess.run(
            ["/usr/bin/ansible-playbook", "-i", str(north / "fleet.vmlcmd.yml"), "site.yml",
             "--vault-password-file", str(vault_password), *args],
            capture_output=True, text=True, cwd=tmp_path, env=env, timeout=180)

    before = [d.state for d in sim.devices]
    check = site("--check", "--diff")
    assert check.returncode == 0, check.stdout + check.stderr
    assert "+video_ports.0.caption.caption: \"cam north 1\"" in check.stdout
    assert "+video_ports.0.encoder.bitrate: 1024" in check.stdout
    assert [d.state for d in sim.devices] == before
    assert not (tmp_path / "backup").exists()
    assert "s3cret" not in check.stdout

    first = site()
    assert first.returncode == 0, first.stdout + first.stderr
    for i, device in enumerate(sim.devices):
        backup = json.loads((tmp_path / "backup" / ("cam-north-%d.json" % i)).read_text(encoding="utf-8"))
        with device.device(user="operator", password="s3cret") as camera:
            now = camera.read_config([0])
        assert backup["video_ports"]["0"]["encoder"]["bitrate"] == 512  # taken before the template
        port = now["video_ports"]["0"]
        assert port["caption"] == {"show": True, "position": 1, "caption": "cam north %d" % i}
        assert port["clock_overlay"] == {"show": True, "position": 8}
        # The doc's inventory puts cam-north-1 and cam-north-2 in the group gates.
        assert port["encoder"]["bitrate"] == (2048 if i in (1, 2) else 1024)

    again = site()
    assert again.returncode == 0, again.stdout
    # The backup now holds the template's values (a change of the file); the devices none.
    applied = again.stdout.split("TASK [Apply the site's template]")[1].split("TASK [")[0]
    assert applied.count("ok: [cam-north-") == 3 and "changed:" not in applied, applied
