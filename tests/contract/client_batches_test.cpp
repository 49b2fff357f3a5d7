// Contract of the CNyr batch members with the store: path arrays, counts, where the statuses come
// from, read-only refusals and what stays untouched on failure.
#include <toolkit/nyr.h>

#include <cstring>
#include <string>
#include <vector>

#include "double/store_double.h"

using toolkit::CElement;
using toolkit::CNyr;
using Statuses = std::vector<api_status_t>;

namespace {

class ClientBatches : public nyrdouble::DoubleTest {
protected:
    CNyr client{fake_handle()};
    const std::vector<std::string> paths{"/a", "/b/c", ""};
};

using BatchWrite = int (CNyr::*)(const std::vector<std::string>&, Statuses&, const std::string&);
const std::pair<const char*, BatchWrite> kHandedBackWrites[] = {
    {"add_nodes", &CNyr::add_nodes},
    {"remove_nodes", &CNyr::remove_nodes},
    {"clear_leaves", &CNyr::clear_leaves}};

TEST_F(ClientBatches, TestNodesResizesStatusesAndLetsTheStoreWriteThemInPlace) {
    // Longer vector: the front entries stay, the extra ones are dropped.
    Statuses statuses{11, 12, 13, 14, 15};
    const api_status_t* seen = nullptr;
    store().hooks.test_nodes = [&](qel_handle_t, const char* const*, uint32_t, api_status_t* out) {
        seen = out;
        out[1] = 7;
        return 0;
    };
    EXPECT_EQ(client.test_nodes(paths, statuses), 0);
    EXPECT_EQ(statuses, (Statuses{11, 7, 13}));
    EXPECT_EQ(seen, statuses.data());
    const nyrdouble::Call& call = store().last("test_nodes");
    EXPECT_EQ(call.handle, fake_handle());
    EXPECT_EQ(call.paths, paths);
    EXPECT_EQ(call.numbers[0], 3);

    // Shorter vector: new entries start at 0; a failure is returned with what the store wrote.
    statuses = {9};
    store().hooks.test_nodes = [](qel_handle_t, const char* const*, uint32_t, api_status_t* out) {
        out[2] = 4;
        return -6;
    };
    EXPECT_EQ(client.test_nodes(paths, statuses), -6);
    EXPECT_EQ(statuses, (Statuses{9, 0, 4}));

    // No paths: the vector empties and the store is still asked, with a count of 0.
    store().hooks.test_nodes = nullptr;
    EXPECT_EQ(client.test_nodes({}, statuses), 0);
    EXPECT_TRUE(statuses.empty());
    EXPECT_EQ(store().count("test_nodes"), 3u);
    EXPECT_EQ(store().last("test_nodes").numbers[0], 0);
}

TEST_F(ClientBatches, HandedBackStatusesReplaceTheCallersOnSuccessOnly) {
    for (const auto& [fn, write] : kHandedBackWrites) {
        SCOPED_TRACE(fn);
        store().script_statuses(fn, {1, 5, 1, 8});  // more than paths: all are copied
        Statuses statuses{3, 3, 3, 3, 3, 3};
        EXPECT_EQ((client.*write)(paths, statuses, ""), 0);
        EXPECT_EQ(statuses, (Statuses{1, 5, 1, 8}));
        const nyrdouble::Call& call = store().last(fn);
        EXPECT_EQ(call.paths, paths);
        EXPECT_EQ(call.numbers[0], 3);
        EXPECT_EQ(call.texts, std::vector<nyrdouble::Text>{std::string()});  // "", not null

        store().script_statuses(fn, {1});
        EXPECT_EQ((client.*write)(paths, statuses, "src"), 0);
        EXPECT_EQ(statuses, (Statuses{1}));
        EXPECT_EQ(store().last(fn).texts[0], std::string("src"));

        // A failed call hands back its result and leaves the statuses alone.
        store().script_result(fn, -9);
        statuses = {2, 2};
        EXPECT_EQ((client.*write)(paths, statuses, "src"), -9);
        EXPECT_EQ(statuses, (Statuses{2, 2}));
    }
}

TEST_F(ClientBatches, SetLeavesPassesValueRecordsTriStatesAndAutoTimePerItem) {
    const std::vector<CElement> values{CElement(std::string("text")),
                                       CElement(int32_t{-3}, timeval{1700000000, 250}),
                                       CElement(std::vector<char>{'\0', 'b'})};
    const std::vector<qel_tribool_t> tribools{0, 1, 2};
    store().script_statuses("set_leaves", {1, 4, 1});
    Statuses statuses;
    EXPECT_EQ(client.set_leaves(paths, values, tribools, statuses, "who"), 0);
    EXPECT_EQ(statuses, (Statuses{1, 4, 1}));
    const nyrdouble::Call& call = store().last("set_leaves");
    EXPECT_EQ(call.paths, paths);
    EXPECT_EQ(call.numbers[0], 3);
    EXPECT_EQ(call.pointers[2], tribools.data());
    // Text and blob records point into the elements' own storage during the call.
    EXPECT_EQ(call.values[0].value.string_value.data, values[0].string_buffer().data());
    EXPECT_EQ(call.values[2].value.blob_value.data, values[2].blob_buffer().data());
    EXPECT_EQ(call.payloads, (std::vector<std::string>{"text", "", std::string("\0b", 2)}));
    EXPECT_EQ(call.values[1].type, DATATYPE_INT);
    EXPECT_EQ(call.values[1].value.int_value, -3);
    EXPECT_EQ(call.values[1].timestamp.tv_sec, 1700000000);
    EXPECT_EQ(call.values[1].timestamp.tv_usec, 250);
    EXPECT_EQ(call.tribools, tribools);
    EXPECT_EQ(call.texts[0], std::string("who"));
    // Each value's own flag (the switches' table is in single_items_test.cpp).
    EXPECT_EQ(call.auto_times, (std::vector<bool>{true, false, true}));

    // A failed write keeps the earlier statuses; vectors of different lengths are refused
    // without a store call, in read-only mode as well.
    store().script_result("set_leaves", 12);
    EXPECT_EQ(client.set_leaves(paths, values, tribools, statuses, ""), 12);
    EXPECT_EQ(statuses, (Statuses{1, 4, 1}));
    store().calls.clear();
    const std::vector<std::string> two{"/a", "/b"};
    const std::vector<CElement> one_value(1, CElement(true)), two_values(2, CElement(true));
    for (bool read_only : {false, true}) {
        if (read_only) client.setReadOnly();
        EXPECT_EQ(client.set_leaves(two, two_values, {0}, statuses, ""), -1);
        EXPECT_EQ(client.set_leaves(two, one_value, {0, 1}, statuses, ""), -1);
        EXPECT_EQ(client.set_leaves({}, one_value, {}, statuses, ""), -1);
    }
    EXPECT_EQ(statuses, (Statuses{1, 4, 1}));
    EXPECT_TRUE(store().calls.empty());
}

TEST_F(ClientBatches, GetLeavesTurnsEveryRecordIntoAnOwningElementOnSuccess) {
    char store_text[] = "from store";
    bool records_zeroed = true;
    const element_property_t* properties_seen = nullptr;
    store().hooks.get_leaves = [&](qel_handle_t, const char* const*, uint32_t count,
                                   api_status_t** out, uint32_t* out_count,
                                   _element_datatype_t* records, element_property_t* properties,
                                   uint32_t value_count) {
        const _element_datatype_t zero{};
        for (uint32_t i = 0; i < value_count; ++i)
            records_zeroed = records_zeroed && std::memcmp(&records[i], &zero, sizeof zero) == 0;
        properties_seen = properties;
        records[0].type = DATATYPE_STRING;
        records[0].timestamp = {77, 5};
        records[0].value.string_value = {store_text, 10};
        // The second path does not exist: its record stays as the client offered it.
        records[2].type = DATATYPE_UINT;
        records[2].timestamp = {-1, 0};
        records[2].value.uint_value = 42;
        properties[0] = 1;
        properties[2] = 2;
        static api_status_t answer[] = {1, 6, 1};
        *out = answer;
        *out_count = count;
        return 0;
    };
    Statuses statuses;
    std::vector<CElement> values(5, CElement(true));
    std::vector<element_property_t> properties{9, 9, 9, 9};
    EXPECT_EQ(client.get_leaves(paths, statuses, values, properties), 0);
    std::strcpy(store_text, "overwrite");  // the elements must not refer to the store's memory
    const nyrdouble::Call& call = store().last("get_leaves");
    EXPECT_EQ(call.paths, paths);
    EXPECT_EQ(call.numbers, (std::vector<long long>{3, 3}));
    EXPECT_TRUE(records_zeroed);
    EXPECT_EQ(properties_seen, properties.data());
    EXPECT_EQ(statuses, (Statuses{1, 6, 1}));
    EXPECT_EQ(properties, (std::vector<element_property_t>{1, 9, 2}));
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].type, DATATYPE_STRING);
    EXPECT_EQ(values[0].string_buffer(), "from store");
    EXPECT_EQ(std::string(values[0].value.string_value.data, values[0].value.string_value.length),
              "from store");
    EXPECT_EQ(values[0].timestamp.tv_sec, 77);
    EXPECT_EQ(values[1].type, DATATYPE_INVALID);
    EXPECT_EQ(values[1].timestamp.tv_sec, 0);
    EXPECT_EQ(values[1].timestamp.tv_usec, 0);
    EXPECT_EQ(values[2].to_uint(), 42u);

    // A failure keeps statuses and values, but the properties are what the store wrote.
    store().hooks.get_leaves = [](auto, auto, auto, auto, auto, auto, element_property_t* props,
                                  auto) {
        props[1] = 3;
        return -2;
    };
    statuses = {4};
    values.resize(1);
    properties.clear();
    EXPECT_EQ(client.get_leaves(paths, statuses, values, properties), -2);
    EXPECT_EQ(statuses, (Statuses{4}));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].string_buffer(), "from store");
    EXPECT_EQ(properties, (std::vector<element_property_t>{0, 3, 0}));
}

}  // namespace
