"""vmlcmd.Device: one video server, its settings as properties and its operations as methods."""

from __future__ import annotations

import datetime as _datetime
import ipaddress
import json
from typing import Any, Dict, Iterable, List, Optional, Union

from . import _vmlcmd
from ._config import ApplyResult, ConfigError
from ._types import (
    Caption,
    ClockOverlay,
    MotionRegion,
    Network,
    Outcome,
    Position,
    Region,
    VideoSettings,
    position_of,
)

_INT32 = (-(2**31), 2**31 - 1)
# The login's own limits (the library refuses longer names before connecting).
_USER_LIMIT = 16
_PASSWORD_LIMIT = 8

Text = Union[str, bytes]


def _int32(name: str, value: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not _INT32[0] <= value <= _INT32[1]:
        raise ValueError(f"{name} must fit in 32 bits, not {value}")
    return value


def _byte(name: str, value: int) -> int:
    _int32(name, value)
    if not 0 <= value <= 255:
        raise ValueError(f"{name} must be 0..255, not {value}")
    return value


def _direction(value: int) -> int:
    _int32("direction", value)
    if value == 0:
        raise ValueError("direction must be positive or negative; 0 is no movement")
    return value


def _address(name: str, value: str) -> bytes:
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    try:
        ipaddress.IPv4Address(value)
    except ValueError:
        raise ValueError(f"{name} must be a dotted-quad IPv4 address, not {value!r}") from None
    return value.encode("ascii")


def _position_index(position: Union[Position, int]) -> int:
    try:
        return Position(position) - 1
    except ValueError:
        raise ValueError(f"position must be one of the eight Positions (1..8), not {position!r}") from None


class Ptz:
    """The pan-tilt-zoom head of the device's current video port.

    Movements run until ``stop()``: the device never ends one by itself. Only the sign of a
    direction counts (positive: right, up, zoom in, focus near, iris open); 0 is refused.
    """

    def __init__(self, command: "_vmlcmd.Command"):
        self._command = command

    def pan(self, direction: int) -> None:
        """Start panning: right for a positive direction, left for a negative one."""
        self._command.ptz_pan(_direction(direction))

    def tilt(self, direction: int) -> None:
        """Start tilting: up for a positive direction, down for a negative one."""
        self._command.ptz_tilt(_direction(direction))

    def zoom(self, direction: int) -> None:
        """Start zooming: in for a positive direction, out for a negative one."""
        self._command.ptz_zoom(_direction(direction))

    def focus(self, direction: int) -> None:
        """Start focusing: nearer for a positive direction, farther for a negative one."""
        self._command.ptz_focus(_direction(direction))

    def iris(self, direction: int) -> None:
        """Open the iris for a positive direction, close it for a negative one."""
        self._command.ptz_iris(_direction(direction))

    def auto(self, on: bool = True) -> None:
        """Switch the head's automatic mode on, or off (which also stops any movement)."""
        self._command.ptz_auto(bool(on))

    def stop(self) -> None:
        """Stop the running movement."""
        self._command.ptz_stop()

    def set_parameters(self, r: int, s: int) -> None:
        """Tune the head of the current video port with its r and s values."""
        self._command.set_ptz_parameters(_int32("r", r), _int32("s", s))


class Device:
    """One video server reached over TCP with the NAPI protocol.

    Every property read or write and every method is one short transaction (connect within
    100 ms, log in, one request, one reply within a second each, close); nothing is cached.
    A failure raises a DeviceError subclass naming where it ended; an argument the device
    could never take raises ValueError (or TypeError) before anything is sent. Each call
    releases the GIL, so threads over many devices run in parallel; calls on one Device from
    several threads take turns.

    Use it as a context manager, or call ``close()``::

        with vmlcmd.Device("192.0.2.10", 8000) as camera:
            camera.bitrate = 1024
            print(camera.video_settings)

    ``host`` is the device's IPv4 address as a dotted quad, ``port`` its TCP port, ``user``
    and ``password`` the account to log in with (at most 16 and 8 bytes), ``video_port`` the
    video port that the per-port operations address.

    Texts (the caption, the account, the texts of commands 51 and 52 and of the encoder's t)
    are kept by the device as bytes of ``text_encoding``: code page 936 (``"cp936"``), as
    Windows hosts write them, unless the deployment's devices keep another (``"utf-8"``, or
    ``"cpN"``). str arguments are converted to it by the library's own converter (the one
    vmlctl, the gateway and the C interface use), and a character it cannot carry raises
    ValueError before anything is sent; bytes arguments go as they are. Texts read come back
    as str, or as bytes where the device holds bytes that are not text in its encoding, so
    that writing back what was read is always exact.
    """

    def __init__(
        self,
        host: str,
        port: int,
        user: str = "admin",
        password: str = "admin",
        video_port: int = 0,
        text_encoding: str = "cp936",
    ):
        _address("host", host)
        if isinstance(port, bool) or not isinstance(port, int) or not 1 <= port <= 65535:
            raise ValueError(f"port must be 1..65535, not {port!r}")
        if not isinstance(text_encoding, str) or _vmlcmd.text_encoding(text_encoding) < 0:
            raise ValueError(f"text_encoding must be cp936, utf-8 or cpN, not {text_encoding!r}")
        self._text_encoding = text_encoding
        self._code_page = _vmlcmd.text_encoding(text_encoding)
        user_bytes = self._text("user", user, limit=_USER_LIMIT)
        password_bytes = self._text("password", password, limit=_PASSWORD_LIMIT)
        self._host = host
        self._port = port
        self._user = user
        self._login = (user_bytes, password_bytes)
        self._video_port = _int32("video_port", video_port)
        self._command = _vmlcmd.Command(host.encode("ascii"), port, user_bytes, password_bytes, self._video_port)
        self._ptz = Ptz(self._command)

    # ---- the object -----------------------------------------------------------------------

    def __enter__(self) -> "Device":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        """Release the library's object. Further calls raise ValueError. Safe to call twice."""
        self._command.close()

    @property
    def closed(self) -> bool:
        """True after ``close()``."""
        return self._command.closed

    def __repr__(self) -> str:
        state = " closed" if self.closed else ""
        return f"<vmlcmd.Device {self._host}:{self._port} video_port={self._video_port}{state}>"

    @property
    def host(self) -> str:
        """The device's IPv4 address as given."""
        return self._host

    @property
    def port(self) -> int:
        """The device's TCP port."""
        return self._port

    @property
    def user(self) -> str:
        """The user name this object logs in with."""
        return self._user

    @property
    def video_port(self) -> int:
        """The video port that the per-port operations address (no device traffic)."""
        return self._video_port

    @video_port.setter
    def video_port(self, value: int) -> None:
        self._command.set_video_port(_int32("video_port", value))
        self._video_port = value

    @property
    def last_outcome(self) -> Outcome:
        """How this device's last operation ended, including its elapsed time."""
        return Outcome.from_dict(self._command.last_outcome())

    @property
    def vendor(self) -> str:
        """The maker's name the library reports (no device traffic)."""
        return self._command.vendor_name().decode("ascii", "replace")

    @property
    def ptz(self) -> Ptz:
        """The pan-tilt-zoom head of the current video port."""
        return self._ptz

    @property
    def text_encoding(self) -> str:
        """The encoding the device keeps its texts in, as given."""
        return self._text_encoding

    def _text(self, name: str, value: Text, limit: Optional[int] = None, hyphen: bool = False) -> bytes:
        if isinstance(value, str):
            if "\0" in value:
                raise ValueError(f"{name} must not hold a NUL character")
            data = _vmlcmd.text_to_device(self._code_page, value)
            if data is None:
                raise ValueError(
                    f"{name} holds a character that the device's text encoding ({self._text_encoding}) "
                    "cannot carry; nothing was sent"
                )
        elif isinstance(value, (bytes, bytearray)):
            data = bytes(value)
        else:
            raise TypeError(f"{name} must be str or bytes, not {type(value).__name__}")
        if b"\0" in data:
            raise ValueError(f"{name} must not hold a NUL character")
        # Options are separated by "-": a hyphen inside a text would start another option.
        if not hyphen and b"-" in data:
            raise ValueError(f"{name} must not hold '-' (the device reads it as the start of an option)")
        if limit is not None and len(data) > limit:
            raise ValueError(f"{name} is longer than {limit} bytes")
        return data

    def _decode(self, data: bytes) -> Text:
        text = _vmlcmd.text_from_device(self._code_page, data)
        return data if text is None else text

    # ---- network identity -----------------------------------------------------------------

    @property
    def ip(self) -> str:
        """The device's IP address."""
        return self._command.get_ip_address().decode("ascii", "replace")

    @ip.setter
    def ip(self, value: str) -> None:
        self._command.set_ip_address(_address("ip", value))

    @property
    def subnet_mask(self) -> str:
        """The device's subnet mask."""
        return self._command.get_subnet_mask().decode("ascii", "replace")

    @subnet_mask.setter
    def subnet_mask(self, value: str) -> None:
        self._command.set_subnet_mask(_address("subnet_mask", value))

    @property
    def gateway(self) -> str:
        """The device's gateway."""
        return self._command.get_gateway().decode("ascii", "replace")

    @gateway.setter
    def gateway(self, value: str) -> None:
        self._command.set_gateway(_address("gateway", value))

    @property
    def network(self) -> Network:
        """IP address, subnet mask and gateway (three transactions); assign with ``set_network``."""
        return Network(self.ip, self.subnet_mask, self.gateway)

    def set_network(self, ip: str, subnet_mask: str, gateway: str) -> None:
        """Write IP address, subnet mask and gateway in one request."""
        self._command.set_network_config(
            _address("ip", ip), _address("subnet_mask", subnet_mask), _address("gateway", gateway)
        )

    # ---- device settings ------------------------------------------------------------------

    def set_clock(self, when: Union[_datetime.datetime, _datetime.date, str, None] = None) -> None:
        """Set the device's clock (its time of day) to ``when``: a datetime or date, or ``"now"``
        (also the default): this host's local time at the call."""
        if when is None or when == "now":
            when = _datetime.datetime.now()
        if isinstance(when, str):
            raise ValueError(f'when must be a datetime or "now", not {when!r}')
        if not isinstance(when, _datetime.date):
            raise TypeError(f"when must be a datetime, not {type(when).__name__}")
        hour = getattr(when, "hour", 0)
        minute = getattr(when, "minute", 0)
        second = getattr(when, "second", 0)
        self._command.set_device_time(when.year, when.month, when.day, hour, minute, second)

    def set_account(self, user: str, password: str) -> None:
        """Change the device's account. This object keeps logging in with its own user and
        password; make a new Device to log in with the new ones."""
        self._command.set_account(
            self._text("user", user, limit=_USER_LIMIT), self._text("password", password, limit=_PASSWORD_LIMIT)
        )

    def set_port_setting(self, port: int, value: int) -> None:
        """Write the one-byte setting (0..255) of a port."""
        self._command.set_port_setting(_int32("port", port), _byte("value", value))

    def send_command8(self) -> None:
        """Send the bare command 8; devices never answer it, so success means it was sent."""
        self._command.send_command8()

    def send_command9(self) -> None:
        """Send the bare command 9."""
        self._command.send_command9()

    def send_command51(self, p: int, t: Text, a: Text, o: int) -> None:
        """Send command 51 with its four fields (the device's or the host's meaning).

        The texts go as given, hyphens included: a caller may carry further options in them.
        """
        self._command.send_command51(
            _int32("p", p), self._text("t", t, hyphen=True), self._text("a", a, hyphen=True), _int32("o", o)
        )

    def send_command52(self, p: int, t: Text, a: Text, o: int) -> None:
        """Send command 52 with its four fields (the device's or the host's meaning).

        The texts go as given, hyphens included: a caller may carry further options in them.
        """
        self._command.send_command52(
            _int32("p", p), self._text("t", t, hyphen=True), self._text("a", a, hyphen=True), _int32("o", o)
        )

    @property
    def baud(self) -> int:
        """The baud rate of serial port 1, which carries the PTZ heads' bus."""
        return self._command.get_serial_baud_rate()

    @baud.setter
    def baud(self, value: int) -> None:
        self._command.set_serial_baud_rate(_int32("baud", value))

    def set_ptz_protocol(self, protocol: int, ptz_index: int) -> None:
        """Choose the protocol of PTZ head ``ptz_index`` on the serial bus."""
        self._command.set_ptz_protocol(_int32("protocol", protocol), _int32("ptz_index", ptz_index))

    def set_ptz_address(self, address: int, ptz_index: int) -> None:
        """Set the bus address of PTZ head ``ptz_index``."""
        self._command.set_ptz_address(_int32("address", address), _int32("ptz_index", ptz_index))

    # ---- encoder and picture, one value ---------------------------------------------------

    @property
    def bitrate(self) -> int:
        """The encoder bitrate (kbit/s) of the current video port."""
        return self._command.get_video_bitrate()

    @bitrate.setter
    def bitrate(self, value: int) -> None:
        self._command.set_video_bitrate(_int32("bitrate", value))

    @property
    def frame_rate(self) -> int:
        """The encoder frame rate of the current video port."""
        return self._command.get_video_frame_rate()

    @frame_rate.setter
    def frame_rate(self, value: int) -> None:
        self._command.set_video_frame_rate(_int32("frame_rate", value))

    @property
    def iframe_interval(self) -> int:
        """The encoder I-frame interval of the current video port."""
        return self._command.get_video_iframe_interval()

    @iframe_interval.setter
    def iframe_interval(self, value: int) -> None:
        self._command.set_video_iframe_interval(_int32("iframe_interval", value))

    @property
    def quant_step(self) -> int:
        """The encoder quantiser step of the current video port."""
        return self._command.get_video_quant_step()

    @quant_step.setter
    def quant_step(self, value: int) -> None:
        self._command.set_video_quant_step(_int32("quant_step", value))

    @property
    def param_r(self) -> int:
        """The encoder's r parameter of the current video port."""
        return self._command.get_video_param_r()

    @param_r.setter
    def param_r(self, value: int) -> None:
        self._command.set_video_param_r(_int32("param_r", value))

    def set_param_t(self, value: Union[int, Text], video_port: Optional[int] = None) -> None:
        """Write the encoder's t parameter of ``video_port`` (the current one by default).

        Read it back as ``video_settings.param_t``.
        """
        text = self._text("value", str(value) if isinstance(value, int) else value)
        port = self._video_port if video_port is None else _int32("video_port", video_port)
        self._command.set_video_param_t(text, port)

    @property
    def brightness(self) -> int:
        """The brightness (0..255) of the current video port."""
        return self._command.get_brightness()

    @brightness.setter
    def brightness(self, value: int) -> None:
        self._command.set_brightness(_int32("brightness", value))

    @property
    def contrast(self) -> int:
        """The contrast (0..255; the device keeps it 128 lower) of the current video port."""
        return self._command.get_contrast()

    @contrast.setter
    def contrast(self, value: int) -> None:
        self._command.set_contrast(_int32("contrast", value))

    @property
    def saturation(self) -> int:
        """The saturation (0..255; the device keeps it 128 lower) of the current video port."""
        return self._command.get_saturation()

    @saturation.setter
    def saturation(self, value: int) -> None:
        self._command.set_saturation(_int32("saturation", value))

    @property
    def hue(self) -> int:
        """The hue (0..255; the device keeps it 128 lower) of the current video port."""
        return self._command.get_hue()

    @hue.setter
    def hue(self, value: int) -> None:
        self._command.set_hue(_int32("hue", value))

    # ---- encoder and picture, all values --------------------------------------------------

    @property
    def video_settings(self) -> VideoSettings:
        """All encoder and picture values of the current video port (one login, two requests),
        picture values on the 0..255 scale of ``contrast`` and the others; write them with
        ``set_video_settings``."""
        return VideoSettings.from_record(self._command.get_video_settings())

    def set_video_settings(self, settings: VideoSettings) -> None:
        """Write all encoder and picture values of ``settings`` (``param_t`` and ``spare`` are
        not sent). The picture values go first: when the encoder request fails
        they stay written."""
        if not isinstance(settings, VideoSettings):
            raise TypeError(f"settings must be a VideoSettings, not {type(settings).__name__}")
        record = settings.to_record()
        for name, value in zip(VideoSettings._RECORD, record):
            _int32(name, value)
        self._command.set_video_settings(record)

    def restore_video_defaults(self) -> None:
        """Write the default encoder and picture values (those of ``VideoSettings()``)."""
        self._command.restore_video_defaults()

    # ---- regions --------------------------------------------------------------------------

    @property
    def privacy_mask(self) -> Region:
        """The privacy-mask rectangle of the current video port."""
        return Region(*self._command.get_mask_region())

    @privacy_mask.setter
    def privacy_mask(self, region: Region) -> None:
        if not isinstance(region, Region):
            raise TypeError(f"privacy_mask must be a Region, not {type(region).__name__}")
        self._command.set_mask_region(
            bool(region.enabled),
            _int32("left", region.left),
            _int32("top", region.top),
            _int32("width", region.width),
            _int32("height", region.height),
            0,
        )

    @property
    def motion(self) -> MotionRegion:
        """The motion-detection rectangle of the current video port."""
        return MotionRegion(*self._command.get_motion_region())

    @motion.setter
    def motion(self, region: MotionRegion) -> None:
        if not isinstance(region, MotionRegion):
            raise TypeError(f"motion must be a MotionRegion, not {type(region).__name__}")
        self._command.set_motion_region(
            bool(region.enabled),
            _int32("left", region.left),
            _int32("top", region.top),
            _int32("width", region.width),
            _int32("height", region.height),
            _int32("sensitivity", region.sensitivity),
            0,
        )

    # ---- on-screen display ----------------------------------------------------------------

    @property
    def caption(self) -> Caption:
        """The on-screen caption of the current video port; assign a Caption to change it.

        A device that reports no caption fields leaves the defaults: no text, not shown.
        """
        show, position, text = self._command.get_osd_caption()
        return Caption(caption=self._decode(text), position=position_of(position), show=show)

    @caption.setter
    def caption(self, caption: Caption) -> None:
        if not isinstance(caption, Caption):
            raise TypeError(f"caption must be a Caption, not {type(caption).__name__}")
        self.set_caption(caption.caption, caption.position, caption.show)

    def set_caption(self, text: Text, position: Union[Position, int] = Position.TOP_LEFT, show: bool = True) -> None:
        """Write the on-screen caption of the current video port."""
        data = self._text("text", text)
        self._command.set_osd_caption(bool(show), _position_index(position), data)

    @property
    def clock_overlay(self) -> ClockOverlay:
        """The on-screen clock of the current video port; assign a ClockOverlay to change it."""
        show, position = self._command.get_osd_time()
        return ClockOverlay(position=position_of(position), show=show)

    @clock_overlay.setter
    def clock_overlay(self, overlay: ClockOverlay) -> None:
        if not isinstance(overlay, ClockOverlay):
            raise TypeError(f"clock_overlay must be a ClockOverlay, not {type(overlay).__name__}")
        self._command.set_osd_time(bool(overlay.show), _position_index(overlay.position))

    # ---- the whole configuration ----------------------------------------------------------

    def read_config(self, ports: Iterable[int] = (0,)) -> Dict[str, Any]:
        """The device's configuration as one document (the one ``vmlctl config get`` writes):
        network, serial and the given video ports. Raises ConfigError when a part could not
        be read."""
        wanted = sorted({_int32("port", p) for p in ports})
        if any(p < 0 or p > 9999 for p in wanted):
            raise ValueError(f"video ports are 0..9999, not {list(ports)!r}")
        answer = json.loads(self._command.read_config(wanted, self._code_page))
        if answer["errors"]:
            raise ConfigError(answer["errors"], answer["document"])
        return answer["document"]

    def plan_config(self, document: Dict[str, Any]) -> List[Dict[str, Any]]:
        """The fields of ``document`` that differ on the device, each ``{"path", "from",
        "to"}``; reads only what the document names. A document the schema refuses raises
        ValueError before anything is sent; a failed read raises ConfigError."""
        plan = json.loads(self._command.plan_config(json.dumps(document), self._code_page))
        if plan["errors"]:
            raise ConfigError(plan["errors"])
        return plan["changes"]

    def apply_config(
        self,
        document: Dict[str, Any],
        check: bool = False,
        rollback: bool = True,
        allow_address_change: bool = False,
    ) -> ApplyResult:
        """Write what differs from ``document``, read it back, and restore the earlier values
        when a write fails or a value does not hold (unless ``rollback`` is false). With
        ``check`` nothing is written. The network section is written last and only with
        ``allow_address_change``; the device is then looked for at its new address. Failures
        of the device are in the result, not raised; a refused document raises ValueError
        before anything is sent."""
        answer = json.loads(
            self._command.apply_config(
                json.dumps(document),
                bool(check),
                bool(rollback),
                bool(allow_address_change),
                self._host,
                self._port,
                self._login[0],
                self._login[1],
                self._code_page,
            )
        )
        return ApplyResult(answer["changes"], answer["verified"], answer["failed"], answer["rolled_back"])
