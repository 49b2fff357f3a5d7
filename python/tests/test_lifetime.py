"""Stores and handles are released: by close(), by with blocks and when collected."""
import gc
import os

import nyr


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
