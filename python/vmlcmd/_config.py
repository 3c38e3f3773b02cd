"""What the configuration engine gives back to Python: the result of an apply, and the error of
a configuration that could not be read or compared. The engine itself is the C++ one behind
``vmlctl config``; this module only gives its answers Python shapes."""

from __future__ import annotations

import dataclasses
from typing import Any, Dict, List


class ConfigError(Exception):
    """The device's configuration could not be read (whole) or compared.

    ``errors`` holds one line per operation that failed; ``document`` what was read before.
    """

    def __init__(self, errors: List[str], document: Dict[str, Any] = None):
        super().__init__("; ".join(errors))
        self.errors = list(errors)
        self.document = document if document is not None else {}


@dataclasses.dataclass(frozen=True)
class ApplyResult:
    """What ``Device.apply_config`` did.

    ``changes``: the differences found before writing, each ``{"path", "from", "to"}``;
    ``verified``: the paths read back with the wanted value; ``failed``: one line per failure
    (a write that failed, a value that did not hold, a network change held back);
    ``rolled_back``: the snapshot of the changed fields was written back and held.
    """

    changes: List[Dict[str, Any]]
    verified: List[str]
    failed: List[str]
    rolled_back: bool

    @property
    def ok(self) -> bool:
        """Everything wanted holds (or nothing differed)."""
        return not self.failed

    @property
    def changed(self) -> bool:
        """Something was changed and held."""
        return self.ok and bool(self.changes)
