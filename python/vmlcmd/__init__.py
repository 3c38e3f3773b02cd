"""Configure and test networked video servers from Python.

``vmlcmd.Device`` talks to one device through the VmlCmd library: its settings are
properties, its operations methods, its failures exceptions that say where the operation
ended. ``vmlcmd.Simulator`` runs simulated devices in this process, so scripts and their tests
need no hardware::

    import vmlcmd

    with vmlcmd.Simulator() as sim, vmlcmd.Device(sim.host, sim.port) as camera:
        camera.bitrate = 1024
        print(camera.bitrate, camera.video_settings)

``vmlcmd.aio.Device`` offers the same members to asyncio programs, awaitable.
"""

from . import _vmlcmd
from ._config import ApplyResult, ConfigError
from ._device import Device, Ptz
from ._errors import (
    RESULT_TEXTS,
    STATUS_CODES,
    ArgumentRefusedError,
    ConnectError,
    ConnectionClosedError,
    DeviceError,
    LoginError,
    NotNapiDeviceError,
    ReplyTimeoutError,
    SendError,
    StatusError,
    ValueMissingError,
    stage_text,
)
from ._inventory import InventoryEntry, InventoryError, read_inventory
from ._simulator import Request, SimulatedDevice, Simulator
from ._types import (
    Caption,
    ClockOverlay,
    Command,
    Exchange,
    MotionRegion,
    Network,
    Outcome,
    Position,
    Region,
    Stage,
    VideoSettings,
)

__version__ = ".".join(str(part) for part in _vmlcmd.VERSION)


def __getattr__(name: str):
    # vmlcmd.aio is loaded when first named, so scripts without asyncio do not load it.
    if name == "aio":
        import importlib

        return importlib.import_module(".aio", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")

__all__ = [
    "ApplyResult",
    "ArgumentRefusedError",
    "Caption",
    "ClockOverlay",
    "Command",
    "ConfigError",
    "ConnectError",
    "ConnectionClosedError",
    "Device",
    "DeviceError",
    "Exchange",
    "InventoryEntry",
    "InventoryError",
    "LoginError",
    "MotionRegion",
    "Network",
    "NotNapiDeviceError",
    "Outcome",
    "Position",
    "Ptz",
    "RESULT_TEXTS",
    "STATUS_CODES",
    "Region",
    "ReplyTimeoutError",
    "Request",
    "SendError",
    "SimulatedDevice",
    "Simulator",
    "Stage",
    "StatusError",
    "ValueMissingError",
    "VideoSettings",
    "read_inventory",
    "stage_text",
]
