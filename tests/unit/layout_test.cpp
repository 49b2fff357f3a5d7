// Records are exchanged with the store library in memory, so their layout and byte order are part
// of the interface. These tests look at the bytes of real records: where each field lands for
// this build's pointer width, and in which byte order scalars lie. On the device (32-bit
// pointers, big-endian) the offsets are the fixed ones of the value record (32 bytes) and the
// event record (160 bytes); on a 64-bit host each pointer widens and the fields after it move.
#include <gtest/gtest.h>
#include <toolkit/element.h>
#include <toolkit/event.h>

#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using toolkit::CElement;
using toolkit::CEvent;
using Bytes = std::vector<unsigned char>;

constexpr bool kDevicePointers = sizeof(void*) == 4;
constexpr std::size_t kPointer = sizeof(void*);

// Offsets in the event record: on the device, and with 8-byte pointers.
constexpr std::size_t at(std::size_t device, std::size_t wide) {
    return kDevicePointers ? device : wide;
}

template <typename Record>
Bytes image_of(const Record& record) {
    Bytes out(sizeof(Record));
    std::memcpy(out.data(), static_cast<const void*>(&record), sizeof(Record));
    return out;
}

Bytes bytes_at(const Bytes& image, std::size_t offset, std::size_t count) {
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(offset),
                 image.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

Bytes bytes_of(const std::vector<char>& blob) {
    return Bytes(blob.begin(), blob.end());
}

// A double none of whose bytes is zero, so that writing it changes every byte of the field.
double marker_double() {
    const std::uint64_t bits = 0x8182838485868788ull;
    double out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
}

// The offset of the first byte that changes when `set` writes a field of a zeroed record.
template <typename Record, typename Set>
std::size_t offset_written_by(Set set) {
    Record blank;
    std::memset(static_cast<void*>(&blank), 0, sizeof blank);
    Record marked = blank;
    set(marked);
    const Bytes before = image_of(blank);
    const Bytes after = image_of(marked);
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (before[i] != after[i]) return i;
    }
    return sizeof(Record);
}

// Expected bytes of scalars, as they lie in memory on this host.
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
const Bytes kInt1234 = {0x00, 0x00, 0x04, 0xD2};
const Bytes kUintDeadBeef = {0xDE, 0xAD, 0xBE, 0xEF};
const Bytes kDoubleOneAndHalf = {0x3F, 0xF8, 0, 0, 0, 0, 0, 0};
const Bytes kDoubleMinusTwo = {0xC0, 0x00, 0, 0, 0, 0, 0, 0};
const Bytes k64Ascending = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
const Bytes kTime1700000000 = {0x65, 0x53, 0xF1, 0x00};
const Bytes kMicros250000 = {0x00, 0x03, 0xD0, 0x90};
const Bytes kQuality192 = {0x00, 0xC0};
const Bytes kSeverityMinus3 = {0xFF, 0xFF, 0xFF, 0xFD};
const Bytes kCmd10 = {0x00, 0x00, 0x00, 0x0A};
const Bytes kWord2 = {0, 0, 0, 2};
const Bytes kWord4 = {0, 0, 0, 4};
const Bytes kWord8 = {0, 0, 0, 8};
#else
const Bytes kInt1234 = {0xD2, 0x04, 0x00, 0x00};
const Bytes kUintDeadBeef = {0xEF, 0xBE, 0xAD, 0xDE};
const Bytes kDoubleOneAndHalf = {0, 0, 0, 0, 0, 0, 0xF8, 0x3F};
const Bytes kDoubleMinusTwo = {0, 0, 0, 0, 0, 0, 0x00, 0xC0};
const Bytes k64Ascending = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
const Bytes kTime1700000000 = {0x00, 0xF1, 0x53, 0x65};
const Bytes kMicros250000 = {0x90, 0xD0, 0x03, 0x00};
const Bytes kQuality192 = {0xC0, 0x00};
const Bytes kSeverityMinus3 = {0xFD, 0xFF, 0xFF, 0xFF};
const Bytes kCmd10 = {0x0A, 0x00, 0x00, 0x00};
const Bytes kWord2 = {2, 0, 0, 0};
const Bytes kWord4 = {4, 0, 0, 0};
const Bytes kWord8 = {8, 0, 0, 0};
#endif

