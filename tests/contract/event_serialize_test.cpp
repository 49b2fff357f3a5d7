// toolkit::serialize_event / serialize_element against the store double: the sizes offered,
// the number of calls, the results returned and the size of `out` afterwards.
#include <toolkit/element.h>
#include <toolkit/serialize.h>

#include <cstring>
#include <vector>

#include "double/store_double.h"

namespace {

class SerializeContract : public nyrdouble::DoubleTest {
protected:
    // The store needs `needed` bytes and reports `written` of them on success.
    void event_store_needs(uint32_t needed, uint32_t written) {
        store().hooks.serialize_event = [this, needed, written](_byte_array_t* buffer, _event_t) {
            offered.push_back(buffer->length);
            if (buffer->length < needed) return static_cast<int>(needed);
            std::memset(buffer->data, 'E', written);
            buffer->length = written;
            return 0;
        };
    }
    std::vector<uint32_t> offered;
    _event_t record{};
};

TEST_F(SerializeContract, OneCallWhenLargeEnoughElseOneExactGrowth) {
    event_store_needs(100, 100);
    std::vector<char> out(4096, 'x');
    EXPECT_EQ(toolkit::serialize_event(out, record), 0);
    EXPECT_EQ(offered, std::vector<uint32_t>{4096});
    EXPECT_EQ(out.size(), 100u);

    offered.clear();
    event_store_needs(100, 90);
    out.clear();
    EXPECT_EQ(toolkit::serialize_event(out, record), 0);
    EXPECT_EQ(offered, (std::vector<uint32_t>{0, 100}));
    EXPECT_EQ(out.size(), 90u) << "the length the second call reports";
    EXPECT_EQ(out[89], 'E');
}

TEST_F(SerializeContract, FailuresKeepTheDocumentedSizes) {
    store().script_result("serialize_event", -5);
    std::vector<char> out(10);
    EXPECT_EQ(toolkit::serialize_event(out, record), -5);
    EXPECT_EQ(out.size(), 10u);
    EXPECT_EQ(store().count("serialize_event"), 1u);

    for (int second : {128, -2}) {
        int calls = 0;
        store().hooks.serialize_event = [&](auto...) { return ++calls == 1 ? 64 : second; };
        out.assign(3, 'x');
        EXPECT_EQ(toolkit::serialize_event(out, record), second);
        EXPECT_EQ(out.size(), 64u) << "sized to the first answer";
        EXPECT_EQ(calls, 2);
    }
}

TEST_F(SerializeContract, ElementPassesValueAndFlagOnBothCalls) {
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

    store().hooks.serialize_element = nullptr;
    store().script_result("serialize_element", -1);
    EXPECT_EQ(toolkit::serialize_element(out, value, false), -1);
    EXPECT_EQ(store().last("serialize_element").numbers, (std::vector<long long>{7, 0}));
    EXPECT_EQ(out.size(), 7u);
}

}  // namespace
