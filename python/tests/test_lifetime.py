"""Stores and handles are released: by close(), by with blocks and when collected."""
import gc
import os

import nyr
from nyr.testing import Nyrd


def rss_kib():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def cycle(i):
    if i % 3 == 0:
        store = nyr.open()
        store.set("/a/leaf", "x" * 100)
        store.close()
    elif i % 3 == 1:
        with nyr.open() as store, store.watch("/a") as watch:
            store.set("/a/leaf", b"y" * 100)
            client = store.client
            assert client.get_leaf("/a/leaf")[0] == 0 and watch is not None
    else:
        store = nyr.open()  # collected without close()
        nyr.Log(store).store([nyr.Event(8, path="/a")])
        del store


def test_ten_thousand_open_close_cycles_leave_memory_bounded():
    for i in range(1000):
        cycle(i)
    gc.collect()
    before = rss_kib()
    for i in range(10000):
        cycle(i)
    gc.collect()
    grown = rss_kib() - before
    print(f"RSS grew by {grown} KiB over 10,000 cycles")
    assert grown < 4096


def test_a_store_file_is_released_by_close_and_by_collection(tmp_path):
    path = tmp_path / "plant.db"
    with nyr.open(path) as store:
        store.set("/plant/speed", 1450.5)
        try:
            nyr.open(path)
        except nyr.StoreError as error:
            assert error.result == nyr.QEL_HOST_OPEN_IN_USE
            assert error.meaning.startswith("another store holds the file")
        else:
            raise AssertionError("a held store file opened twice")
    store = nyr.open(str(path))
    assert store.get("/plant/speed") == 1450.5
    del store  # collected: its file lock goes with it
    gc.collect()
    nyr.open(path).close()


def test_the_daemon_fixture_stops_its_nyrd_and_closes_its_stores(tmp_path):
    long_folder = tmp_path / ("x" * 100)
    long_folder.mkdir()
    daemon = Nyrd(long_folder)  # too long for a socket: a short folder of its own instead
    assert len(daemon.socket) < 100 and os.path.exists(daemon.socket)
    store, lost = daemon.connect(), nyr.connect(daemon.socket)
    store.set("/a", 1)
    daemon.stop()
    assert store.closed and not os.path.exists(daemon.socket)
    try:
        lost.get("/a")
    except nyr.StoreError as error:
        assert (error.result, error.meaning) == (nyr.QEL_RESULT_LOST,
                                                 "the connection to nyrd was lost")
    else:
        raise AssertionError("a store of a stopped nyrd answered")
    lost.close()
