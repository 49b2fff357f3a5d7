// What the single-item members of the client hand to the store, and what they make of its answer.
#include <toolkit/nyr.h>

#include <gtest/gtest.h>

#include <cstring>

#include "double/store_double.h"

using toolkit::CElement;
using toolkit::CNyr;

namespace {

class SingleItems : public nyrdouble::DoubleTest {
protected:
    void TearDown() override {
        CElement::_auto_time = true;
        CElement::_forced_auto_time = false;
        DoubleTest::TearDown();
    }
    CNyr client{fake_handle()};
};

// Every write member, called through one signature so that rules common to all can be checked.
struct Write {
    const char* fn;
    int (*call)(CNyr&, api_status_t&);
};

const Write kWrites[] = {
    {"add_node", [](CNyr& c, api_status_t& s) { return c.add_node("/a", s, "src"); }},
    {"remove_node", [](CNyr& c, api_status_t& s) { return c.remove_node("/a", s, "src"); }},
    {"clear_leaf", [](CNyr& c, api_status_t& s) { return c.clear_leaf("/a", s, "src"); }},
    {"set_leaf",
     [](CNyr& c, api_status_t& s) { return c.set_leaf("/a", CElement(int32_t{1}), s, 0, "src"); }},
};

} // namespace

TEST_F(SingleItems, NullHandleGivesMinusOneAndTouchesNothing) {
    CNyr none(nullptr, true); // read-only as well: the handle test comes first
    for (const Write& w : kWrites) {
        api_status_t status = 77;
        EXPECT_EQ(w.call(none, status), -1) << w.fn;
        EXPECT_EQ(status, 77) << w.fn;
    }
    api_status_t status = 77;
    CElement value("kept");
    element_property_t property = 5;
    EXPECT_EQ(none.test_node("/a", status), -1);
    EXPECT_EQ(none.get_leaf("/a", status, value, property), -1);
    EXPECT_EQ(status, 77);
    EXPECT_EQ(property, 5u);
    EXPECT_TRUE(value == CElement("kept"));
    EXPECT_TRUE(store().calls.empty());
}

TEST_F(SingleItems, ReadOnlyRefusesWritesAsSuccessWithoutAStoreCall) {
    client.setReadOnly();
    EXPECT_TRUE(client.isReadOnly());
    for (const Write& w : kWrites) {
        api_status_t status = 0;
        EXPECT_EQ(w.call(client, status), 0) << w.fn;
        EXPECT_EQ(status, 1) << w.fn;
    }
    EXPECT_TRUE(store().calls.empty());

    // Reads are not affected.
    api_status_t status = 0;
    CElement value;
    element_property_t property = 0;
    client.test_node("/a", status);
    client.get_leaf("/a", status, value, property);
    EXPECT_EQ(store().call_names(), (std::vector<std::string>{"test_node", "get_leaf"}));

    client.clearReadOnly();
    EXPECT_FALSE(client.isReadOnly());
    for (const Write& w : kWrites) {
        api_status_t s = 0;
        w.call(client, s);
        EXPECT_EQ(store().count(w.fn), 1u) << w.fn;
    }
    EXPECT_TRUE(CNyr(fake_handle(), true).isReadOnly());
}

TEST_F(SingleItems, WritesPassArgumentsInOrderAndResultsUnchanged) {
    for (const Write& w : kWrites) {
        store().script_result(w.fn, -42);
        store().script_status(w.fn, 9);
        api_status_t status = 0;
        EXPECT_EQ(w.call(client, status), -42) << w.fn;
        EXPECT_EQ(status, 9) << w.fn; // written by the store through the caller's address
        const nyrdouble::Call& call = store().last(w.fn);
        EXPECT_EQ(call.handle, fake_handle());
        ASSERT_EQ(call.texts.size(), 2u);
        EXPECT_EQ(call.texts[0], "/a");
        EXPECT_EQ(call.texts[1], "src");
        EXPECT_EQ(call.pointers.back(), &status);
    }
}

