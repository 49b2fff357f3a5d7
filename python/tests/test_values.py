"""Every type through both layers, bit for bit."""
import copy
import datetime as dt
import math
import struct

import pytest

import nyr

UTC = dt.timezone.utc
NAN_WITH_PAYLOAD = struct.unpack("<d", struct.pack("<Q", 0x7FF80000DEADBEEF))[0]


def bits(x):
    return struct.pack("<d", x)


def same(a, b):
    """Equal values of the same type; floats (and complex parts) compared by their bits."""
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return bits(a) == bits(b)
    if isinstance(a, complex):
        return bits(a.real) == bits(b.real) and bits(a.imag) == bits(b.imag)
    if isinstance(a, dt.datetime):
        return a == b and b.tzinfo is UTC
    return a == b


@pytest.fixture(params=["in process", "nyrd"])
def store(request):
    """The same test on an in-process store and on one that nyrd serves."""
    if request.param == "nyrd":
        return request.getfixturevalue("nyrd").connect()
    return request.getfixturevalue("nyr_store")


PYTHONIC = {
    "/v/true": (True, nyr.DATATYPE_BOOL),
    "/v/false": (False, nyr.DATATYPE_BOOL),
    "/v/int64_min": (-2**63, nyr.DATATYPE_INT64),
    "/v/int64_max": (2**63 - 1, nyr.DATATYPE_INT64),
    "/v/uint64_low": (2**63, nyr.DATATYPE_UINT64),
    "/v/uint64_max": (2**64 - 1, nyr.DATATYPE_UINT64),
    "/v/double": (1450.5, nyr.DATATYPE_FLOAT),
    "/v/minus_zero": (-0.0, nyr.DATATYPE_FLOAT),
    "/v/nan": (NAN_WITH_PAYLOAD, nyr.DATATYPE_FLOAT),
    "/v/inf": (-math.inf, nyr.DATATYPE_FLOAT),
    "/v/text": ("ü\0after NUL", nyr.DATATYPE_STRING),
    "/v/not_utf8": (b"\xff\xfe".decode("utf-8", "surrogateescape"), nyr.DATATYPE_STRING),
    "/v/empty": ("", nyr.DATATYPE_STRING),
    "/v/bytes": (b"\0\xff\0", nyr.DATATYPE_BLOB),
    "/v/no_bytes": (b"", nyr.DATATYPE_BLOB),
    "/v/complex": (complex(1.5, NAN_WITH_PAYLOAD), nyr.DATATYPE_COMPLEX),
    "/v/time": (dt.datetime(2038, 1, 19, 3, 14, 7, 999999, tzinfo=UTC), nyr.DATATYPE_TIME),
    "/v/early": (dt.datetime(1901, 12, 13, 20, 45, 52, 1, tzinfo=UTC), nyr.DATATYPE_TIME),
}


def test_pythonic_values_round_trip_singly_and_in_batches(store):
    nyr_store = store
    for path, (value, code) in PYTHONIC.items():
        nyr_store.set(path, value)
        assert same(value, nyr_store.get(path)), path
        assert nyr_store.element(path).type == code, path
    nyr_store.set_many({"/batch" + p: v for p, (v, _) in PYTHONIC.items()})
    got = nyr_store.get_many(["/batch" + p for p in PYTHONIC])
    for (path, (value, _)), back in zip(PYTHONIC.items(), got):
        assert same(value, back), path
    # bytearray and memoryview are byte arrays too; pairs work as well as a dict.
    nyr_store.set_many([("/v/ba", bytearray(b"\0x")), ("/v/mv", memoryview(b"\1y"))])
    assert nyr_store.get_many(["/v/ba", "/v/mv"]) == [b"\0x", b"\1y"]


def test_times_are_utc_naive_taken_as_utc_and_bounded_to_32_bit_seconds(nyr_store):
    plus_two = dt.timezone(dt.timedelta(hours=2))
    nyr_store.set("/t/aware", dt.datetime(2026, 12, 7, 2, 0, 0, 123456, tzinfo=plus_two))
    assert nyr_store.get("/t/aware") == dt.datetime(2026, 12, 7, 0, 0, 0, 123456, tzinfo=UTC)
    nyr_store.set("/t/naive", dt.datetime(1969, 12, 31, 23, 59, 59, 500000))
    assert nyr_store.get("/t/naive") == dt.datetime(1969, 12, 31, 23, 59, 59, 500000, tzinfo=UTC)
    for outside in (dt.datetime(2038, 1, 19, 3, 14, 8), dt.datetime(1901, 12, 13, 20, 45, 51)):
        with pytest.raises(OverflowError):
            nyr_store.set("/t/outside", outside)
        with pytest.raises(OverflowError):
            nyr.Element.double(1.0, time=outside)
    with pytest.raises(OverflowError):
        nyr_store.log(since=dt.datetime(2100, 1, 1))


