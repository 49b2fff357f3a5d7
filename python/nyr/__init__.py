"""The nyr store from Python: the class library libnyr++ and its host store.

Two layers:

* The faithful layer keeps the C++ semantics: Element, Event, Client (every CNyr member, results
  and out-values returned as one tuple in the member's order), Log, serialize_event,
  serialize_element and the store's constants.
* The Pythonic layer: open() and connect() give a Store whose members take and give Python
  values (set, get, element, ls, mkdir, rm, cp, mv, set_many, get_many, watch, send, log,
  log_store) and raise StoreError for whatever the store refuses.

Times are datetimes in UTC everywhere; a naive datetime is taken as UTC.
"""

import collections as _collections
import os as _os
import time as _time

from ._nyr import *  # noqa: F401,F403  (the compiled layer: classes, functions and constants)
from ._nyr import Client, Store, StoreError, default_socket

__all__ = [name for name in dir() if not name.startswith("_")] + ["open", "connect", "Watch"]


def open(file=None):  # noqa: A001  (nyr.open, as the store's own word)
    """An in-process host store: in memory, or kept in the store file `file`.

    Raises StoreError (.result: the QEL_HOST_OPEN_ reason, .meaning its words) when the file
    cannot be opened, for example while a running nyrd holds it."""
    return Store._open(None if file is None else _os.fspath(file))


def connect(socket=None):
    """The store nyrd serves at `socket`; None: $NYR_SOCKET, else nyrd's default socket.

    Raises StoreError with nyrd's reason when it cannot be reached."""
    if socket is None:
        socket = _os.environ.get("NYR_SOCKET") or default_socket()
    return Store._connect(_os.fspath(socket))


class Watch:
    """The events of one registration, on a handle of their own: iterate to receive them.

    Made by Store.watch(); use it in a with block (or call close()). Iteration blocks, without
    the GIL, until events come; with a timeout it ends when nothing came for that many seconds
    (checked after each wait of the store, 200 ms by default). Ctrl-C interrupts it."""

    def __init__(self, store, path, kinds, recursive, timeout):
        self._handle = store._another()
        self._client = Client(self._handle)
        self._timeout = timeout
        self._pending = _collections.deque()
        result, status = self._client.event_register(path, kinds, recursive)
        if result != 0 or status != 1:
            self.close()
            Store._check_item(path, result, status)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Ends the registration and closes the watch's handle."""
        self._handle.close()

    def __iter__(self):
        return self

    def __next__(self):
        deadline = None if self._timeout is None else _time.monotonic() + self._timeout
        while not self._pending:
            try:
                count, events = self._client.events_get()
            except ValueError:
                if self._handle.closed:  # the watch or its store was closed: the events end
                    raise StopIteration from None
                raise
            if count < 0:
                Store._check_item("watch", count, 1)
            self._pending.extend(events)
            if not events and deadline is not None and _time.monotonic() >= deadline:
                raise StopIteration
        return self._pending.popleft()


def _watch(self, path="/", kinds=-1, recursive=False, timeout=None):
    """A Watch of the events at `path` (and below it with recursive=True) whose kind shares a
    bit with `kinds` (TREE_CHANGES, ALARMS, GENERIC_EVENTS, ALL_EVENTS or any mask)."""
    return Watch(self, path, kinds, recursive, timeout)


Store.watch = _watch
Store.client = property(lambda self: Client(self), doc="A Client (the faithful layer) on it.")
