"""Watching and sending events: in process, between stores of one nyrd, from another process."""
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

import nyr
import threshold_app
from nyr.testing import Nyrd, NyrdError

APP = os.path.join(os.path.dirname(__file__), "threshold_app.py")


# The README's example: the application under test runs as a process of its own.
def test_alarm_when_the_temperature_crosses_its_limit(nyrd):
    app = subprocess.Popen([sys.executable, APP, "/plant/pump/temp", "80"], text=True,
                           stdout=subprocess.PIPE, env={**os.environ, "NYR_SOCKET": nyrd.socket})
    assert app.stdout.readline() == "ready\n"
    store = nyrd.connect()
    with store.watch("/plant", kinds=nyr.ALARMS, recursive=True, timeout=10) as alarms:
        store.set("/plant/pump/temp", 75.0)
        store.set("/plant/pump/temp", 85.5)
        alarm = next(alarms)
    app.terminate()
    assert (alarm.path, alarm.value.value, alarm.note) == ("/plant/pump/temp", 85.5, "above 80.0")


# The same application in process, in a thread of the test.
def test_alarm_from_the_application_in_process(nyr_store):
    ready = threading.Event()
    app = threading.Thread(target=threshold_app.run,
                           args=(nyr_store, "/plant/pump/temp", 80, ready.set))
    with nyr_store.watch("/plant", kinds=nyr.ALARMS, recursive=True, timeout=10) as alarms:
        app.start()
        ready.wait(10)
        nyr_store.set("/plant/pump/temp", 85.5)
        alarm = next(alarms)
    nyr_store.close()  # ends the application's watch
    app.join()
    assert (alarm.path, alarm.note) == ("/plant/pump/temp", "above 80")


def test_events_between_two_stores_of_one_nyrd(nyrd):
    writer, reader = nyrd.connect(), nyrd.connect()
    with reader.watch("/plant", kinds=nyr.TREE_CHANGES | nyr.ALARMS, recursive=True,
                      timeout=10) as events:
        writer.set("/plant/pump/speed", 1450.5, source="rig")
        writer.send(nyr.Event(0x8, path="/plant/pump", note="bearing hot"))
        # The nodes the write created are announced first.
        added = [next(events), next(events)]
        change, alarm = next(events), next(events)
    assert [(e.cmd, e.path) for e in added] == [(nyr.QEL_HOST_CHANGE_NODE_ADDED, "/plant"),
                                                (nyr.QEL_HOST_CHANGE_NODE_ADDED, "/plant/pump")]
    assert (change.type, change.cmd, change.path) == (nyr.TREE_CHANGES,
                                                      nyr.QEL_HOST_CHANGE_LEAF_SET,
                                                      "/plant/pump/speed")
    assert change.value.value == 1450.5 and change.source == "rig"
    assert change.event_time.tzinfo is not None
    assert (alarm.type, alarm.note) == (0x8, "bearing hot")
    assert reader.remote and reader.get("/plant/pump/speed") == 1450.5


@pytest.mark.parametrize("where", ["in process", "nyrd"])
def test_a_thread_runs_while_another_waits_in_watch(where, request):
    nyr_store = request.getfixturevalue("nyrd").connect() if where == "nyrd" else \
        request.getfixturevalue("nyr_store")
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(time.monotonic())
            sum(range(1000))  # Python work that needs the GIL

    with nyr_store.watch("/quiet", timeout=0.5) as events:
        ticker = threading.Thread(target=tick)
        start = time.monotonic()
        ticker.start()
        assert list(events) == []
        end = time.monotonic()
    stop.set()
    ticker.join()
    # Both waits of the store (200 ms each) ran without the GIL: the ticker ran all along.
    assert end - start >= 0.5
    inside = [t for t in ticks if start + 0.05 < t < end - 0.05]
    assert len(inside) > 100 and max(b - a for a, b in zip(inside, inside[1:])) < 0.1


