#!/usr/bin/env python3
"""The code blocks of README.md and docs/*.md: every one that is meant to run is built and run here
against a simulated device, and every quoted help text is compared with the tools'.

A fenced block's info string is its language, then words:

References written whole by a generator (a "<!-- Generated" comment at the top) are left out.

  run          the suite builds and runs it (cpp, c, python, go, csharp, sh)
  excerpt      part of a program, shown for its lines; the text around it says so
  manual       complete commands for a person's own machine (installing, building this tree, a
               real device, Windows); the text around it says so, and the suite does not run them
  file=NAME    written as NAME into the folder of the next `run` block of the same document
  devices=N    the simulator plays N devices (VMLCMD_PORTS lists their ports)

A block in one of those languages must carry exactly one of run, excerpt and manual, so that a new
block is never left out of the run by mistake. Each `run` block gets a fresh napi-sim on 127.0.0.1
and finds it through the environment: VMLCMD_HOST, VMLCMD_PORT (the first device), VMLCMD_PORTS (all
of them) and VMLCMD_CONTROL_PORT (its control channel).

Subcommands:
  run LANG DOC...        build and run the blocks of one language; a missing toolchain exits 77
                         ("not run", also written to $VMLCMD_NOT_RUN_FILE)
  lint DOC...            every block in a runnable language is marked, every link between the
                         pages leads to a file and heading that exist
  check-help DOC...      the generated help blocks equal what the tools print now
  update-help DOC...     rewrite them
  list DOC...            the blocks and their marks
"""

import argparse
import difflib
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

LANGUAGES = ("cpp", "c", "python", "go", "csharp", "sh")
MARKS = ("run", "excerpt", "manual")
NOT_RUN = 77  # CTest's SKIP_RETURN_CODE for these tests

FENCE = re.compile(r"^(?P<indent>[ \t]*)(?P<fence>`{3,}|~{3,})(?P<info>.*)$")


@dataclass
class Block:
    doc: str
    line: int  # of the opening fence, 1-based
    language: str
    words: list
    text: str
    attributes: dict = field(default_factory=dict)
    files: dict = field(default_factory=dict)  # name -> text, from earlier file= blocks

    @property
    def marks(self):
        return [w for w in self.words if w in MARKS]

    @property
    def where(self):
        return f"{self.doc}:{self.line}"


def parse(text, doc="<doc>"):
    """The fenced blocks of a Markdown text, in order. An indented fence (in a list item) has its
    indentation taken off its lines; a fence closes only with the same character, at least as long."""
    blocks = []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m or (m.group("fence")[0] == "`" and "`" in m.group("info")):
            i += 1
            continue
        indent, fence, info = m.group("indent"), m.group("fence"), m.group("info").strip()
        start = i
        body = []
        i += 1
        while i < len(lines):
            close = lines[i].strip()
            if close and set(close) == {fence[0]} and len(close) >= len(fence):
                break
            line = lines[i]
            body.append(line[len(indent):] if line.startswith(indent) else line.lstrip())
            i += 1
        i += 1
        words = info.split()
        language = words[0] if words else ""
        attributes = dict(w.split("=", 1) for w in words[1:] if "=" in w)
        blocks.append(Block(doc, start + 1, language, [w for w in words[1:] if "=" not in w],
                            "\n".join(body) + "\n", attributes))
    return blocks


def runnable(blocks):
    """The `run` blocks, each with the file= blocks that stand before it (since the last run)."""
    pending = {}
    result = []
    for block in blocks:
        if "file" in block.attributes:
            pending[block.attributes["file"]] = block.text
        if "run" in block.marks:
            block.files = pending
            pending = {}
            result.append(block)
    return result


def lint(blocks):
    problems = []
    for block in blocks:
        if block.language in LANGUAGES and "file" not in block.attributes and len(block.marks) != 1:
            problems.append(f"{block.where}: a {block.language} block needs one of "
                            f"{', '.join(MARKS)} after the language (it has {block.marks or 'none'})")
        if "run" in block.marks and block.language not in LANGUAGES:
            problems.append(f"{block.where}: `run` on a {block.language or 'plain'} block; "
                            f"the suite runs {', '.join(LANGUAGES)}")
        unknown = set(block.attributes) - {"file", "devices"}
        if unknown:
            problems.append(f"{block.where}: unknown attribute {', '.join(sorted(unknown))}")
    for doc in {b.doc for b in blocks}:
        left = [b for b in blocks if b.doc == doc]
        last_run = max((i for i, b in enumerate(left) if "run" in b.marks), default=-1)
        for b in left[last_run + 1:]:
            if "file" in b.attributes:
                problems.append(f"{b.where}: file={b.attributes['file']} has no `run` block after it")
    return problems