FACTORIES = [
    (nyr.Element.boolean, True, nyr.DATATYPE_BOOL, "to_bool"),
    (nyr.Element.int32, -2**31, nyr.DATATYPE_INT, "to_int"),
    (nyr.Element.uint32, 2**32 - 1, nyr.DATATYPE_UINT, "to_uint"),
    (nyr.Element.int64, -2**63, nyr.DATATYPE_INT64, "to_int64"),
    (nyr.Element.uint64, 2**64 - 1, nyr.DATATYPE_UINT64, "to_uint64"),
    (nyr.Element.double, NAN_WITH_PAYLOAD, nyr.DATATYPE_FLOAT, "to_float"),
    (nyr.Element.complex, complex(-0.0, 2.5), nyr.DATATYPE_COMPLEX, "to_complex"),
    (nyr.Element.string, "a\0b", nyr.DATATYPE_STRING, "value"),
    (nyr.Element.blob, b"\0\1\2", nyr.DATATYPE_BLOB, "value"),
    (nyr.Element.time, dt.datetime(2001, 2, 3, 4, 5, 6, 7, tzinfo=UTC), nyr.DATATYPE_TIME,
     "to_timeval"),
]


def test_faithful_elements_round_trip_with_their_time_stamps(store):
    client = nyr.Client(store)
    stamp = dt.datetime(2026, 12, 6, 18, 20, 10, 97469, tzinfo=UTC)
    for make, value, code, reader in FACTORIES:
        element = make(value, time=stamp)
        assert element.type == code and element.timestamp == stamp
        assert client.set_leaf("/f/leaf", element) == (0, 1)
        result, status, back, prop = client.get_leaf("/f/leaf")
        assert (result, status, prop) == (0, 1, 0)
        assert back == element and back.type == code and back.timestamp == stamp
        read = getattr(back, reader)
        assert same(value, read() if callable(read) else read), make.__name__
    # The batch members give the same elements, and the stamp can be replaced on a copy.
    elements = [make(value) for make, value, _, _ in FACTORIES]
    paths = [f"/f/batch{i}" for i in range(len(elements))]
    assert client.set_leaves(paths, elements, [0] * len(paths)) == (0, [1] * len(paths))
    result, statuses, values, properties = client.get_leaves(paths)
    assert values == elements and statuses == [1] * len(paths)
    assert nyr.Element(elements[0], time=stamp).timestamp == stamp
    assert nyr.Element(elements[0]).timestamp is None
    # Without a catalogue the text comes back untranslated.
    assert nyr.Element.uint32(7).to_translated_string("de_DE.UTF-8", domain="none") == "7"


def test_event_fields_cross_the_store_and_the_log_exactly(store):
    nyr_store = store
    when = dt.datetime(2026, 12, 6, 12, 0, 0, 654321, tzinfo=UTC)
    alarm = nyr.Event(0x8, path="/plant/pump", note="bearing\0hot", value=2**64 - 1,
                      event_time=when, event_id=2**64 - 1, details={"k": "v"},
                      waveform_urls=["u1", "u2"], base_priority=7, description="d")
    nyr_store.log_store(alarm)
    (back,) = nyr_store.log("/plant")
    assert (back.note, back.value.value, back.event_time, back.event_id) == \
        ("bearing\0hot", 2**64 - 1, when, 2**64 - 1)
    assert (back.details, back.waveform_urls, back.base_priority) == ({"k": "v"}, ["u1", "u2"], 7)
    assert back.is_alarm() and not back.is_ack()
    result, encoded = nyr.serialize_event(alarm)
    assert result == 0 and encoded.startswith(b"NYRE")
    result, source = nyr.Event.format_source_string("app", "user", "host")
    assert nyr.Event.parse_source_string(source) == (0, "app", "user", "host")


def test_every_event_field_crosses_the_store_exactly(store):
    fields = dict(path="/e/\xff\0x".encode().decode("utf-8", "surrogateescape"), cmd=-2**31,
                  source="a|b", quality=65535, was_logged=True, description="d\0",
                  event_id=2**64 - 1, sequence_id=2**32 - 1, waveform_urls=["u\0", ""],
                  details={"k\0": "v", "l": ""}, cause=2**31 - 1, ack_status=-1,
                  base_priority=2**32 - 1, condition_raised=True, note="n", auto_close=True,
                  variation_level=-7, value=nyr.Element.uint64(2**64 - 1),
                  event_time=dt.datetime(2026, 12, 7, 0, 0, 0, 999999, tzinfo=UTC))
    sent = nyr.Event(0xFC, **fields)  # every generic and alarm field
    client = nyr.Client(store)
    assert client.event_register("/e", nyr.ALL_EVENTS, True) == (0, 1)
    store.send(sent)
    count, (got,) = client.events_get()
    for name, value in fields.items():
        assert getattr(got, name) == value, name
    copied = copy.copy(got)
    copied.note = "other"
    assert got.note == "n"


def test_time_offsets_with_microseconds_carry_into_the_seconds():
    odd = dt.timezone(dt.timedelta(hours=-5, microseconds=500000))
    local = dt.datetime(2000, 1, 1, 0, 0, 0, 600000, tzinfo=odd)
    assert nyr.Element.time(local).value == local.astimezone(UTC)
    e = nyr.Element.int32(1)
    e.timestamp = local
    assert e.timestamp == local and e.timestamp.tzinfo is UTC
    e.timestamp = None
    assert e.timestamp is None and e == copy.deepcopy(e)
