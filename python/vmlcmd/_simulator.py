"""vmlcmd.Simulator: simulated video servers in this process, for tests without hardware."""

from __future__ import annotations

import json
from typing import Any, Dict, List, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

from . import _vmlcmd
from ._device import Device

HOST = "127.0.0.1"

FaultSpec = Union[str, Mapping[str, Any]]

# The Python names of a fault's fields and their names in the simulator's JSON.
_FAULT_FIELDS = {
    "kind": "kind",
    "delay_ms": "delayMs",
    "truncate_to": "truncateTo",
    "status": "status",
    "bytes": "bytes",
    "text": "text",
    "close_after": "closeAfter",
    "process": "process",
    "remaining": "remaining",
    "split_after": "splitAfter",
    "one_byte_at_a_time": "oneByteAtATime",
    "gap_ms": "gapMs",
    "trailing_nul": "trailingNul",
}
_FAULT_KINDS = ("normal", "no-reply", "close", "truncate", "status", "raw", "text", "reset", "ignore")


def _fault_json(fault: FaultSpec) -> str:
    if isinstance(fault, str):
        fault = {"kind": fault}
    if not isinstance(fault, Mapping):
        raise TypeError(f"a fault is a dict or a kind name, not {type(fault).__name__}")
    out: Dict[str, Any] = {}
    for key, value in fault.items():
        if key not in _FAULT_FIELDS:
            raise ValueError(f"unknown fault field {key!r}; known: {', '.join(_FAULT_FIELDS)}")
        if key == "kind":
            value = str(value).replace("_", "-")
            if value not in _FAULT_KINDS:
                raise ValueError(f"unknown fault kind {value!r}; known: {', '.join(_FAULT_KINDS)}")
        elif key in ("bytes", "text"):
            # Payloads travel as hex, since they may hold NULs and bytes of any code page.
            value = (value.encode("utf-8") if isinstance(value, str) else bytes(value)).hex()
        out[_FAULT_FIELDS[key]] = value
    return json.dumps(out)


def _merged(current: Any, changes: Any) -> Any:
    if isinstance(current, dict) and isinstance(changes, Mapping):
        out = dict(current)
        for key, value in changes.items():
            out[key] = _merged(current.get(key), value) if key in current else value
        return out
    if isinstance(current, list) and isinstance(changes, (list, Mapping)):
        out = list(current)
        items = changes.items() if isinstance(changes, Mapping) else enumerate(changes)
        for index, value in items:
            if not isinstance(index, int) or not -len(out) <= index < len(out):
                raise IndexError(f"no element {index!r} in a list of {len(out)}")
            if value is not None:
                out[index] = _merged(out[index], value)
        return out
    return changes


class Request(NamedTuple):
    """One request a simulated device received: its command code, its text as sent (NULs
    kept), the number of its connection (1, 2, ... in order of acceptance) and whether its
    header was refused."""

    command: int
    text: bytes
    connection: int
    bad_header: bool


class SimulatedDevice:
    """One device of a Simulator: its address, its state and its faults."""

    def __init__(self, simulator: "_vmlcmd.Simulator", index: int):
        self._simulator = simulator
        self._index = index
        self._port = simulator.port(index)

    def __repr__(self) -> str:
        return f"<vmlcmd.SimulatedDevice {self.index} at {self.host}:{self.port}>"

    @property
    def index(self) -> int:
        """The device's place in its simulator's fleet, from 0."""
        return self._index

    @property
    def host(self) -> str:
        """The loopback address the device listens on."""
        return HOST

    @property
    def port(self) -> int:
        """The TCP port the device listens on."""
        return self._port

    def device(self, **options: Any) -> Device:
        """A vmlcmd.Device for this simulated device (options as Device takes them)."""
        return Device(self.host, self.port, **options)

    @property
    def state(self) -> Dict[str, Any]:
        """A snapshot of the device's state as a dict (network, serialBaud, ptzHeads, clock,
        account, ..., videoPorts[i] with encoder, picture, mask, motion, overlay, ptz)."""
        return json.loads(self._simulator.state_json(self._index))

    def update_state(self, changes: Mapping[str, Any]) -> None:
        """Change the device's state: ``changes`` is merged into ``state``, naming only what
        changes. Dicts merge key by key; a list merges element by element (None keeps an
        element), or a dict of indices names elements of a list; other values replace::

            sim.update_state({"network": {"ip": "192.0.2.20"},
                              "videoPorts": {2: {"encoder": {"bitrate": 4096}}}})
        """
        state = _merged(self.state, changes)
        self._simulator.set_state_json(self._index, json.dumps(state))

    def set_fault(self, command: int, fault: FaultSpec) -> None:
        """Make the device misbehave on every request of ``command`` (a Command or its code).

        ``fault`` is a kind name or a dict: ``kind`` ("normal", "no-reply", "close",
        "truncate", "status", "raw", "text", "reset", "ignore": status 0 but the state kept,
        as a device that ignores a write), and as the kind needs ``status``,
        ``text`` (str or bytes), ``bytes``, ``truncate_to``, ``delay_ms``, ``close_after``,
        ``process`` (whether the device still acts on the request), ``remaining`` (how many
        requests it applies to; all by default), ``split_after``, ``one_byte_at_a_time``,
        ``gap_ms``, ``trailing_nul``. A new fault for a command replaces the old one.
        """
        self._simulator.set_fault(self._index, int(command), _fault_json(fault))

    def clear_fault(self, command: int) -> None:
        """Answer ``command`` normally again."""
        self._simulator.clear_fault(self._index, int(command))

    def clear_faults(self) -> None:
        """Answer every command normally again."""
        self._simulator.clear_faults(self._index)

    def requests(self) -> List[Request]:
        """The requests received since the last ``clear_requests()``, oldest first."""
        return [Request(*r) for r in self._simulator.requests(self._index)]

    def clear_requests(self) -> None:
        """Forget the requests received so far."""
        self._simulator.clear_requests(self._index)

    def wait_for_requests(self, count: int, timeout: float = 5.0) -> bool:
        """Wait until ``count`` requests have arrived since ``clear_requests()``; False after
        ``timeout`` seconds."""
        return self._simulator.wait_for_requests(self._index, count, int(timeout * 1000))

    def wait_idle(self, timeout: float = 5.0) -> bool:
        """Wait until every connection to the device is closed; False after ``timeout`` seconds."""
        return self._simulator.wait_for_idle(self._index, int(timeout * 1000))

    @property
    def stats(self) -> Dict[str, int]:
        """Connection counts: accepted, open, closedByPeer, closedByDevice, closedIdle."""
        return json.loads(self._simulator.stats(self._index))

    @property
    def reply_fields(self) -> str:
        """What the device's replies carry in the header fields the protocol leaves free
        (offsets 0, 8 and 12): ``"usual"`` (100, the command code, 0), ``"zero"``, or
        ``"drawn"`` (new values for every reply). A client must read all three alike."""
        return self._simulator.reply_fields(self._index)

    @reply_fields.setter
    def reply_fields(self, fields: str) -> None:
        self._simulator.set_reply_fields(self._index, str(fields))


