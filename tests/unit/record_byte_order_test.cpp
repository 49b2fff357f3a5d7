// Records are exchanged with the store library in memory, so their byte order is part of the
// interface: scalars lie in host byte order (big-endian on the device). Where each field lies is
// proven at compile time by the assertions in nyr.h, for 32-bit and 64-bit pointers; these tests
// look at the bytes of real records.
#include <gtest/gtest.h>
#include <toolkit/element.h>
#include <toolkit/event.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

using toolkit::CElement;
using toolkit::CEvent;
using Bytes = std::vector<unsigned char>;

template <typename Record>
Bytes bytes_at(const Record& record, std::size_t offset, std::size_t count) {
    const auto* start = reinterpret_cast<const unsigned char*>(&record) + offset;
    return Bytes(start, start + count);
}

// The bytes of a scalar as they lie in memory on this host, given most significant first.
Bytes host(Bytes big_endian) {
    if (__BYTE_ORDER__ != __ORDER_BIG_ENDIAN__) std::reverse(big_endian.begin(), big_endian.end());
    return big_endian;
}

const Bytes kInt1234 = host({0x00, 0x00, 0x04, 0xD2});
const Bytes k64Ascending = host({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
const Bytes kTime1700000000 = host({0x65, 0x53, 0xF1, 0x00});
const Bytes kMicros250000 = host({0x00, 0x03, 0xD0, 0x90});
const Bytes kSeverityMinus3 = host({0xFF, 0xFF, 0xFF, 0xFD});
const Bytes kCmd10 = host({0x00, 0x00, 0x00, 0x0A});
// Quality 192 in the first two bytes of its slot, the other two zero.
const Bytes kQuality192 = [] {
    Bytes slot = host({0x00, 0xC0});
    slot.resize(4);
    return slot;
}();

constexpr std::size_t kValue = offsetof(_element_datatype_t, value);
constexpr std::size_t kSlot = offsetof(_event_t, quality);

TEST(RecordByteOrder, ScalarsLieInHostByteOrder) {
    _element_datatype_t value;
    std::memset(static_cast<void*>(&value), 0, sizeof value);
    value.value.int_value = 1234;
    EXPECT_EQ(bytes_at(value, kValue, 4), kInt1234);
    value.value.uint64_value = 0x0102030405060708ull;
    EXPECT_EQ(bytes_at(value, kValue, 8), k64Ascending);
    value.value.complex_value = {1.5, -2.0};
    EXPECT_EQ(bytes_at(value, kValue, 8), host({0x3F, 0xF8, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytes_at(value, kValue + 8, 8), host({0xC0, 0x00, 0, 0, 0, 0, 0, 0}));
    value.value.time_value = {1700000000, 250000};  // seconds, then microseconds
    EXPECT_EQ(bytes_at(value, kValue, 4), kTime1700000000);
    EXPECT_EQ(bytes_at(value, kValue + 4, 4), kMicros250000);

    // A quality occupies the first two bytes of the slot it shares with the severity; which of
    // them holds the low byte depends on the byte order, so a quality read as a severity differs
    // between hosts.
    _event_t event;
    std::memset(static_cast<void*>(&event), 0, sizeof event);
    event.quality = 192;
    EXPECT_EQ(bytes_at(event, kSlot, 4), kQuality192);
    EXPECT_EQ(event.severity, __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 0x00C00000 : 192);

    // An element is handed to the store as its record: the record is the element's first part.
    CElement element(int32_t{7});
    EXPECT_EQ(static_cast<const void*>(static_cast<const _element_datatype_t*>(&element)),
              static_cast<const void*>(&element));
}

// The record an event builds for the store, and an event read back from a record whose scalar
// bytes were laid down in host byte order.
TEST(RecordByteOrder, EventsWriteAndReadRecordScalarsInHostByteOrder) {
    CEvent alarm(0x8);
    alarm.cmd = 10;
    alarm.value = CElement(int32_t{1234});
    alarm.event_id = 0x0102030405060708ull;
    alarm.event_time = timeval{1700000000, 250000};
    alarm.ack_status = 1234;
    _event_t record = alarm.get_base();
    EXPECT_EQ(bytes_at(record, offsetof(_event_t, cmd), 4), kCmd10);
    EXPECT_EQ(bytes_at(record, offsetof(_event_t, value) + kValue, 4), kInt1234);
    EXPECT_EQ(bytes_at(record, kSlot, 4), kQuality192);
    EXPECT_EQ(bytes_at(record, offsetof(_event_t, event_id), 8), k64Ascending);
    EXPECT_EQ(bytes_at(record, offsetof(_event_t, event_time), 4), kTime1700000000);
    EXPECT_EQ(bytes_at(record, offsetof(_event_t, event_time) + 4, 4), kMicros250000);
    EXPECT_EQ(bytes_at(record, offsetof(_event_t, ack_status), 4), kInt1234);
    destruct_event(&record);
    CEvent severe(0x100);
    severe.severity = -3;
    record = severe.get_base();
    EXPECT_EQ(bytes_at(record, kSlot, 4), kSeverityMinus3);
    destruct_event(&record);

    Bytes image(sizeof(_event_t), 0);
    auto put = [&image](std::size_t offset, const Bytes& bytes) {
        std::memcpy(image.data() + offset, bytes.data(), bytes.size());
    };
    put(offsetof(_event_t, type), host({0, 0, 0, 4}));  // kind 0x4: generic
    put(offsetof(_event_t, cmd), kCmd10);
    put(offsetof(_event_t, value), host({0, 0, 0, DATATYPE_INT}));
    put(offsetof(_event_t, value) + kValue, kInt1234);
    put(kSlot, kQuality192);
    put(offsetof(_event_t, event_id), k64Ascending);
    put(offsetof(_event_t, event_time), kTime1700000000);
    put(offsetof(_event_t, event_time) + 4, kMicros250000);
    std::memcpy(static_cast<void*>(&record), image.data(), image.size());
    CEvent event(0x100);
    event = record;
    EXPECT_EQ(event.type, 4);
    EXPECT_EQ(event.cmd, 10);
    EXPECT_EQ(event.value.to_int(), 1234);
    EXPECT_EQ(event.quality, 192);
    EXPECT_EQ(event.event_id, 0x0102030405060708ull);
    EXPECT_EQ(event.event_time.tv_sec, 1700000000);
    EXPECT_EQ(event.event_time.tv_usec, 250000);
}

}  // namespace