TEST(ValueRecordLayout, FieldsLieAtTheFixedOffsets) {
    using R = _element_datatype_t;
    EXPECT_EQ(sizeof(R), 32u);
    EXPECT_EQ(alignof(R), 8u);
    EXPECT_EQ(sizeof(qel_time32_t), 8u);
    EXPECT_EQ(sizeof(_byte_array_t), 2 * kPointer);

    EXPECT_EQ(offset_written_by<R>([](R& r) { r.type = static_cast<data_type_t>(-1); }), 0u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.timestamp.tv_sec = -1; }), 4u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.timestamp.tv_usec = -1; }), 8u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.bool_value = 1; }), 16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.int_value = -1; }), 16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.uint_value = ~0u; }), 16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.float_value = marker_double(); }), 16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.int64_value = -1; }), 16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.uint64_value = ~0ull; }), 16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.time_value.tv_sec = -1; }), 16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.time_value.tv_usec = -1; }), 20u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.complex_value.real = marker_double(); }),
              16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.complex_value.imag = marker_double(); }),
              24u);
    EXPECT_EQ(offset_written_by<R>([](R& r) {
                  std::memset(&r.value.string_value.data, 0xA5, sizeof r.value.string_value.data);
              }),
              16u);
    EXPECT_EQ(offset_written_by<R>([](R& r) {
                  std::memset(&r.value.blob_value.data, 0xA5, sizeof r.value.blob_value.data);
              }),
              16u);
    // The length follows the data pointer: offset 20 on the device, 24 with 8-byte pointers.
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.string_value.length = ~0u; }), 16 + kPointer);
    EXPECT_EQ(offset_written_by<R>([](R& r) { r.value.blob_value.length = ~0u; }), 16 + kPointer);

    // An element is handed to the store as its record: the record is the element's first part.
    CElement element(int32_t{7});
    EXPECT_EQ(static_cast<const void*>(static_cast<const _element_datatype_t*>(&element)),
              static_cast<const void*>(&element));
}

TEST(EventRecordLayout, FieldsLieAtTheFixedOffsets) {
    using E = _event_t;
    EXPECT_EQ(sizeof(E), at(160, 208));
    EXPECT_EQ(alignof(E), 8u);
    EXPECT_EQ(offset_written_by<E>([](E& e) { e._reserved = -1; }), 0u);
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.type = -1; }), 4u);
    EXPECT_EQ(
        offset_written_by<E>([](E& e) { std::memset(&e.path.data, 0xA5, sizeof e.path.data); }),
        8u);
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.path.length = ~0u; }), 8 + kPointer);
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.cmd = -1; }), at(16, 24));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.value.type = static_cast<data_type_t>(-1); }),
              at(24, 32));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.value.value.int_value = -1; }), at(40, 48));
    EXPECT_EQ(
        offset_written_by<E>([](E& e) { std::memset(&e.source.data, 0xA5, sizeof e.source.data); }),
        at(56, 64));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.severity = -1; }), at(64, 80));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.quality = 0xFFFF; }), at(64, 80));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.was_logged = 1; }), at(68, 84));
    EXPECT_EQ(offset_written_by<E>(
                  [](E& e) { std::memset(&e.description.data, 0xA5, sizeof e.description.data); }),
              at(72, 88));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.event_id = ~0ull; }), at(80, 104));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.sequence_id = ~0u; }), at(88, 112));
    EXPECT_EQ(offset_written_by<E>(
                  [](E& e) { std::memset(&e.waveform_urls, 0xA5, sizeof e.waveform_urls); }),
              at(92, 120));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.waveform_url_count = ~0u; }), at(96, 128));
    EXPECT_EQ(
        offset_written_by<E>([](E& e) { std::memset(&e.detail_keys, 0xA5, sizeof e.detail_keys); }),
        at(100, 136));
    EXPECT_EQ(offset_written_by<E>(
                  [](E& e) { std::memset(&e.detail_values, 0xA5, sizeof e.detail_values); }),
              at(104, 144));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.detail_count = ~0u; }), at(108, 152));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.event_time.tv_sec = -1; }), at(112, 156));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.event_time.tv_usec = -1; }), at(116, 160));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.cause = -1; }), at(120, 164));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.final = 1; }), at(124, 168));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.ack_status = -1; }), at(128, 172));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.base_priority = ~0u; }), at(132, 176));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.condition_raised = 1; }), at(136, 180));
    EXPECT_EQ(
        offset_written_by<E>([](E& e) { std::memset(&e.note.data, 0xA5, sizeof e.note.data); }),
        at(140, 184));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.note.length = ~0u; }), at(144, 192));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.auto_close = 1; }), at(148, 200));
    EXPECT_EQ(offset_written_by<E>([](E& e) { e.variation_level = -1; }), at(152, 204));
}