class Simulator:
    """Simulated video servers on 127.0.0.1, each on a free port, running in this process.

    ``devices`` independent devices share one network thread; each has its own state, faults
    and recorded requests. ``faults`` maps command codes to faults that every device starts
    with (see ``SimulatedDevice.set_fault``). ``accounts`` are the (user, password) pairs a
    device accepts, ``video_ports`` how many video ports each has (others answer status 5).
    ``reply_fields`` is what the replies carry in the header fields the protocol leaves free
    (see ``SimulatedDevice.reply_fields``); by default ``"usual"``, or what the environment's
    ``NAPISIM_REPLY_FIELDS`` names.

    ``host``, ``port`` and the members below address the first device; ``devices`` lists all
    of them. Use it as a context manager, or call ``stop()``::

        with vmlcmd.Simulator(devices=3) as sim:
            for d in sim.devices:
                with d.device() as camera:
                    camera.bitrate = 2048
    """

    def __init__(
        self,
        devices: int = 1,
        faults: Optional[Mapping[int, FaultSpec]] = None,
        *,
        accounts: Sequence[Tuple[str, str]] = (("admin", "admin"),),
        video_ports: int = 4,
        log: bool = False,
        reply_fields: Optional[str] = None,
    ):
        if isinstance(devices, bool) or not isinstance(devices, int) or devices < 1:
            raise ValueError(f"devices must be a positive int, not {devices!r}")
        self._simulator = _vmlcmd.Simulator(devices, video_ports, [(str(u), str(p)) for u, p in accounts], log)
        self._simulator.start()
        self._devices = [SimulatedDevice(self._simulator, i) for i in range(devices)]
        try:
            if reply_fields is not None:
                for device in self._devices:
                    device.reply_fields = reply_fields
            for command, fault in (faults or {}).items():
                for device in self._devices:
                    device.set_fault(command, fault)
        except BaseException:
            self.stop()
            raise

    def __enter__(self) -> "Simulator":
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def __repr__(self) -> str:
        state = "running" if self.running else "stopped"
        return f"<vmlcmd.Simulator {len(self._devices)} device(s) at {HOST}:{self.port} {state}>"

    def stop(self) -> None:
        """Close every listener and connection and stop the network thread. Safe to call twice."""
        self._simulator.stop()

    close = stop

    @property
    def running(self) -> bool:
        """True until ``stop()``."""
        return self._simulator.listening()

    def reset(self) -> None:
        """Every device back to its first state: default settings, no faults (not even those
        given to the constructor), no recorded requests."""
        self._simulator.reset()

    @property
    def devices(self) -> List[SimulatedDevice]:
        """Every simulated device, in order."""
        return list(self._devices)

    @property
    def host(self) -> str:
        """The loopback address the devices listen on."""
        return HOST

    @property
    def port(self) -> int:
        """The TCP port of the first device."""
        return self._devices[0].port

    def device(self, **options: Any) -> Device:
        """A vmlcmd.Device for the first device (options as Device takes them)."""
        return self._devices[0].device(**options)

    @property
    def state(self) -> Dict[str, Any]:
        """A snapshot of the first device's state as a dict."""
        return self._devices[0].state

    def update_state(self, changes: Mapping[str, Any]) -> None:
        """Change the first device's state (see ``SimulatedDevice.update_state``)."""
        self._devices[0].update_state(changes)

    def set_fault(self, command: int, fault: FaultSpec) -> None:
        """Make the first device misbehave on ``command`` (see ``SimulatedDevice.set_fault``)."""
        self._devices[0].set_fault(command, fault)

    def clear_fault(self, command: int) -> None:
        """Answer ``command`` normally again on the first device."""
        self._devices[0].clear_fault(command)

    def clear_faults(self) -> None:
        """Answer every command normally again on the first device."""
        self._devices[0].clear_faults()

    def requests(self) -> List[Request]:
        """The requests the first device received since ``clear_requests()``."""
        return self._devices[0].requests()

    def clear_requests(self) -> None:
        """Forget the requests the first device received so far."""
        self._devices[0].clear_requests()