def generated(text):
    """A reference written whole by a generator (operations.md, c-api.md): its blocks are
    declarations, and its generator's own test checks it."""
    return "<!-- Generated" in "\n".join(text.splitlines()[:5])


LINK = re.compile(r"\[[^\]]*\]\((?P<target>[^)\s]+)\)")
HEADING = re.compile(r"^#{1,6} (.*)$", re.M)


def slug(heading):
    """The anchor a Markdown renderer gives a heading: lower case, punctuation dropped, spaces
    to hyphens ("The C interface: `vmlcmd.h`" -> "the-c-interface-vmlcmdh")."""
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def anchors(text):
    # Headings inside code blocks are none.
    outside = re.sub(r"^(`{3,}|~{3,}).*?^\1", "", text, flags=re.S | re.M)
    return {slug(h) for h in HEADING.findall(outside)}


def broken_links(paths):
    """Links and pictures of the pages whose file, or heading, does not exist."""
    problems = []
    for path in map(Path, paths):
        text = path.read_text(encoding="utf-8")
        for m in LINK.finditer(text):
            target = m.group("target")
            if re.match(r"[a-z]+:", target):
                continue  # another site
            file, _, anchor = target.partition("#")
            where = f"{os.path.relpath(path)}:{text.count(chr(10), 0, m.start()) + 1}"
            linked = (path.parent / file) if file else path
            if not linked.exists():
                problems.append(f"{where}: {target}: no such file")
            elif anchor and linked.suffix == ".md" and anchor not in anchors(linked.read_text(encoding="utf-8")):
                problems.append(f"{where}: {target}: no heading #{anchor} in {linked.name}")
    return problems


def read_docs(paths):
    """The blocks of the pages, each named by its path from the folder the pages share (the
    tree's top for README.md and docs/)."""
    paths = [os.path.abspath(p) for p in paths]
    top = os.path.commonpath([os.path.dirname(p) for p in paths]) if paths else "."
    blocks = []
    for path in paths:
        text = Path(path).read_text(encoding="utf-8")
        if not generated(text):
            blocks += parse(text, os.path.relpath(path, top))
    return blocks


# --- the generated help blocks ---------------------------------------------------------------------

HELP = re.compile(r"<!-- (?P<tool>[a-z-]+)-help:begin -->\n.*?<!-- (?P=tool)-help:end -->", re.S)
HELP_ARGS = {"vmlctl": ["help-all"], "napi-sim": ["--help"], "vmlcmd-gateway": ["--help"]}


def help_block(tool, output):
    return f"<!-- {tool}-help:begin -->\n```text\n{output.rstrip()}\n```\n<!-- {tool}-help:end -->"


def tool_help(tool, tools):
    if tool not in tools:
        raise SystemExit(f"no path given for {tool} (--tool {tool}=PATH)")
    # Under its own name, as a person runs it from PATH: some print argv[0] in their usage line.
    return subprocess.run([tool] + HELP_ARGS[tool], executable=tools[tool], check=True, capture_output=True,
                          text=True, encoding="utf-8").stdout


def regenerate(text, helps):
    """The text with every help block of a tool in helps rewritten; others stay as they are."""
    return HELP.sub(lambda m: help_block(m.group("tool"), helps[m.group("tool")])
                    if m.group("tool") in helps else m.group(0), text)


OPTION_DEFAULT = re.compile(r"^\s*(?:-\w,)?(--[\w-]+)[^=\n]*?=(\S+)", re.M)
QUOTED_DEFAULT = re.compile(r"`(--[\w-]+)(?: [A-Z:_]+)?` \((?:default )?([\w.:]+)\)")