TEST(RecordByteOrder, ScalarsLieInHostByteOrder) {
    _element_datatype_t value;
    std::memset(static_cast<void*>(&value), 0, sizeof value);
    value.value.int_value = 1234;
    EXPECT_EQ(bytes_at(image_of(value), 16, 4), kInt1234);
    value.value.uint64_value = 0x0102030405060708ull;
    EXPECT_EQ(bytes_at(image_of(value), 16, 8), k64Ascending);
    value.value.complex_value = {1.5, -2.0};
    EXPECT_EQ(bytes_at(image_of(value), 16, 8), kDoubleOneAndHalf);
    EXPECT_EQ(bytes_at(image_of(value), 24, 8), kDoubleMinusTwo);
    value.value.time_value = {1700000000, 250000};
    EXPECT_EQ(bytes_at(image_of(value), 16, 4), kTime1700000000);
    EXPECT_EQ(bytes_at(image_of(value), 20, 4), kMicros250000);

    _event_t event;
    std::memset(static_cast<void*>(&event), 0, sizeof event);
    // The 64-bit event id: on the device its high word comes first.
    event.event_id = 0x0102030405060708ull;
    EXPECT_EQ(bytes_at(image_of(event), at(80, 104), 8), k64Ascending);
    // A quality occupies the first two bytes of the shared slot; which of them holds the low
    // byte depends on the byte order, so a quality read as a severity differs between hosts.
    event.quality = 192;
    EXPECT_EQ(bytes_at(image_of(event), at(64, 80), 2), kQuality192);
    EXPECT_EQ(bytes_at(image_of(event), at(66, 82), 2), (Bytes{0, 0}));
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    EXPECT_EQ(event.severity, 0x00C00000);
#else
    EXPECT_EQ(event.severity, 192);
#endif
    event.severity = -3;
    EXPECT_EQ(bytes_at(image_of(event), at(64, 80), 4), kSeverityMinus3);
}

TEST(BinaryBlob, ScalarsComeOutInHostByteOrder) {
    std::vector<char> out{'x', 'y'};
    CElement(int32_t{1234}).to_binary_blob(out);
    EXPECT_EQ(bytes_of(out), kInt1234);
    CElement(uint32_t{0xDEADBEEF}).to_binary_blob(out);
    EXPECT_EQ(bytes_of(out), kUintDeadBeef);
    CElement(1.5).to_binary_blob(out);
    EXPECT_EQ(bytes_of(out), kDoubleOneAndHalf);
    CElement(std::int64_t{0x0102030405060708}).to_binary_blob(out);
    EXPECT_EQ(bytes_of(out), k64Ascending);
    CElement(std::uint64_t{0x0102030405060708u}).to_binary_blob(out);
    EXPECT_EQ(bytes_of(out), k64Ascending);

    // Seconds then microseconds, each in host byte order.
    CElement::from_time(timeval{1700000000, 250000}).to_binary_blob(out);
    Bytes time_bytes = kTime1700000000;
    time_bytes.insert(time_bytes.end(), kMicros250000.begin(), kMicros250000.end());
    EXPECT_EQ(bytes_of(out), time_bytes);

    // Real part, then imaginary part.
    CElement(std::complex<double>(1.5, -2.0)).to_binary_blob(out);
    Bytes complex_bytes = kDoubleOneAndHalf;
    complex_bytes.insert(complex_bytes.end(), kDoubleMinusTwo.begin(), kDoubleMinusTwo.end());
    EXPECT_EQ(bytes_of(out), complex_bytes);
}

TEST(BinaryBlob, ConversionToBlobKeepsHostByteOrder) {
    CElement element(int32_t{1234}, timeval{42, 0});
    ASSERT_EQ(element.convert_type(DATATYPE_BLOB), 0);
    EXPECT_EQ(element.type, DATATYPE_BLOB);
    EXPECT_EQ(element.value.blob_value.length, 4u);
    ASSERT_EQ(element.blob_buffer().size(), 4u);
    EXPECT_EQ(static_cast<const void*>(element.value.blob_value.data),
              static_cast<const void*>(element.blob_buffer().data()));
    EXPECT_EQ(bytes_of(element.blob_buffer()), kInt1234);
    EXPECT_EQ(element.timestamp.tv_sec, 42);

    CElement wide(std::uint64_t{0x0102030405060708u});
    ASSERT_EQ(wide.convert_type(DATATYPE_BLOB), 0);
    EXPECT_EQ(bytes_of(wide.blob_buffer()), k64Ascending);
}

