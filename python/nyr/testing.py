"""pytest fixtures for testing device applications against the store.

Load with ``pytest -p nyr.testing`` or ``pytest_plugins = ["nyr.testing"]``:

* ``nyr_store``: a fresh in-process store (in memory) for each test, closed after it.
* ``nyrd``: a nyrd of the test's own on a socket in its temporary folder, stopped after the
  test. ``nyrd.connect()`` gives a Store on it, ``nyrd.socket`` its path (hand it to the
  application under test, e.g. as $NYR_SOCKET). A nyrd that does not start fails the test with
  nyrd's own message.

The nyrd binary is $NYRD when set, else nyrd on PATH.
"""

import os
import shutil
import subprocess
import tempfile
import time

import pytest

import nyr

# A Unix socket's path holds at most 107 bytes.
_SOCKET_PATH_MAX = 100


def _inode(path):
    try:
        return os.stat(path).st_ino
    except FileNotFoundError:
        return None


class NyrdError(Exception):
    """nyrd did not start; the message holds what it said."""


class Nyrd:
    """A running nyrd: .socket, .connect(), .stop()."""

    def __init__(self, folder, binary=None, timeout=10.0):
        binary = binary or os.environ.get("NYRD") or shutil.which("nyrd")
        if not binary:
            raise NyrdError("nyrd not found: set $NYRD or put nyrd on PATH")
        folder = str(folder)
        self._scratch = None
        if len(os.path.join(folder, "nyr.sock")) > _SOCKET_PATH_MAX:
            self._scratch = folder = tempfile.mkdtemp(prefix="nyrd-")
        self.socket = os.path.join(folder, "nyr.sock")
        self._stores = []
        log, self._log_path = tempfile.mkstemp(prefix="nyrd-", suffix=".log", dir=folder)
        earlier = _inode(self.socket)
        with os.fdopen(log, "wb") as log:
            self._process = subprocess.Popen(
                [binary, "--foreground", "--socket", self.socket],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        # The socket appears under its name only once nyrd accepts (a new one, should a file
        # have been there before).
        deadline = time.monotonic() + timeout
        while _inode(self.socket) in (None, earlier):
            if self._process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise NyrdError(f"nyrd did not start: {self.output().strip()}")
            time.sleep(0.01)

    def connect(self):
        """A Store on this nyrd, closed when the nyrd stops."""
        store = nyr.connect(self.socket)
        self._stores.append(store)
        return store

    def output(self):
        """What nyrd wrote to stdout and stderr so far."""
        with open(self._log_path, "rb") as log:
            return log.read().decode(errors="replace")

    def stop(self):
        """Closes the stores of connect() and stops nyrd (SIGTERM, then SIGKILL)."""
        for store in self._stores:
            store.close()
        self._stores.clear()
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        if self._scratch:
            shutil.rmtree(self._scratch, ignore_errors=True)
            self._scratch = None


@pytest.fixture
def nyr_store():
    """A fresh in-process store in memory, closed after the test."""
    store = nyr.open()
    yield store
    store.close()


@pytest.fixture
def nyrd(tmp_path):
    """A nyrd of the test's own on a socket in its temporary folder."""
    try:
        daemon = Nyrd(tmp_path)
    except NyrdError as error:
        pytest.fail(str(error), pytrace=False)
    yield daemon
    daemon.stop()
