#!/usr/bin/env python3
"""Wall time of a merged play changing one field on N simulated devices, against vmlctl
--inventory ... config apply of the same change at the same parallelism.

Not a test: run it by hand on a quiet machine, with the collection installed or built:

    PYTHONPATH=build/default/python python3 ansible/bench/merged_play.py \
        --napi-sim build/default/sim/napi-sim --vmlctl build/default/tools/vmlctl \
        --tarball build/default/ansible/vmlcmd-devices-0.1.0.tar.gz

Every run changes the bitrate of video port 0 on every device (to a value the run before did
not leave), so each one does the full work: read, write, read back. Besides the plays with the
module, a play with a debug task alone (no module is run) measures what Ansible itself spends
per host, and the import of vmlcmd what each module run spends before its first request.
"""

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

PLAY = """
- hosts: all
  gather_facts: false
  tasks:
    - vmlcmd.devices.config:
        config: {video_ports: {"0": {encoder: {bitrate: %d}}}}
"""

DEBUG_PLAY = """
- hosts: all
  gather_facts: false
  tasks:
    - ansible.builtin.debug: {msg: "{{ vmlcmd_port }}"}
"""


def timed(command, env=None, cwd=None):
    start = time.monotonic()
    run = subprocess.run(command, env=env, cwd=cwd, capture_output=True, text=True)
    elapsed = time.monotonic() - start
    if run.returncode != 0:
        sys.exit("failed: %s\n%s%s" % (" ".join(command), run.stdout[-3000:], run.stderr[-3000:]))
    return elapsed, run.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--devices", type=int, default=200)
    parser.add_argument("--forks", type=int, nargs="+", default=[20, 50])
    parser.add_argument("--napi-sim", required=True)
    parser.add_argument("--vmlctl", required=True)
    parser.add_argument("--tarball", required=True)
    args = parser.parse_args()

    work = pathlib.Path(tempfile.mkdtemp(prefix="vmlcmd-bench-"))
    sim = subprocess.Popen([args.napi_sim, "--devices", str(args.devices), "--inventory-out", str(work / "fleet.csv")],
                           stdout=subprocess.PIPE, text=True)
    try:
        sim.stdout.readline()
        (work / "fleet.vmlcmd.yml").write_text("plugin: vmlcmd.devices.inventory\npath: fleet.csv\n")
        env = dict(os.environ, ANSIBLE_HOME=str(work / "home"), ANSIBLE_LOCAL_TEMP=str(work / "tmp"),
                   ANSIBLE_NOCOLOR="1", ANSIBLE_COLLECTIONS_PATH=str(work / "collections"))
        timed(["ansible-galaxy", "collection", "install", "--offline", "-p", str(work / "collections"), args.tarball],
              env=env)
        bitrate = [1000]

        def next_document():
            bitrate[0] += 8
            return bitrate[0]

        rows = []

        def ansible(label, forks, extra_env=None, play=None):
            text = play if play is not None else PLAY % next_document()
            (work / "play.yml").write_text(text)
            e = dict(env, **(extra_env or {}))
            elapsed, out = timed(["ansible-playbook", "-i", "fleet.vmlcmd.yml", "--forks", str(forks), "play.yml"],
                                 env=e, cwd=work)
            if play is None:
                changed = sum(1 for line in out.splitlines() if " changed=1 " in line)
                assert changed == args.devices, "%d of %d changed:\n%s" % (changed, args.devices, out[-2000:])
            rows.append((label, forks, elapsed))

        def vmlctl(jobs):
            document = work / "doc.json"
            document.write_text('{"video_ports": {"0": {"encoder": {"bitrate": %d}}}}' % next_document())
            elapsed, _ = timed([args.vmlctl, "--inventory", str(work / "fleet.csv"), "--jobs", str(jobs),
                                "config", "apply", "--summary", str(document)])
            rows.append(("vmlctl config apply --jobs", jobs, elapsed))

        for forks in args.forks:
            vmlctl(forks)
            ansible("ansible-playbook, linear", forks)
            ansible("ansible-playbook, linear, pipelining", forks, {"ANSIBLE_PIPELINING": "1"})
            ansible("ansible-playbook, free, pipelining", forks,
                    {"ANSIBLE_PIPELINING": "1", "ANSIBLE_STRATEGY": "free"})
            ansible("ansible-playbook, debug task only (no module)", forks, play=DEBUG_PLAY)

        imports = []
        for _ in range(5):
            elapsed, _ = timed([sys.executable, "-c", "import vmlcmd"])
            imports.append(elapsed)
        bare = []
        for _ in range(5):
            elapsed, _ = timed([sys.executable, "-c", "pass"])
            bare.append(elapsed)

        print("%d devices, one field changed on each, %d cores" % (args.devices, os.cpu_count()))
        print("| run | forks/jobs | wall s | ms per device |")
        print("|---|---|---|---|")
        for label, forks, elapsed in rows:
            print("| %s | %d | %.1f | %.0f |" % (label, forks, elapsed, elapsed * 1000 / args.devices))
        print("python3 start: %.0f ms; start and import vmlcmd: %.0f ms (best of 5)" % (
            min(bare) * 1000, min(imports) * 1000))
    finally:
        sim.terminate()
        sim.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
