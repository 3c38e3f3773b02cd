"""Values that pass to and from a device: enums, named tuples and dataclasses."""

from __future__ import annotations

import dataclasses
import enum
from typing import NamedTuple, Union


def _member_or_int(kind, value: int):
    try:
        return kind(value)
    except ValueError:
        return value


class Position(enum.IntEnum):
    """A screen position of the caption or the clock overlay, numbered as the device numbers it."""

    TOP_LEFT = 1
    TOP_CENTER = 2
    TOP_RIGHT = 3
    MIDDLE_LEFT = 4
    MIDDLE_RIGHT = 5
    BOTTOM_LEFT = 6
    BOTTOM_CENTER = 7
    BOTTOM_RIGHT = 8


def position_of(number: int) -> Union[Position, int]:
    """The Position a device reported, or the bare number when it is none of the eight."""
    return _member_or_int(Position, number)


class Stage(enum.IntEnum):
    """Where an operation ended (the library's outcome stages)."""

    NONE = 0
    SUCCESS = 1
    NO_NETWORK_LINK = 2
    ARGUMENT_REFUSED = 3
    ADDRESS_INVALID = 4
    CONNECT_REFUSED = 5
    CONNECT_TIMED_OUT = 6
    CONNECT_FAILED = 7
    LOGIN_REFUSED = 8
    SEND_FAILED = 9
    REPLY_TIMED_OUT = 10
    CLOSED_BY_DEVICE = 11
    RECEIVE_FAILED = 12
    REPLY_STATUS = 13
    VALUE_MISSING = 14
    NOT_IMPLEMENTED = 15
    NOT_NAPI_DEVICE = 16


class Exchange(enum.IntEnum):
    """Which exchange of an operation its stage belongs to."""

    NONE = 0
    LOGIN = 1
    REQUEST = 2
    SECOND = 3


class Command(enum.IntEnum):
    """NAPI command codes, the keys of a simulated device's faults and recorded requests."""

    READ_VERSION = 1
    SET_CLOCK = 3
    WRITE_NETWORK = 4
    READ_NETWORK = 5
    WRITE_SERIAL = 6
    READ_SERIAL = 7
    COMMAND8 = 8
    COMMAND9 = 9
    WRITE_PICTURE = 21
    READ_PICTURE = 22
    WRITE_PICTURE_ALL = 23
    WRITE_OVERLAY = 25
    READ_OVERLAY = 26
    READ_MOTION = 28
    WRITE_REGION = 29
    READ_MASK = 30
    WRITE_ENCODER = 31
    READ_ENCODER = 32
    SET_ACCOUNT = 41
    LOGIN = 45
    COMMAND51 = 51
    COMMAND52 = 52
    PTZ = 60
    PTZ_PROTOCOL = 61
    PTZ_SETUP = 62
    PORT_SETTING = 70


class Outcome(NamedTuple):
    """How one operation of a device ended, as the library recorded it for that device alone.

    ``result_code`` is the library-wide result code as the operation left it (9 success,
    15 invalid argument, ...); ``status`` the reply status for a refused login or request;
    ``system_error`` the errno of a failed connection, send or receive; ``letter`` the value a
    reply lacked; ``reply_magic`` the first field a peer that is no NAPI device sent.
    """

    stage: Stage
    result_code: int
    status: int
    exchange: Exchange
    system_error: int
    elapsed_us: int
    letter: str
    reply_magic: int = 0

    @classmethod
    def from_dict(cls, d: dict) -> "Outcome":
        """The outcome from the compiled module's record."""
        return cls(
            stage=_member_or_int(Stage, d["stage"]),
            result_code=d["result_code"],
            status=d["status"],
            exchange=_member_or_int(Exchange, d["exchange"]),
            system_error=d["system_error"],
            elapsed_us=d["elapsed_us"],
            letter=d["letter"],
            reply_magic=d.get("reply_magic", 0),
        )


class Network(NamedTuple):
    """The device's own network settings, as dotted-quad texts."""

    ip: str
    subnet_mask: str
    gateway: str


@dataclasses.dataclass
class VideoSettings:
    """All encoder and picture values of one video port.

    The picture values are on the 0..255 scale of ``Device.contrast`` and the others, as in
    the configuration document (the device keeps contrast, saturation and hue 128 lower; the
    record conversions take care of that). ``spare`` is never sent or read, and ``param_t`` is
    read but not written by ``set_video_settings``. The defaults are the values
    ``restore_video_defaults`` writes.
    """

    bitrate: int = 512
    frame_rate: int = 25
    iframe_interval: int = 100
    quant_step: int = 31
    param_r: int = 1
    brightness: int = 128
    contrast: int = 199
    saturation: int = 192
    hue: int = 128
    param_t: int = 0
    spare: int = 0

    # The library's record order, which is not the order above.
    _RECORD = (
        "spare", "param_t", "bitrate", "frame_rate", "iframe_interval", "quant_step", "param_r",
        "brightness", "contrast", "saturation", "hue",
    )

    # Fields the device keeps 128 below the scale shown here.
    _DEVICE_OFFSET = {"contrast": 128, "saturation": 128, "hue": 128}

    def to_record(self) -> tuple:
        """The eleven device values in the library's record order."""
        return tuple(getattr(self, name) - self._DEVICE_OFFSET.get(name, 0) for name in self._RECORD)

    @classmethod
    def from_record(cls, record) -> "VideoSettings":
        """Settings from the eleven device values in the library's record order."""
        return cls(**{name: value + cls._DEVICE_OFFSET.get(name, 0) for name, value in zip(cls._RECORD, record)})


@dataclasses.dataclass
class Region:
    """The privacy-mask rectangle of a video port."""

    enabled: bool = False
    left: int = 0
    top: int = 0
    width: int = 0
    height: int = 0


@dataclasses.dataclass
class MotionRegion:
    """The motion-detection rectangle of a video port and its sensitivity (0..100)."""

    enabled: bool = False
    left: int = 0
    top: int = 0
    width: int = 0
    height: int = 0
    sensitivity: int = 0


@dataclasses.dataclass
class Caption:
    """The on-screen caption of a video port.

    ``position`` is a Position, or the bare number a device reported outside 1..8. A caption
    cannot hold "-" (the device reads it as the start of another option).
    """

    caption: str = ""
    position: Union[Position, int] = Position.TOP_LEFT
    show: bool = True


@dataclasses.dataclass
class ClockOverlay:
    """The on-screen clock of a video port."""

    position: Union[Position, int] = Position.TOP_LEFT
    show: bool = True