TEST_F(SingleItems, EmptyTextsGoAsEmptyStringsNotNull) {
    api_status_t status = 0;
    client.add_node("", status, "");
    client.set_leaf("", CElement(true), status, 0, "");
    client.test_node("", status);
    for (const char* fn : {"add_node", "set_leaf", "test_node"}) {
        for (const nyrdouble::Text& t : store().last(fn).texts) {
            ASSERT_TRUE(t.has_value()) << fn;
            EXPECT_EQ(*t, "") << fn;
        }
    }
}

TEST_F(SingleItems, SetLeafPassesTheRecordAndTriState) {
    CElement value("payload", timeval{10, 20});
    api_status_t status = 0;
    client.set_leaf("/leaf", value, status, 7, "s");
    const nyrdouble::Call& call = store().last("set_leaf");
    ASSERT_EQ(call.values.size(), 1u);
    EXPECT_EQ(std::memcmp(&call.values[0], static_cast<const _element_datatype_t*>(&value),
                          sizeof(_element_datatype_t)),
              0);
    // The text is read from the element's own buffer during the call.
    EXPECT_EQ(call.values[0].value.string_value.data, value.string_buffer().data());
    EXPECT_EQ(call.payloads[0], "payload");
    EXPECT_EQ(call.tribools[0], 7);
}

TEST_F(SingleItems, AutoTimeFlagFollowsTheSwitches) {
    const CElement unstamped(int32_t{1});
    const CElement stamped(int32_t{1}, timeval{5, 0});
    auto flag_for = [&](const CElement& v) {
        api_status_t status = 0;
        client.set_leaf("/x", v, status, 0, "");
        return static_cast<bool>(store().last("set_leaf").auto_times.at(0));
    };
    EXPECT_TRUE(flag_for(unstamped));
    EXPECT_FALSE(flag_for(stamped));
    CElement::_auto_time = false;
    EXPECT_FALSE(flag_for(unstamped));
    EXPECT_FALSE(flag_for(stamped));
    CElement::_forced_auto_time = true;
    EXPECT_TRUE(flag_for(unstamped));
    EXPECT_TRUE(flag_for(stamped));
    CElement::_auto_time = true;
    EXPECT_TRUE(flag_for(stamped));
}

TEST_F(SingleItems, GetLeafTakesTheValueOnlyOnSuccess) {
    static char text[] = "from store";
    store().hooks.get_leaf = [](qel_handle_t, const char*, api_status_t* status,
                                _element_datatype_t* value, element_property_t* property) {
        *status = 1;
        value->type = DATATYPE_STRING;
        value->timestamp = {3, 4};
        value->value.string_value.data = text;
        value->value.string_value.length = 10;
        *property = 6;
        return 0;
    };
    api_status_t status = 0;
    CElement value;
    element_property_t property = 0;
    EXPECT_EQ(client.get_leaf("/leaf", status, value, property), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(property, 6u);
    EXPECT_EQ(value.string_buffer(), "from store");
    EXPECT_NE(value.value.string_value.data, text); // owns its bytes
    EXPECT_EQ(value.timestamp.tv_sec, 3);
    EXPECT_EQ(store().last("get_leaf").pointers[0], &status);
    EXPECT_EQ(store().last("get_leaf").pointers[2], &property);

    // A status other than 1, or a failing result, leaves the value as it was.
    for (auto answer : {std::pair<int, api_status_t>{0, 4}, {-3, 1}}) {
        store().hooks.get_leaf = [answer](qel_handle_t, const char*, api_status_t* s,
                                          _element_datatype_t* v, element_property_t*) {
            *s = answer.second;
            v->type = DATATYPE_INT;
            v->value.int_value = 99;
            return answer.first;
        };
        CElement kept("kept");
        EXPECT_EQ(client.get_leaf("/leaf", status, kept, property), answer.first);
        EXPECT_TRUE(kept == CElement("kept"));
    }
}

TEST_F(SingleItems, TestNodePassesStatusThrough) {
    store().script_status("test_node", 4);
    api_status_t status = 0;
    EXPECT_EQ(client.test_node("/missing", status), 0);
    EXPECT_EQ(status, 4);
    EXPECT_EQ(store().last("test_node").texts[0], "/missing");
}
