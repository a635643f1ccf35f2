"""One library call with progress, cancellation and Ctrl-C.

A call made on the main thread replaces Python's default SIGINT handler for
its duration by one that only raises a flag: the library runs with the GIL
released, so Python cannot stop it, but its next progress report then
answers "cancel". Once the library has returned, the files the call was
creating are removed and KeyboardInterrupt is raised. An exception in the
caller's progress function cancels the same way and is raised afterwards.
"""

from __future__ import annotations

import os
import signal
import threading
from typing import Callable, Iterable, Optional, Union

from ._native import PROGRESS_CANCEL, ProgressCallback, library
from .errors import CANCELLED, Cancelled, error_for

PathLike = Union[str, bytes, os.PathLike]
#: progress(percent) is called with 0..100; a true result cancels the operation.
Progress = Callable[[int], Optional[bool]]


NO_CALLBACK = ProgressCallback()


def encode_path(path: Optional[PathLike]) -> Optional[bytes]:
    """A file name as the library takes it (bytes in the file system's encoding)."""
    return None if path is None else os.fsencode(path)


def encode_password(password: Union[str, bytes, None]) -> Optional[bytes]:
    """A password as the library takes it: str as UTF-8, bytes as they are."""
    if password is None or isinstance(password, bytes):
        return password
    return password.encode("utf-8")


class _State:
    def __init__(self, progress: Optional[Progress]) -> None:
        self.progress = progress
        self.interrupted = False
        self.cancel_asked = False
        self.error: Optional[BaseException] = None

    def on_sigint(self, signum: int, frame: object) -> None:
        self.interrupted = True

    def report(self, user: int, message: int, percent: int) -> int:
        # Nothing may escape into the library: ctypes would print and ignore it.
        if self.interrupted or self.error is not None or self.cancel_asked:
            return PROGRESS_CANCEL
        if self.progress is None:
            return 0
        try:
            if self.progress(int(percent)):
                self.cancel_asked = True
                return PROGRESS_CANCEL
        except BaseException as e:  # noqa: B902 - re-raised once the library has returned
            self.error = e
            return PROGRESS_CANCEL
        return 0

    @property
    def stopped(self) -> bool:
        return self.interrupted or self.cancel_asked or self.error is not None


def _remove(paths: Iterable[bytes]) -> None:
    # Best effort: a file that cannot be removed must not hide why the call stopped.
    for p in paths:
        try:
            os.remove(p)
        except OSError:
            pass


def run(
    invoke: Callable[[ProgressCallback], int],
    *,
    path: Optional[PathLike],
    progress: Optional[Progress] = None,
    creates: Iterable[Optional[PathLike]] = (),
    cleanup: Optional[Callable[[], None]] = None,
) -> None:
    """Calls ``invoke(callback)`` and turns its result code into an exception.

    ``creates`` names the files the call may create (destinations and the
    library's scratch files); those that did not exist before are removed
    when the call is cancelled or interrupted, as is whatever ``cleanup``
    removes. ``path`` is the file named in an exception.
    """
    state = _State(progress)
    watched = [os.fsencode(p) for p in creates if p is not None]
    existed = {p for p in watched if os.path.lexists(p)}
    previous = None
    if threading.current_thread() is threading.main_thread():
        if signal.getsignal(signal.SIGINT) is signal.default_int_handler:
            previous = signal.signal(signal.SIGINT, state.on_sigint)
    try:
        # Without a progress function and off the main thread the library gets
        # no callback at all, so worker threads never wait for the GIL.
        callback = ProgressCallback(state.report) if progress is not None or previous is not None else NO_CALLBACK
        code = invoke(callback)
    finally:
        if previous is not None:
            signal.signal(signal.SIGINT, previous)
    if state.stopped or code == CANCELLED:
        _remove(p for p in watched if p not in existed)
        if cleanup is not None:
            cleanup()
        if state.error is not None:
            raise state.error
        if state.interrupted:
            raise KeyboardInterrupt
        raise Cancelled(CANCELLED, path)
    if code != 0:
        raise error_for(code, path)


def call(name: str, *args: object, path: Optional[PathLike] = None) -> None:
    """A call without progress: raises the error of a non-zero result code."""
    code = getattr(library(), name)(*args)
    if code != 0:
        raise error_for(code, path)
