// What the single-item members of the client hand to the store, and what they make of its answer.
#include <toolkit/nyr.h>

#include <cstring>
#include <utility>

#include "double/store_double.h"

using nyrdouble::Text;
using toolkit::CElement;
using toolkit::CNyr;

namespace {

class SingleItems : public nyrdouble::DoubleTest {
protected:
    CNyr client{fake_handle()};
};

// Every write member through one signature, so that the rules common to all are checked once.
using Write = int (*)(CNyr&, const char* path, api_status_t&, const char* source);
const std::pair<const char*, Write> kWrites[] = {
    {"add_node", [](CNyr& c, const char* p, api_status_t& s,
                    const char* src) { return c.add_node(p, s, src); }},
    {"remove_node", [](CNyr& c, const char* p, api_status_t& s,
                       const char* src) { return c.remove_node(p, s, src); }},
    {"clear_leaf", [](CNyr& c, const char* p, api_status_t& s,
                      const char* src) { return c.clear_leaf(p, s, src); }},
    {"set_leaf", [](CNyr& c, const char* p, api_status_t& s,
                    const char* src) { return c.set_leaf(p, CElement(int32_t{1}), s, 0, src); }},
};

TEST_F(SingleItems, ReadOnlyRefusesEveryWriteAsSuccessWithoutAStoreCall) {
    client.setReadOnly();
    EXPECT_TRUE(client.isReadOnly());
    api_status_t status = 0;
    for (const auto& [fn, write] : kWrites) {
        status = 0;
        EXPECT_EQ(write(client, "/a", status, "src"), 0) << fn;
        EXPECT_EQ(status, 1) << fn;
    }
    // Batches append one success per path to what the vector held.
    const std::vector<std::string> paths{"/a", "/b"};
    std::vector<api_status_t> statuses{9};
    EXPECT_EQ(client.add_nodes(paths, statuses, ""), 0);
    EXPECT_EQ(client.remove_nodes(paths, statuses, ""), 0);
    EXPECT_EQ(client.clear_leaves(paths, statuses, ""), 0);
    EXPECT_EQ(client.set_leaves(paths, {CElement(true), CElement(false)}, {0, 0}, statuses, ""), 0);
    EXPECT_EQ(statuses, (std::vector<api_status_t>{9, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(store().calls.empty());
    // Reads are not writes.
    CElement value;
    element_property_t property = 0;
    std::vector<CElement> values;
    std::vector<element_property_t> properties;
    client.test_node("/a", status);
    client.get_leaf("/a", status, value, property);
    client.test_nodes(paths, statuses);
    client.get_leaves(paths, statuses, values, properties);
    EXPECT_EQ(store().call_names(),
              (std::vector<std::string>{"test_node", "get_leaf", "test_nodes", "get_leaves"}));

    client.clearReadOnly();
    EXPECT_FALSE(client.isReadOnly());
    for (const auto& [fn, write] : kWrites) {
        write(client, "/a", status, "src");
        EXPECT_EQ(store().count(fn), 1u) << fn;
    }
    EXPECT_TRUE(CNyr(fake_handle(), true).isReadOnly());
}

TEST_F(SingleItems, WritesPassArgumentsInOrderEmptyTextsAsEmptyAndResultsUnchanged) {
    for (const auto& [fn, write] : kWrites) {
        store().script_result(fn, -42);
        store().script_status(fn, 9);
        for (const auto& [path, source] : {std::pair{"/a", "src"}, std::pair{"", ""}}) {
            SCOPED_TRACE(std::string(fn) + " '" + path + "'");
            api_status_t status = 0;
            EXPECT_EQ(write(client, path, status, source), -42);
            EXPECT_EQ(status, 9);  // written by the store through the caller's address
            const nyrdouble::Call& call = store().last(fn);
            EXPECT_EQ(call.handle, fake_handle());
            EXPECT_EQ(call.texts, (std::vector<Text>{std::string(path), std::string(source)}));
            EXPECT_EQ(call.pointers.back(), &status);
        }
    }
}

TEST_F(SingleItems, SetLeafPassesTheRecordTriStateAndAutoTimeFlag) {
    const CElement value("payload", timeval{10, 20});
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

    // {auto_time, forced_auto_time} -> flag for an unstamped and a stamped value.
    const CElement unstamped(int32_t{1}), stamped(int32_t{1}, timeval{5, 0});
    struct Row {
        bool auto_time, forced, unstamped_flag, stamped_flag;
    } rows[] = {{true, false, true, false},
                {false, false, false, false},
                {false, true, true, true},
                {true, true, true, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.auto_time) + std::to_string(row.forced));
        CElement::_auto_time = row.auto_time;
        CElement::_forced_auto_time = row.forced;
        client.set_leaf("/x", unstamped, status, 0, "");
        EXPECT_EQ(store().last("set_leaf").auto_times, std::vector<bool>{row.unstamped_flag});
        client.set_leaf("/x", stamped, status, 0, "");
        EXPECT_EQ(store().last("set_leaf").auto_times, std::vector<bool>{row.stamped_flag});
    }
}

TEST_F(SingleItems, ReadsPassTheStatusThroughAndTakeTheValueOnlyOnSuccess) {
    api_status_t status = 0;
    static char text[] = "from store";
    store().hooks.get_leaf = [](qel_handle_t, const char*, api_status_t* s,
                                _element_datatype_t* value, element_property_t* property) {
        *s = 1;
        value->type = DATATYPE_STRING;
        value->timestamp = {3, 4};
        value->value.string_value = {text, 10};
        *property = 6;
        return 0;
    };
    CElement value;
    element_property_t property = 0;
    EXPECT_EQ(client.get_leaf("/leaf", status, value, property), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(property, 6u);
    EXPECT_EQ(value.string_buffer(), "from store");
    EXPECT_NE(value.value.string_value.data, text);  // owns its bytes
    EXPECT_EQ(value.timestamp.tv_sec, 3);
    EXPECT_EQ(store().last("get_leaf").pointers[0], &status);
    EXPECT_EQ(store().last("get_leaf").pointers[2], &property);

    // A status other than 1, or a failing result, leaves the value as it was.
    for (auto answer : {std::pair<int, api_status_t>{0, 4}, {-3, 1}}) {
        store().hooks.get_leaf = [answer](auto, auto, api_status_t* s, _element_datatype_t* v,
                                          auto) {
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

}  // namespace
