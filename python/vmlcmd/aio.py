"""vmlcmd.aio: the same devices for asyncio programs.

``vmlcmd.aio.Device`` takes the arguments of ``vmlcmd.Device`` and offers each of its members
under the same name, awaitable: a method is a coroutine function, a property is read with
``await`` and written with ``await device.set(name=value, ...)``. The device's parts (its PTZ
head) are awaitable in the same way::

    import asyncio, vmlcmd.aio

    async def main(addresses):
        async def configure(host):
            async with vmlcmd.aio.Device(host, 8000) as camera:
                await camera.set(bitrate=1024)
                await camera.ptz.stop()
                return await camera.bitrate
        return await asyncio.gather(*(configure(h) for h in addresses), return_exceptions=True)

Each call runs the blocking call in a worker thread (the compiled module releases the GIL while
it waits on the device), so the event loop never waits on a device. Calls on one device run one
at a time in the order they were made; calls on different devices run side by side, as many at
once as the executor has workers. Failures raise the exceptions the blocking calls raise
(``vmlcmd.DeviceError`` and its subclasses, ``ValueError``, ``TypeError``).

The workers come from one thread pool shared by every device of this module, of
``MAX_WORKERS`` threads, not from the event loop's default executor, which holds only a few
threads (at most 32, fewer on small machines) and which other code of the program shares. A
device that does not answer keeps its worker for its time-outs (up to about two seconds), so a
program that expects many dead devices at once gives them a larger pool: ``Device(...,
executor=pool)`` takes any ``concurrent.futures.Executor``.
"""

from __future__ import annotations

import asyncio
import concurrent.futures
import functools
import inspect
import threading
import typing
from typing import Any, Callable, Iterator, Optional, Tuple, Type

from . import _device as _blocking

__all__ = ["Device", "MAX_WORKERS", "default_executor"]

MAX_WORKERS = 64
"""Threads of the pool the devices share when they are given no executor of their own."""

_default_executor: Optional[concurrent.futures.ThreadPoolExecutor] = None
_default_executor_lock = threading.Lock()


def default_executor() -> concurrent.futures.Executor:
    """The thread pool of ``MAX_WORKERS`` threads shared by devices without an executor of
    their own; made at its first use."""
    global _default_executor
    with _default_executor_lock:
        if _default_executor is None:
            _default_executor = concurrent.futures.ThreadPoolExecutor(MAX_WORKERS, thread_name_prefix="vmlcmd.aio")
        return _default_executor


def _public_members(cls: type) -> Iterator[Tuple[str, Any]]:
    seen = set()
    for klass in cls.__mro__[:-1]:
        for name, member in vars(klass).items():
            if name.startswith("_") or name in seen:
                continue
            seen.add(name)
            yield name, member


def _returned_class(getter: Callable) -> Optional[type]:
    try:
        hint = typing.get_type_hints(getter).get("return")
    except (NameError, TypeError):
        return None
    return hint if inspect.isclass(hint) else None


class _Mirror:
    """Members that forward to a blocking object, through the device's turn-taking."""

    _owner: "Device"

    def _target(self) -> Any:
        raise NotImplementedError

    if typing.TYPE_CHECKING:
        # The members are made from the blocking class when this module loads.
        def __getattr__(self, name: str) -> Any: ...


def _method(name: str, original: Callable) -> Callable:
    @functools.wraps(original)
    async def method(self: _Mirror, *args: Any, **kwargs: Any) -> Any:
        return await self._owner._call(lambda: getattr(self._target(), name)(*args, **kwargs))

    return method


def _value(name: str, original: property) -> property:
    def read(self: _Mirror) -> Any:
        return self._owner._call(lambda: getattr(self._target(), name))

    def refuse(self: _Mirror, value: Any) -> None:
        raise AttributeError(f"a device's {name} is written with 'await device.set({name}=...)'")

    return property(read, refuse if original.fset else None, doc=original.__doc__)


def _part(name: str, mirror: Type["_Part"], original: property) -> property:
    def read(self: _Mirror) -> Any:
        parts = self.__dict__.setdefault("_parts", {})
        if name not in parts:
            parts[name] = mirror(self._owner, lambda: getattr(self._target(), name))
        return parts[name]

    return property(read, doc=original.__doc__)