// The record an event builds for the store: scalars in host byte order at the fixed offsets,
// the value record copied whole, alignment bytes zero.
TEST(EventRecordBytes, GetBaseWritesScalarsInHostByteOrder) {
    CEvent alarm(0x8);
    alarm.cmd = 10;
    alarm.value = CElement(int32_t{1234});
    alarm.event_id = 0x0102030405060708ull;
    alarm.event_time = timeval{1700000000, 250000};
    alarm.was_logged = true;
    alarm.condition_raised = true;
    alarm.auto_close = true;
    alarm.ack_status = 1234;
    _event_t record = alarm.get_base();
    const Bytes image = image_of(record);
    destruct_event(&record);

    EXPECT_EQ(bytes_at(image, 0, 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(bytes_at(image, 4, 4), kWord8);
    EXPECT_EQ(bytes_at(image, at(16, 24), 4), kCmd10);
    EXPECT_EQ(bytes_at(image, at(20, 28), 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(bytes_at(image, at(24, 32), 32), image_of<_element_datatype_t>(alarm.value));
    EXPECT_EQ(bytes_at(image, at(40, 48), 4), kInt1234);
    EXPECT_EQ(bytes_at(image, at(64, 80), 4), (Bytes{kQuality192[0], kQuality192[1], 0, 0}));
    EXPECT_EQ(bytes_at(image, at(68, 84), 4), (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(bytes_at(image, at(80, 104), 8), k64Ascending);
    EXPECT_EQ(bytes_at(image, at(112, 156), 4), kTime1700000000);
    EXPECT_EQ(bytes_at(image, at(116, 160), 4), kMicros250000);
    EXPECT_EQ(bytes_at(image, at(124, 168), 4), (Bytes{0, 0, 0, 0}));  // final: not kind 0x20
    EXPECT_EQ(bytes_at(image, at(128, 172), 4), kInt1234);
    EXPECT_EQ(bytes_at(image, at(136, 180), 4), (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(bytes_at(image, at(148, 200), 4), (Bytes{1, 0, 0, 0}));

    CEvent severe(0x100);
    severe.severity = -3;
    record = severe.get_base();
    const Bytes severe_image = image_of(record);
    destruct_event(&record);
    EXPECT_EQ(bytes_at(severe_image, at(64, 80), 4), kSeverityMinus3);
}

// The other direction: a record whose scalar bytes were laid down in host byte order reads back
// as the numbers they encode.
TEST(EventRecordBytes, AssignmentReadsScalarsInHostByteOrder) {
    Bytes image(sizeof(_event_t), 0);
    auto put = [&image](std::size_t offset, const Bytes& bytes) {
        std::memcpy(image.data() + offset, bytes.data(), bytes.size());
    };
    put(4, kWord4);  // kind 0x4: generic
    put(at(16, 24), kCmd10);
    put(at(24, 32), kWord2);                         // DATATYPE_INT
    put(at(28, 36), Bytes{0xFF, 0xFF, 0xFF, 0xFF});  // no time stamp
    put(at(40, 48), kInt1234);
    put(at(64, 80), kQuality192);
    put(at(80, 104), k64Ascending);
    put(at(112, 156), kTime1700000000);
    put(at(116, 160), kMicros250000);
    _event_t record;
    std::memcpy(static_cast<void*>(&record), image.data(), image.size());
    static char path[] = "/a";
    record.path = _byte_array_t{path, 2};

    CEvent event(0x100);
    event = record;
    EXPECT_EQ(event.type, 4);
    EXPECT_EQ(event.path, "/a");
    EXPECT_EQ(event.cmd, 10);
    EXPECT_EQ(event.value.type, DATATYPE_INT);
    EXPECT_EQ(event.value.to_int(), 1234);
    EXPECT_EQ(event.quality, 192);
    EXPECT_EQ(event.event_id, 0x0102030405060708ull);
    EXPECT_EQ(event.event_time.tv_sec, 1700000000);
    EXPECT_EQ(event.event_time.tv_usec, 250000);
}

}  // namespace
