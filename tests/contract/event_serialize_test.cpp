// toolkit::serialize_event / serialize_element against the store double: the sizes offered,
// the number of calls, the results returned and the size of `out` afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <toolkit/serialize.h>

#include "double/store_double.h"
#include "unit/event_samples.h"

namespace {

class SerializeContract : public nyrdouble::DoubleTest {
protected:
    // The store needs `needed` bytes; it writes `written` of them (defaults to `needed`).
    void event_store_needs(uint32_t needed, uint32_t written = 0) {
        if (written == 0) written = needed;
        store().hooks.serialize_event = [this, needed, written](_byte_array_t* buffer, _event_t) {
            offered.push_back(buffer->length);
            if (buffer->length < needed) return static_cast<int>(needed);
            std::memset(buffer->data, 'E', written);
            buffer->length = written;
            return 0;
        };
    }
    std::vector<uint32_t> offered;
};

} // namespace

TEST_F(SerializeContract, LargeEnoughBufferTakesOneCall) {
    event_store_needs(100);
    const toolkit::CEvent event = eventtest::full_event(0x8);
    _event_t record = event.get_base();
    std::vector<char> out(4096, 'x');
    EXPECT_EQ(toolkit::serialize_event(out, record), 0);
    EXPECT_EQ(offered, std::vector<uint32_t>{4096});
    EXPECT_EQ(out.size(), 100u);
    EXPECT_EQ(out[99], 'E');
    EXPECT_EQ(store().last("serialize_event").events.at(0).path, "/plant/a");
    destruct_event(&record);
}

TEST_F(SerializeContract, EmptyBufferGrowsOnceToTheReportedSize) {
    event_store_needs(100, 90);
    _event_t record;
    std::memset(static_cast<void*>(&record), 0, sizeof record);
    std::vector<char> out;
    EXPECT_EQ(toolkit::serialize_event(out, record), 0);
    EXPECT_EQ(offered, (std::vector<uint32_t>{0, 100}));
    EXPECT_EQ(out.size(), 90u) << "the length the second call reports";
    EXPECT_EQ(store().count("serialize_event"), 2u);
}

TEST_F(SerializeContract, FailuresKeepTheDocumentedSizes) {
    _event_t record;
    std::memset(static_cast<void*>(&record), 0, sizeof record);

    store().script_result("serialize_event", -5);
    std::vector<char> out(10);
    EXPECT_EQ(toolkit::serialize_event(out, record), -5);
    EXPECT_EQ(out.size(), 10u);
    EXPECT_EQ(store().count("serialize_event"), 1u);

    // Positive twice: the second result comes back, `out` sized to the first.
    int calls = 0;
    store().hooks.serialize_event = [&calls](_byte_array_t*, _event_t) {
        return ++calls == 1 ? 64 : 128;
    };
    out.assign(3, 'x');
    EXPECT_EQ(toolkit::serialize_event(out, record), 128);
    EXPECT_EQ(out.size(), 64u);
    EXPECT_EQ(calls, 2);

    // Negative on the second call: returned, `out` sized to the first answer.
    calls = 0;
    store().hooks.serialize_event = [&calls](_byte_array_t*, _event_t) {
        return ++calls == 1 ? 32 : -2;
    };
    out.clear();
    EXPECT_EQ(toolkit::serialize_event(out, record), -2);
    EXPECT_EQ(out.size(), 32u);
}

TEST_F(SerializeContract, ElementPassesFlagAndValueAndFollowsTheSameContract) {
    std::vector<uint32_t> sizes;
    std::vector<bool> flags;
    store().hooks.serialize_element = [&](_byte_array_t* buffer, _element_datatype_t v, bool flag) {
        sizes.push_back(buffer->length);
        flags.push_back(flag);
        const uint32_t needed = v.value.string_value.length + 10;
        if (buffer->length < needed) return static_cast<int>(needed);
        std::memcpy(buffer->data, v.value.string_value.data, v.value.string_value.length);
        buffer->length = v.value.string_value.length;
        return 0;
    };
    const toolkit::CElement value("payload");
    std::vector<char> out;
    EXPECT_EQ(toolkit::serialize_element(out, value, true), 0);
    EXPECT_EQ(sizes, (std::vector<uint32_t>{0, 17}));
    EXPECT_EQ(flags, (std::vector<bool>{true, true}));
    EXPECT_EQ(std::string(out.begin(), out.end()), "payload");
    EXPECT_EQ(store().last("serialize_element").payloads.at(0), "payload");

    sizes.clear();
    flags.clear();
    out.resize(50);
    EXPECT_EQ(toolkit::serialize_element(out, value, false), 0);
    EXPECT_EQ(sizes, std::vector<uint32_t>{50});
    EXPECT_EQ(flags, std::vector<bool>{false});
    EXPECT_EQ(out.size(), 7u);

    store().hooks.serialize_element = nullptr;
    store().script_result("serialize_element", -1);
    out.resize(5);
    EXPECT_EQ(toolkit::serialize_element(out, value, false), -1);
    EXPECT_EQ(out.size(), 5u);
}
