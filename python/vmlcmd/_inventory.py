"""vmlcmd.read_inventory: the fleet inventory that vmlctl and napi-sim use, read by their own reader."""

from __future__ import annotations

import os
from typing import List, NamedTuple, Union

from . import _vmlcmd


class InventoryEntry(NamedTuple):
    """One device of an inventory. ``name`` is the row's label ("" without one); ``line`` the
    row's line in the file, counted from 1. ``user``, ``password`` and ``name`` are the file's
    bytes decoded as UTF-8. ``text_encoding`` is the row's ``text-encoding`` column (the code
    page the device keeps its texts in; ``"cp936"`` without one), to pass on as
    ``Device(..., text_encoding=entry.text_encoding)``."""

    name: str
    host: str
    port: int
    user: str
    password: str
    video_port: int
    line: int
    text_encoding: str = "cp936"


class InventoryError(ValueError):
    """A bad inventory file: ``path`` and ``line`` (0 for the file as a whole) say where."""

    def __init__(self, path: str, line: int, message: str):
        where = f"{path}:{line}" if line else path
        super().__init__(f"{where}: {message}")
        self.path = path
        self.line = line


def read_inventory(
    path: Union[str, "os.PathLike[str]"], user: str = "admin", password: str = "admin", video_port: int = 0
) -> List[InventoryEntry]:
    """The devices of an inventory file.

    The file is CSV with a header naming its columns: ``host`` and ``port`` always, ``user``,
    ``password``, ``video-port``, ``name`` and ``text-encoding`` as needed (columns left out take the arguments'
    values), one device a row; blank lines and lines starting with ``#`` are ignored. An unknown
    column, a bad value or a user name or password the library would refuse raises
    ``InventoryError`` naming the file and line; nothing is returned then.
    """
    path = os.fspath(path)
    with open(path, "rb") as f:
        content = f.read()
    result = _vmlcmd.read_inventory(content, user, password, video_port)
    if "error" in result:
        raise InventoryError(path, result["line"], result["error"])
    for e in result["entries"]:
        if e["text_encoding"] and _vmlcmd.text_encoding(e["text_encoding"]) < 0:
            raise InventoryError(
                path, e["line"], f"text-encoding \"{e['text_encoding']}\" is none this system converts (cp936, utf-8 or cpN)"
            )
    return [
        InventoryEntry(
            name=e["name"].decode("utf-8", "replace"),
            host=e["host"],
            port=e["port"],
            user=e["user"].decode("utf-8", "replace"),
            password=e["password"].decode("utf-8", "replace"),
            video_port=e["video_port"],
            line=e["line"],
            text_encoding=e["text_encoding"] or "cp936",
        )
        for e in result["entries"]
    ]