def quoted_defaults(text, defaults):
    """Where prose quotes an option with its default, "`--queue` (8)" or "`--jobs N` (default 16)",
    the value against every tool that has that option with a default; the problems."""
    problems = []
    for m in QUOTED_DEFAULT.finditer(text):
        option, value = m.group(1), m.group(2)
        known = {tool: d[option] for tool, d in defaults.items() if option in d}
        if known and not any(value in values for values in known.values()):
            line = text.count("\n", 0, m.start()) + 1
            has = ', '.join(f"{t} has {' or '.join(sorted(v))}" for t, v in known.items())
            problems.append((line, f"{option} ({value}), but {has}"))
    return problems


def help_defaults(helps):
    """Every default of each option of each tool: subcommands may give one option name defaults of
    their own (vmlctl's --jobs is 16 for --inventory and 64 for discover)."""
    defaults = {}
    for tool, output in helps.items():
        options = defaults.setdefault(tool, {})
        for option, value in OPTION_DEFAULT.findall(output):
            options.setdefault(option, set()).add(value)
    return defaults


# --- running ----------------------------------------------------------------------------------------

class NotRun(Exception):
    pass


class Simulator:
    """A napi-sim process on 127.0.0.1 for one block."""

    def __init__(self, napi_sim, devices):
        self.process = subprocess.Popen([napi_sim, "--port", "0", "--devices", str(devices), "--control-port", "0"],
                                        stdout=subprocess.PIPE, text=True)
        first = self.process.stdout.readline()
        m = re.match(r"napi-sim listening on 127\.0\.0\.1:(\d+)", first)
        if not m:
            self.close()
            raise RuntimeError(f"napi-sim said {first!r}")
        self.ports = [m.group(1)]
        if devices > 1:
            self.ports = self.process.stdout.readline().split(" ports ")[1].strip().split(",")
        self.control = self.process.stdout.readline().rsplit(":", 1)[1].strip()

    def environment(self):
        return {"VMLCMD_HOST": "127.0.0.1", "VMLCMD_PORT": self.ports[0], "VMLCMD_PORTS": ",".join(self.ports),
                "VMLCMD_CONTROL_PORT": self.control}

    def close(self):
        self.process.stdout.close()
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Runner:
    def __init__(self, options):
        self.o = options

    def toolchain(self, language):
        """The programs a language needs; NotRun names what is missing."""
        need = {"cpp": [self.o.cxx], "c": [self.o.cc], "python": [self.o.python], "go": [self.o.go],
                "csharp": [self.o.mcs, self.o.mono], "sh": ["bash"]}[language]
        missing = [p for p in need if not p or not shutil.which(p)]
        if missing:
            raise NotRun(f"{language} blocks of the documentation (missing: "
                         f"{', '.join(p or 'its compiler' for p in missing)})")

    def commands(self, block, folder):
        """What builds the block, then what runs it, in `folder`."""
        o = self.o
        lib = ["-L", o.lib_dir, f"-Wl,-rpath,{o.lib_dir}", "-lVmlCmd"]
        if block.language == "cpp":
            (folder / "main.cpp").write_text(block.text, encoding="utf-8")
            return [[o.cxx, "-std=c++17", "-Wall", "-Wextra", "-Werror", "-I", o.include, "main.cpp", "-o", "main"]
                    + lib], ["./main"]
        if block.language == "c":
            (folder / "main.c").write_text(block.text, encoding="utf-8")
            return [[o.cc, "-std=c99", "-pedantic", "-Wall", "-Wextra", "-Werror", "-I", o.include, "main.c", "-o",
                     "main"] + lib], ["./main"]
        if block.language == "python":
            (folder / "main.py").write_text(block.text, encoding="utf-8")
            return [], [o.python, "main.py"]
        if block.language == "go":
            (folder / "main.go").write_text(block.text, encoding="utf-8")
            return [], [o.go, "run", "."]
        if block.language == "csharp":
            (folder / "Program.cs").write_text(block.text, encoding="utf-8")
            return [[o.mcs, "-nologo", "-warnaserror", "-out:Program.exe", o.csharp_binding, "Program.cs"]], \
                [o.mono, "Program.exe"]
        (folder / "main.sh").write_text(block.text, encoding="utf-8")
        return [], ["bash", "-euo", "pipefail", "main.sh"]

    def environment(self, language, scratch):
        env = dict(os.environ)
        env["PATH"] = os.pathsep.join(self.o.path + [env.get("PATH", "")])
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [self.o.python_path, env.get("PYTHONPATH")]))
        env["PYTHONDONTWRITEBYTECODE"] = "1"
        if language == "go":
            # Nothing fetched: the go.mod of the page must resolve as written. A GOFLAGS of the
            # caller (-mod=mod, say) would hide one that does not.
            env.pop("GOFLAGS", None)
            go_home = Path(self.o.go_home or scratch / "go")
            env.update(GOPATH=str(go_home / "path"), GOCACHE=str(go_home / "cache"), GOPROXY="off",
                       GOTOOLCHAIN="local", GO111MODULE="on",
                       CGO_CFLAGS=f"-I{self.o.include}",
                       CGO_LDFLAGS=f"-L{self.o.lib_dir} -Wl,-rpath,{self.o.lib_dir}")
        if language == "csharp":
            env["LD_LIBRARY_PATH"] = os.pathsep.join(filter(None, [self.o.lib_dir, env.get("LD_LIBRARY_PATH")]))
        return env

    def missing(self, block):
        """Why this block cannot run on this machine, or None: a program a shell block names
        that is not there, or the Python package not built."""
        if block.language == "python" and not self.o.python_path:
            return "the Python package vmlcmd is not built (it needs python3-dev and pybind11-dev)"
        if block.language == "sh":
            path = os.pathsep.join(self.o.path + [os.environ.get("PATH", "")])
            for program in ("vmlctl", "napi-sim", "vmlcmd-gateway", "curl", "python3"):
                if re.search(rf"(^|[\s|;&(]){re.escape(program)}\b", block.text, re.M) and not shutil.which(program, path=path):
                    return f"{program} is not on PATH"
        return None

    def run(self, block, scratch):
        # The folder is scratch/<n>/work with the source tree beside it as ../vmlcmd, as the Go
        # guide's go.mod expects a checkout of this tree to stand.
        top = Path(tempfile.mkdtemp(dir=scratch))
        (top / "vmlcmd").symlink_to(self.o.source_dir)
        folder = top / "work"
        folder.mkdir()
        for name, text in block.files.items():
            (folder / name).parent.mkdir(parents=True, exist_ok=True)
            (folder / name).write_text(text, encoding="utf-8")
        builds, command = self.commands(block, folder)
        env = self.environment(block.language, Path(scratch))
        for build in builds:
            done = subprocess.run(build, cwd=folder, env=env, capture_output=True, text=True, timeout=180)
            if done.returncode != 0:
                return f"did not build:\n$ {shlex.join(build)}\n{done.stdout}{done.stderr}"
        simulator = Simulator(self.o.napi_sim, int(block.attributes.get("devices", 1)))
        env.update(simulator.environment())
        # In a session of its own, so that what a block starts in the background (a simulator,
        # the gateway) ends with it when it runs too long.
        process = subprocess.Popen(command, cwd=folder, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   text=True, start_new_session=True)
        try:
            output, _ = process.communicate(timeout=self.o.timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            output, _ = process.communicate()
            return f"still running after {self.o.timeout:g} s:\n{output}"
        finally:
            simulator.close()
        done = subprocess.CompletedProcess(command, process.returncode, output, "")
        self.output = done.stdout + done.stderr
        if done.returncode != 0:
            return f"exit status {done.returncode}:\n{self.output}"
        return None


def not_run(reason):
    print(f"NOT RUN: {reason}")
    target = os.environ.get("VMLCMD_NOT_RUN_FILE")
    if target:
        with open(target, "a", encoding="utf-8") as f:
            f.write(reason + "\n")
    return NOT_RUN


def command_run(options):
    blocks = [b for b in runnable(read_docs(options.docs)) if b.language == options.language]
    if not blocks:
        print(f"no {options.language} block is marked run")
        return 1
    runner = Runner(options)
    try:
        runner.toolchain(options.language)
    except NotRun as e:
        return not_run(str(e))
    failed = 0
    skipped = []
    with tempfile.TemporaryDirectory(prefix="docblocks-") as scratch:
        for block in blocks:
            reason = runner.missing(block)
            if reason:
                print(f"NOT RUN {block.where} ({reason})")
                skipped.append(f"{block.where}: {reason}")
                continue
            began = time.monotonic()
            problem = runner.run(block, scratch)
            took = time.monotonic() - began
            print(f"{'FAILED' if problem else 'ok':6} {block.where} ({block.language}, {took:.1f} s)")
            if options.verbose and not problem:
                print("  " + runner.output.rstrip().replace("\n", "\n  "))
            if problem:
                failed += 1
                print("  " + problem.rstrip().replace("\n", "\n  "))
    ran = len(blocks) - len(skipped)
    print(f"{ran - failed} of {ran} {options.language} blocks ran without a fault")
    if failed:
        return 1
    if skipped:
        return not_run(f"{len(skipped)} {options.language} blocks of the documentation ({'; '.join(skipped)})")
    return 0


def tools_option(values):
    return dict(v.split("=", 1) for v in values or [])


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    run = sub.add_parser("run")
    run.add_argument("language", choices=LANGUAGES)
    run.add_argument("--source-dir", required=True)
    run.add_argument("--napi-sim", required=True)
    run.add_argument("--lib-dir", required=True)
    run.add_argument("--include", required=True)
    run.add_argument("--python-path", default="")
    run.add_argument("--path", action="append", default=[], help="a folder put first on PATH")
    run.add_argument("--cxx", default="c++")
    run.add_argument("--cc", default="cc")
    run.add_argument("--python", default=sys.executable)
    run.add_argument("--go", default="go")
    run.add_argument("--go-home", default="")
    run.add_argument("--mcs", default="mcs")
    run.add_argument("--mono", default="mono")
    run.add_argument("--csharp-binding", default="")
    run.add_argument("--timeout", type=float, default=60)
    run.add_argument("--verbose", action="store_true", help="print what each block printed")
    for name in ("lint", "check-help", "update-help", "list"):
        p = sub.add_parser(name)
        p.add_argument("--tool", action="append", help="TOOL=PATH for the help blocks")
    for p in sub.choices.values():
        p.add_argument("docs", nargs="+")
    options = parser.parse_args(argv)

    if options.command == "run":
        # The blocks build and run in folders of their own.
        for name in ("source_dir", "napi_sim", "lib_dir", "include", "python_path", "go_home", "csharp_binding"):
            if getattr(options, name):
                setattr(options, name, os.path.abspath(getattr(options, name)))
        options.path = [os.path.abspath(p) for p in options.path]
        if not options.csharp_binding:
            options.csharp_binding = str(Path(options.source_dir) / "bindings" / "dotnet" / "VmlCmd.cs")
        return command_run(options)
    if options.command == "list":
        for b in read_docs(options.docs):
            print(f"{b.where}: {b.language or '-'} {' '.join(b.words)} "
                  f"{' '.join(f'{k}={v}' for k, v in b.attributes.items())}".rstrip())
        return 0
    if options.command == "lint":
        problems = lint(read_docs(options.docs)) + broken_links(options.docs)
        print("\n".join(problems) or f"every block of {len(options.docs)} documents is marked and every link leads somewhere")
        return 1 if problems else 0

    tools = tools_option(options.tool)
    texts = {doc: Path(doc).read_text(encoding="utf-8") for doc in options.docs}
    quoted = {m.group("tool") for text in texts.values() for m in HELP.finditer(text)}
    helps = {tool: tool_help(tool, tools) for tool in sorted(quoted | set(tools)) if tool in tools}
    failed = False
    for doc, text in texts.items():
        new = regenerate(text, helps)
        if options.command == "update-help":
            if new != text:
                Path(doc).write_text(new, encoding="utf-8")
                print(f"rewrote {doc}")
        elif new != text:
            failed = True
            print(f"{doc}: a help block differs from the tool's; run scripts/update-readme-help.sh")
            sys.stdout.writelines(difflib.unified_diff(text.splitlines(True), new.splitlines(True), doc, "now", n=1))
        for line, problem in quoted_defaults(text, help_defaults(helps)):
            failed = True
            print(f"{doc}:{line}: {problem}")
    if failed:
        return 1
    if quoted - set(helps):
        return not_run(f"help texts of {', '.join(sorted(quoted - set(helps)))} in the documentation (not built here)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