@pytest.mark.parametrize("where", ["in process", "nyrd"])
def test_closing_a_store_ends_a_watch_waiting_in_another_thread(where, request):
    store = request.getfixturevalue("nyrd").connect() if where == "nyrd" else nyr.open()
    watch = store.watch("/")
    outcome = []

    def wait():
        try:
            outcome.extend(watch)
            outcome.append("ended")
        except Exception as error:
            outcome.append(error)

    waiter = threading.Thread(target=wait)
    waiter.start()
    time.sleep(0.1)
    store.close()
    waiter.join(5)
    assert outcome == ["ended"]


def test_threads_share_one_store(nyr_store):
    def work(n):
        for round in range(50):
            items = {f"/t{n}/leaf{i}": round * 100 + i for i in range(100)}
            nyr_store.set_many(items)
            assert nyr_store.get_many(list(items)) == list(items.values())

    threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert [nyr_store.get(f"/t{n}/leaf99") for n in range(4)] == [4999] * 4


def test_ctrl_c_interrupts_a_watch_without_timeout(nyr_store):
    def interrupt(signum, frame):
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, interrupt)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.3)
        with pytest.raises(KeyboardInterrupt), nyr_store.watch("/") as events:
            list(events)
    finally:
        signal.signal(signal.SIGALRM, previous)


def test_a_watch_gets_the_kinds_and_paths_it_registered_for(nyr_store):
    with nyr_store.watch("/p", kinds=nyr.ALARMS, timeout=0.3) as alarms, \
            nyr_store.watch("/p", kinds=nyr.TREE_CHANGES, recursive=True, timeout=0.3) as tree:
        nyr_store.mkdir("/p/q")
        nyr_store.send([nyr.Event(0x8, path="/p"), nyr.Event(0x8, path="/p/q"),
                        nyr.Event(0x4, path="/p")])
        nyr_store.set("/p/q/leaf", True)
        nyr_store.cp("/p/q", "/p/r")
        nyr_store.mv("/p/r", "/p/s")
        nyr_store.rm("/p/q")
        assert [(e.type, e.path) for e in alarms] == [(0x8, "/p")]
        changes = [(e.cmd, e.path) for e in tree]
    assert changes[:2] == [(nyr.QEL_HOST_CHANGE_NODE_ADDED, "/p"),
                           (nyr.QEL_HOST_CHANGE_NODE_ADDED, "/p/q")]
    assert changes[-1] == (nyr.QEL_HOST_CHANGE_NODE_REMOVED, "/p/q")
    assert [(e.name, e.is_node) for e in nyr_store.ls("/p")] == [("s", True)]
    assert nyr_store.get("/p/s/leaf") is True


def test_a_timeout_counts_from_the_last_event_and_watches_have_queues_of_their_own(nyr_store):
    def write_for_a_while():
        for i in range(8):
            time.sleep(0.1)
            nyr_store.set("/w/leaf", i)

    writer = threading.Thread(target=write_for_a_while)
    with nyr_store.watch("/w", recursive=True, timeout=0.45) as first, \
            nyr_store.watch("/w/leaf", timeout=0.45) as second:
        writer.start()
        got = [e.value.value for e in first if e.cmd == nyr.QEL_HOST_CHANGE_LEAF_SET]
        assert got == list(range(8))  # 0.8 s of writes, none 0.45 s apart
        assert [e.value.value for e in second] == list(range(8))
    writer.join()


def test_a_watch_ends_on_timeout_and_on_close(nyr_store):
    watch = nyr_store.watch("/plant", kinds=nyr.TREE_CHANGES, recursive=True, timeout=0.2)
    nyr_store.set("/plant/a", 1)
    assert [(e.cmd, e.path) for e in watch] == [(nyr.QEL_HOST_CHANGE_NODE_ADDED, "/plant"),
                                                (nyr.QEL_HOST_CHANGE_LEAF_SET, "/plant/a")]
    watch.close()
    assert list(watch) == []
    with pytest.raises(nyr.StoreError) as caught:
        nyr_store.watch("bad path")
    assert caught.value.status == nyr.QEL_STATUS_BAD_PATH


def test_a_second_nyrd_on_the_same_socket_fails_with_nyrds_message(nyrd, tmp_path):
    with pytest.raises(NyrdError, match="nyrd did not start: .+"):
        Nyrd(os.path.dirname(nyrd.socket))
    assert nyrd.connect().ls("/") == []
