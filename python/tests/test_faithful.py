"""The faithful layer: every CNyr and CLog member reached with its arguments in order and its
result and out-values in one tuple, in the member's order."""
import datetime as dt

import nyr

UTC = dt.timezone.utc


def test_tree_members_return_result_then_out_values(nyr_store):
    c = nyr.Client(nyr_store)
    assert c.add_node("/n/a", "src") == (0, 1)
    assert c.test_node("/n/a") == (0, 1)
    assert c.test_node("/n/missing") == (0, nyr.QEL_STATUS_NOT_FOUND)
    assert c.add_nodes(["/n/b", "bad"]) == (0, [1, nyr.QEL_STATUS_BAD_PATH])
    assert c.test_nodes(["/n/b", "/n/c"]) == (0, [1, nyr.QEL_STATUS_NOT_FOUND])
    assert c.set_leaf("/n/a/x", nyr.Element.int32(5), 1) == (0, 1)
    assert c.get_leaf("/n/a/x")[3] == 1  # the tri-state comes back as the property word
    assert c.list_node("/n") == (0, 1, [("a", (nyr.QEL_ELEMENT_NODE, 0)),
                                        ("b", (nyr.QEL_ELEMENT_NODE, 0))])
    result, status, fetched = c.mpl_fetch("/n/a")
    assert (result, status, fetched) == (0, 1, [("x", nyr.Element.int32(5))])
    assert c.copy_node_recursive("/n/a", "/m/a") == (0, 1)
    assert c.move_node("/m/a", "/n/b") == (0, 3)
    assert c.move_node("/m/a", "/o") == (0, 1)
    assert c.get_leaf("/o/x")[2] == nyr.Element.int32(5)
    assert c.clear_leaf("/o/x") == (0, 1)
    assert c.clear_leaves(["/n/a/x", "/n/a/x"]) == (0, [1, nyr.QEL_STATUS_NOT_FOUND])
    assert c.remove_node("/o") == (0, 1)
    assert c.remove_nodes(["/n/a", "/"]) == (0, [1, nyr.QEL_STATUS_ROOT])
    result, statuses, values, properties = c.get_leaves(["/n/b", "/none"])
    assert (result, statuses, properties) == (0, [6, 4], [0, 0])
    assert [v.type for v in values] == [nyr.DATATYPE_INVALID] * 2


def test_read_only_mode_and_the_services(nyr_store):
    c = nyr_store.client
    c.setReadOnly()
    assert c.isReadOnly() and c.set_leaf("/r", nyr.Element.int32(1)) == (0, 1)
    assert c.add_nodes(["/r1", "/r2"]) == (0, [1, 1])
    c.clearReadOnly()
    assert c.test_node("/r") == (0, nyr.QEL_STATUS_NOT_FOUND)
    assert nyr.Client(nyr_store, read_only=True).isReadOnly()
    assert c.watchdog_register("app", 7, True) == (0, 1)
    assert c.watchdog_ping() == (0, 1) and c.watchdog_clear() == (0, 1)
    assert c.set_verbosity(2, 5, "why") == (0, 1)
    assert c.syslog_add("first", 3, "", "third") == 0
    result, uuid = nyr.Client.create_uuid("pump-7")
    assert result == 0 and len(uuid) == 37 and uuid.endswith(b"\0")
    assert nyr.Client.create_uuid("pump-7") == (0, uuid)
    result, digest = nyr.Client.create_hmac(b"key", b"a\0b", 20)
    assert result == 0 and len(digest) == 20
    assert nyr.Client.create_hmac(b"key", b"data", 0)[0] == -1


def test_events_and_the_log_through_the_client_and_log_objects(nyr_store):
    c = nyr_store.client
    assert c.event_register("/e", nyr.ALL_EVENTS, True) == (0, 1)
    start = dt.datetime(2026, 1, 1, tzinfo=UTC)
    kinds = [nyr.Event(t, path="/e/x", event_time=start + dt.timedelta(seconds=i))
             for i, t in enumerate((0x8, 0x20, 0x100))]
    kinds[1].final = True
    kinds[2].severity = -3
    assert c.events_send(kinds) == (0, [1, 1, 1])
    count, events = c.events_get_nonblocking()
    assert count == 3 and [e.type for e in events] == [0x8, 0x20, 0x100]
    assert events[1].final and events[2].severity == -3 and events[0].quality == 192
    assert c.event_clear("/e", nyr.ALL_EVENTS) == (0, 1)
    assert c.event_clear("/e", nyr.ALL_EVENTS) == (0, nyr.QEL_STATUS_NOT_FOUND)
    assert c.events_get_nonblocking() == (0, [])

    log = nyr.Log(nyr_store)
    assert log.store(kinds) == 0
    second = start + dt.timedelta(seconds=1)
    result, found = log.retrieve("/e", from_time=second)
    assert result == 0 and [e.type for e in found] == [0x20, 0x100]
    # flag_a counts from the newest; flag_a != flag_b gives them newest first.
    assert [e.type for e in log.retrieve(option_a=2, flag_a=True, flag_b=True)[1]] == [0x20, 0x100]
    assert [e.type for e in log.retrieve(option_a=2, flag_a=True)[1]] == [0x100, 0x20]
    assert [e.type for e in nyr_store.log(limit=1)] == [0x100]
    assert [e.type for e in nyr_store.log(until=second)] == [0x8, 0x20]
    assert log.clear("/e", to_time=second) == 0
    assert [e.type for e in log.retrieve()[1]] == [0x100]


def test_element_readers_conversion_and_texts():
    e = nyr.Element.string("0x1F")
    assert (e.to_int(), e.to_uint64(), e.to_bool(), e.to_string()) == (31, 31, False, "0x1F")
    assert nyr.Element.double(-1.5).to_uint() == 0 and nyr.Element.double(2.9).to_int64() == 2
    assert nyr.Element.int32(3).to_complex() == complex(3, 0)
    assert nyr.Element.boolean(True).to_timeval() is None
    assert nyr.Element.int64(60).to_timeval() == dt.datetime(1970, 1, 1, 0, 1, tzinfo=UTC)
    assert nyr.Element.blob(b"\0\1").to_string() == "AAE="
    e = nyr.Element.double(2.5, time=dt.datetime(2000, 1, 1, tzinfo=UTC))
    assert e.convert_type(nyr.DATATYPE_STRING) == 0 and e.value == "2.5"
    assert e.timestamp == dt.datetime(2000, 1, 1, tzinfo=UTC)
    assert e.convert_type(42) == -1 and e.type == nyr.DATATYPE_STRING
    assert nyr.Element.uint32(1).to_binary_blob() == (1).to_bytes(4, "little")
    assert nyr.Element.int32(1) != nyr.Element.int64(1) and nyr.Element() != nyr.Element()
    assert repr(nyr.Element.int32(-4)) == "nyr.Element(int32, -4)"
    assert nyr.Element.split_string("a;;b", ";") == ["a", "", "b"]
    assert nyr.Element.merge_strings(["a", "b"]) == "a;b"
    assert nyr.Element.xml_escape("<&>") == "&lt;&amp;&gt;"
    result, encoded = nyr.serialize_element(nyr.Element.string("a\0b"))
    assert result == 0 and encoded.startswith(b"NYRV") and b"a\0b" in encoded
    assert nyr.Event.human_source_string(nyr.Event.format_source_string("a", "b", "c")[1]) == \
        "b@c (a)"
