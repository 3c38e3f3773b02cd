"""The public surface: documented, typed, and the compiled module's stub in step with it."""

import ast
import inspect
import pathlib
import pydoc

import vmlcmd
from vmlcmd import _vmlcmd


def public_members(obj):
    for name, member in vars(obj).items():
        if not name.startswith("_") and (inspect.isfunction(member) or isinstance(member, property)):
            yield name, member


def test_every_public_name_and_member_has_a_docstring():
    missing = []
    for name in vmlcmd.__all__:
        obj = getattr(vmlcmd, name)
        if inspect.isclass(obj) or inspect.isfunction(obj):
            if not (obj.__doc__ or "").strip():
                missing.append(name)
        if inspect.isclass(obj):
            missing += [f"{name}.{m}" for m, member in public_members(obj) if not (member.__doc__ or "").strip()]
    assert missing == []


def test_public_methods_are_annotated():
    unannotated = []
    for name in vmlcmd.__all__:
        obj = getattr(vmlcmd, name)
        if not inspect.isclass(obj):
            continue
        for member_name, member in public_members(obj):
            function = member.fget if isinstance(member, property) else member
            if "return" not in function.__annotations__:
                unannotated.append(f"{name}.{member_name}")
    assert unannotated == []


def test_the_stub_lists_exactly_what_the_compiled_module_has():
    stub = ast.parse((pathlib.Path(_vmlcmd.__file__).parent / "_vmlcmd.pyi").read_text())
    declared = {}
    for node in stub.body:
        if isinstance(node, ast.ClassDef):
            declared[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)} - {"__init__"}
        elif isinstance(node, ast.FunctionDef):
            declared.setdefault("", set()).add(node.name)
        elif isinstance(node, ast.AnnAssign):
            declared.setdefault("", set()).add(node.target.id)
    actual = {"": {n for n in vars(_vmlcmd) if not n.startswith("_") and n not in ("Command", "Simulator")}}
    for cls in (_vmlcmd.Command, _vmlcmd.Simulator):
        actual[cls.__name__] = {n for n in vars(cls) if not n.startswith("_")}
    assert declared == actual


def test_help_reads_well():
    text = pydoc.render_doc(vmlcmd.Device, renderer=pydoc.plaintext)
    for expected in ("class Device", "bitrate", "set_video_settings", "video_settings", "ptz", "DeviceError"):
        assert expected in text