class _Part(_Mirror):
    def __init__(self, device: "Device", target: Callable[[], Any]):
        self._owner = device
        self._get_target = target

    def _target(self) -> Any:
        return self._get_target()

    def __repr__(self) -> str:
        return f"<vmlcmd.aio {type(self).__name__} of {self._owner!r}>"


def _mirror(cls: Type[_Mirror], blocking: type) -> None:
    """Give ``cls`` every public member of ``blocking`` that it does not define itself.

    A property that returns another class of the blocking module (the PTZ head) gives a part
    of the device, with operations of its own, rather than a value: it is mirrored in turn.
    """
    own = set(vars(cls))
    for name, member in _public_members(blocking):
        if name in own:
            continue
        if isinstance(member, property):
            returned = _returned_class(member.fget)
            if returned is not None and returned is not blocking and returned.__module__ == blocking.__module__:
                setattr(cls, name, _part(name, _part_class(returned), member))
            else:
                setattr(cls, name, _value(name, member))
        elif inspect.isfunction(member):
            setattr(cls, name, _method(name, member))


def _part_class(blocking: type) -> Type[_Part]:
    doc = f"The {blocking.__name__} of a vmlcmd.aio.Device: the members of vmlcmd.{blocking.__name__}, awaitable."
    cls = type(blocking.__name__, (_Part,), {"__doc__": doc, "__module__": __name__})
    _mirror(cls, blocking)
    return cls


class Device(_Mirror):
    """A ``vmlcmd.Device`` for asyncio: the same arguments, and every member under the same
    name, awaitable (see the module's description).

    ``executor`` runs the blocking calls (by default the module's shared pool, see
    ``default_executor``). ``blocking`` is the ``vmlcmd.Device`` underneath. Use it with
    ``async with``, or await ``close()``. A device belongs to one event loop.
    """

    def __init__(self, *args: Any, executor: Optional[concurrent.futures.Executor] = None, **kwargs: Any):
        # Nothing here talks to the device: the blocking constructor only checks its arguments.
        self.blocking = _blocking.Device(*args, **kwargs)
        self._owner = self
        self._executor = executor
        self._lock: Optional[asyncio.Lock] = None

    def _target(self) -> _blocking.Device:
        return self.blocking

    async def __aenter__(self) -> "Device":
        return self

    async def __aexit__(self, *exc: Any) -> None:
        await self.close()

    def __repr__(self) -> str:
        return f"<vmlcmd.aio{repr(self.blocking)[len('<vmlcmd'):]}"

    async def set(self, **values: Any) -> None:
        """Write properties, in the order given, in one turn on the device: ``await
        camera.set(bitrate=1024, contrast=40)``. A failure stops there; the values before it
        stay written."""
        settable = {n for n, m in _public_members(_blocking.Device) if isinstance(m, property) and m.fset}
        unknown = [name for name in values if name not in settable]
        if unknown:
            raise AttributeError(f"not a writable property of vmlcmd.Device: {', '.join(unknown)}")

        def write() -> None:
            for name, value in values.items():
                setattr(self.blocking, name, value)

        await self._call(write)

    async def _call(self, function: Callable[[], Any]) -> Any:
        # The lock is made on first use so that it belongs to the loop that uses the device.
        if self._lock is None:
            self._lock = asyncio.Lock()
        lock = self._lock
        await lock.acquire()
        try:
            future = asyncio.get_running_loop().run_in_executor(self._executor or default_executor(), function)
        except BaseException:
            lock.release()
            raise
        # A cancelled caller cannot stop a call its worker has begun; the device's next call
        # waits for that one to end, so calls still reach the device in order.
        future.add_done_callback(lambda _: lock.release())
        return await asyncio.shield(future)


_mirror(Device, _blocking.Device)
# help() shows the blocking constructor's arguments, and the executor.
_arguments = list(inspect.signature(_blocking.Device.__init__).parameters.values())
_arguments.append(inspect.Parameter("executor", inspect.Parameter.KEYWORD_ONLY, default=None))
Device.__init__.__signature__ = inspect.Signature(_arguments)  # type: ignore[attr-defined]
