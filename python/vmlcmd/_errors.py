"""The exceptions of failed device operations, one class per stage where the operation ended."""

from __future__ import annotations

import os
from typing import Dict, Optional, Type

from . import _vmlcmd
from ._types import Exchange, Outcome, Stage

# The library's texts of its result codes (GetErrorText). An error carries the text of the code
# its own operation left, not of whatever code another thread's operation left since.
RESULT_TEXTS: Dict[int, str] = {
    9: "成功",
    10: "方法没有实现",
    11: "错误的用户名",
    12: "错误的口令",
    13: "无效的视频连接票",
    14: "错误的视频端口",
    15: "无效的参数",
    16: "未知NAPI错误",
    17: "无效NAPI命令",
    18: "NAPI版本冲突",
}

# How the library maps a reply status to its result code; any other non-zero status is 16.
STATUS_CODES: Dict[int, int] = {1: 18, 3: 15, 5: 14, 6: 11, 7: 12, 8: 13, 9: 17}
_OTHER_STATUS_CODE = 16

_LANGUAGES = {"en": 0, "zh": 1}


def stage_text(stage: int, language: str = "en") -> str:
    """The library's short text of an outcome stage, in English ("en") or Chinese ("zh")."""
    if language not in _LANGUAGES:
        raise ValueError(f"language must be 'en' or 'zh', not {language!r}")
    return _vmlcmd.stage_text(int(stage), _LANGUAGES[language])


class DeviceError(Exception):
    """A device operation failed. The subclass says where; ``outcome`` says all the library knows.

    Attributes: ``operation`` (the method that failed), ``outcome`` (an Outcome), ``stage``,
    ``code`` (a result code), ``stage_text`` (the library's text of the stage) and
    ``result_text`` (the library's text of ``code``).
    """

    def __init__(self, message: str, operation: str = "", outcome: Optional[Outcome] = None):
        super().__init__(message)
        self.operation = operation
        self.outcome = outcome if outcome is not None else Outcome(Stage.NONE, 0, 0, Exchange.NONE, 0, 0, "")

    @property
    def stage(self) -> int:
        """Where the operation ended (a Stage)."""
        return self.outcome.stage

    @property
    def code(self) -> int:
        """The library-wide result code as it was when the operation ended.

        The code is shared by every device of the process: with other threads working, it
        may be another device's. The status errors give the code of their own status.
        """
        return self.outcome.result_code

    @property
    def stage_text(self) -> str:
        """The library's English text of the stage."""
        return stage_text(self.outcome.stage)

    @property
    def result_text(self) -> str:
        """The library's text of ``code`` ("" for a code it has no text for)."""
        return RESULT_TEXTS.get(self.code, "")


class ConnectError(DeviceError, ConnectionError):
    """No connection to the device: refused, timed out (100 ms), failed, or an invalid address."""


class _StatusCode:
    outcome: Outcome

    @property
    def status(self) -> int:
        """The status of the reply."""
        return self.outcome.status

    @property
    def code(self) -> int:
        """The result code the library gives this status (e.g. 15 for status 3), whatever
        other threads' devices left in the library-wide code."""
        return STATUS_CODES.get(self.outcome.status, _OTHER_STATUS_CODE)


class LoginError(_StatusCode, DeviceError):
    """The device refused the login: ``status`` 6 (unknown user, ``code`` 11) or 7 (wrong
    password, ``code`` 12). The library itself leaves its result code alone here."""


class SendError(DeviceError, ConnectionError):
    """A request could not be sent."""


class ConnectionClosedError(DeviceError, ConnectionError):
    """The device closed or reset the connection before its reply."""


class ReplyTimeoutError(DeviceError, TimeoutError):
    """No reply within the receive time-out (one second)."""


class StatusError(_StatusCode, DeviceError):
    """The device answered with a non-zero status.

    ``status`` is the reply's status (3 invalid argument, 5 wrong video port, 9 unknown
    command, ...) and ``code`` the library's result code for it (15, 14, 17, ...).
    """


class ValueMissingError(DeviceError):
    """The reply lacked a value the operation reads; ``letter`` names it."""

    @property
    def letter(self) -> str:
        """The option letter the reply lacked."""
        return self.outcome.letter


class NotNapiDeviceError(DeviceError, ConnectionError):
    """The peer answered with something that is no NAPI reply (its first field is not 100): a
    wrong port reaching another service, say. ``reply_magic`` is the first field it sent."""

    @property
    def reply_magic(self) -> int:
        """The first header field of the peer's reply."""
        return self.outcome.reply_magic


class ArgumentRefusedError(DeviceError, ValueError):
    """The library refused an argument before anything was sent (for example a text too long
    for a request)."""


_CLASSES: Dict[int, Type[DeviceError]] = {
    Stage.ARGUMENT_REFUSED: ArgumentRefusedError,
    Stage.ADDRESS_INVALID: ConnectError,
    Stage.CONNECT_REFUSED: ConnectError,
    Stage.CONNECT_TIMED_OUT: ConnectError,
    Stage.CONNECT_FAILED: ConnectError,
    Stage.LOGIN_REFUSED: LoginError,
    Stage.SEND_FAILED: SendError,
    Stage.REPLY_TIMED_OUT: ReplyTimeoutError,
    Stage.CLOSED_BY_DEVICE: ConnectionClosedError,
    Stage.RECEIVE_FAILED: ConnectionClosedError,
    Stage.REPLY_STATUS: StatusError,
    Stage.VALUE_MISSING: ValueMissingError,
    Stage.NOT_NAPI_DEVICE: NotNapiDeviceError,
}

_EXCHANGES = {Exchange.LOGIN: "login", Exchange.SECOND: "second request"}


def _message(operation: str, outcome: Outcome) -> str:
    if outcome.stage == Stage.NONE:
        return f"{operation}: failed without a recorded reason"
    details = []
    if outcome.exchange in _EXCHANGES:
        details.append(f"in the {_EXCHANGES[outcome.exchange]}")
    if outcome.stage in (Stage.REPLY_STATUS, Stage.LOGIN_REFUSED):
        code = STATUS_CODES.get(outcome.status, _OTHER_STATUS_CODE)
        details.append(f"status {outcome.status}: {RESULT_TEXTS[code]}")
    if outcome.stage == Stage.NOT_NAPI_DEVICE:
        details.append(f"reply magic {outcome.reply_magic}")
    if outcome.stage == Stage.VALUE_MISSING and outcome.letter:
        details.append(f"no -{outcome.letter}")
    if outcome.system_error:
        details.append(os.strerror(outcome.system_error))
    text = f"{operation}: {stage_text(outcome.stage)}"
    return f"{text} ({', '.join(details)})" if details else text


def from_outcome(operation: str, record: dict) -> DeviceError:
    """The exception for an operation that failed with this record (called by the compiled module)."""
    outcome = Outcome.from_dict(record)
    kind = _CLASSES.get(outcome.stage, DeviceError)
    return kind(_message(operation, outcome), operation, outcome)
