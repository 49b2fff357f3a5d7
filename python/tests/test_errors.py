"""StoreError with nyr's meanings, batches with refused items, and bad arguments."""
import pytest

import nyr


def refused(call, *args):
    with pytest.raises(nyr.StoreError) as caught:
        call(*args)
    return caught.value


def test_refused_items_carry_status_path_and_nyrs_meaning(nyr_store, tmp_path):
    e = refused(nyr_store.get, "/missing")
    assert (e.status, e.path, e.meaning, e.result) == (4, "/missing", "not found", None)
    assert str(e) == "/missing: not found (status 4)"
    assert refused(nyr_store.set, "no/slash", 1).status == nyr.QEL_STATUS_BAD_PATH
    assert refused(nyr_store.rm, "/").meaning == "the root cannot be removed or cleared"
    nyr_store.set("/a/leaf", 1)
    nyr_store.mkdir("/b")
    assert refused(nyr_store.mv, "/a", "/b").meaning == "the target exists"
    nyr_store.rm("/a/leaf")  # a leaf is cleared, as nyr rm does
    assert nyr_store.ls("/a") == []
    not_ours = tmp_path / "not-a-store"
    not_ours.write_text("hello")
    e = refused(nyr.open, not_ours)
    assert e.result == nyr.QEL_HOST_OPEN_FOREIGN
    assert e.meaning.startswith("not a store file of ours")
    e = refused(nyr.connect, str(tmp_path / "no-such.sock"))
    assert "cannot reach nyrd" in str(e)


def test_a_batch_writes_what_it_can_then_raises_once_with_every_refused_item(nyr_store):
    nyr_store.set("/plant/leaf", 0)
    e = refused(nyr_store.set_many, {"/plant/a": 1.0, "bad": 2, "/plant/leaf/x": 3, "/plant/b": 4})
    assert [(p, s) for p, s, _ in e.items] == [("bad", 5), ("/plant/leaf/x", 7)]
    assert e.items[1][2] == "is a leaf, not a node (or a leaf lies on the way)"
    assert (e.path, e.status) == ("bad", 5)
    assert nyr_store.get_many(["/plant/a", "/plant/b"]) == [1.0, 4]
    e = refused(nyr_store.get_many, ["/plant/a", "/none", "/plant"])
    assert [(p, s) for p, s, _ in e.items] == [("/none", 4), ("/plant", 6)]
    e = refused(nyr_store.send, [nyr.Event(8, path="/ok"), nyr.Event(8, path="bad")])
    assert [(p, s) for p, s, _ in e.items] == [("bad", 5)]


def test_bad_arguments_raise_clear_python_errors(nyr_store):
    client = nyr_store.client
    cases = [
        (TypeError, nyr_store.set, "/a", None),
        (TypeError, nyr_store.set, "/a", object()),
        (TypeError, nyr_store.set, 7, 1),
        (TypeError, nyr_store.get, None),
        (TypeError, nyr_store.get_many, "/a"),
        (TypeError, nyr_store.set_many, [("/a",)]),
        (TypeError, nyr_store.send, ["not an event"]),
        (ValueError, nyr_store.set, "/a\0b", 1),
        (OverflowError, nyr_store.set, "/a", 2**64),
        (OverflowError, nyr_store.set, "/a", -2**63 - 1),
        (OverflowError, nyr.Element.int32, 2**31),
        (OverflowError, nyr.Element.uint32, -1),
        (OverflowError, nyr.Element.uint64, 2**64),
        (OverflowError, nyr.Element.int64, 2**63),
        (TypeError, nyr.Element.int64, 1.5),
        (TypeError, nyr.Element.int32, True),
        (TypeError, nyr.Element.boolean, 1),
        (TypeError, nyr.Element.blob, "text"),
        (TypeError, nyr.Element.time, 1700000000),
        (TypeError, client.get_leaf, None),
        (TypeError, client.set_leaf, "/a", 1.5),
        (TypeError, client.set_leaves, ["/a"], [nyr.Element()], [2**40]),
        (TypeError, client.event_register, "/a", 2**40),
        (TypeError, nyr.Client, None),
        (TypeError, nyr.Event, 2**40),
    ]
    for error, call, *args in cases:
        with pytest.raises(error):
            call(*args)
    with pytest.raises(AttributeError):
        nyr.Event(0, no_such_field=1)
    event = nyr.Event()
    with pytest.raises(TypeError):
        event.quality = 2**16
    with pytest.raises(TypeError):
        event.event_time = 5
    # The faithful layer's -1 for a batch whose vectors differ in length, not an exception.
    assert client.set_leaves(["/a", "/b"], [nyr.Element.int32(1)], [0, 0]) == (-1, [])


def test_closed_stores_raise_value_error_everywhere(nyr_store):
    client, log = nyr_store.client, nyr.Log(nyr_store)
    with nyr.open() as other:
        watch = other.watch("/")
    assert other.closed
    nyr_store.close()
    nyr_store.close()  # twice is harmless
    for call in (lambda: nyr_store.get("/a"), lambda: nyr_store.set("/a", 1),
                 lambda: client.get_leaf("/a"), lambda: log.retrieve(),
                 lambda: nyr_store.watch("/"), lambda: nyr.Client(nyr_store).test_node("/")):
        with pytest.raises(ValueError, match="closed"):
            call()
    assert list(watch) == []  # a watch of a closed store ends


def test_refused_items_of_a_large_batch_keep_their_paths(nyr_store):
    paths = [f"/big/leaf{i}" if i % 1000 else f"big{i}" for i in range(10000)]
    e = refused(nyr_store.set_many, ((p, i) for i, p in enumerate(paths)))
    assert [p for p, _, _ in e.items] == paths[::1000]
    good = [p for p in paths if p.startswith("/")]
    assert nyr_store.get_many(good) == [int(p[9:]) for p in good]
    assert "10 of 10000 items refused" in str(e)
