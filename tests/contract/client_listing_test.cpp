// Contract of CNyr::list_node and CNyr::mpl_fetch with the store: capacities offered on each pass,
// repeated calls until the list fits, and what the entries hold afterwards.
#include <toolkit/nyr.h>

#include <string>
#include <vector>

#include "double/store_double.h"

using toolkit::CNyr;

namespace {

// Entry i as the store lists it: a name with a NUL inside, a node when i is a multiple of 5.
std::string name_of(uint32_t i) {
    return std::string("n\0", 2) + std::to_string(i);
}

// A node of `entries` entries as the store would list it.
struct FakeListing {
    explicit FakeListing(uint32_t count) : entries(count) {}
    uint32_t entries;
    api_status_t status = 1;
    std::vector<uint32_t> capacities;  // one per pass: the three capacities must agree
    std::vector<std::string> names;
    bool kept_earlier_entries = true;

    int answer(api_status_t* out_status, uint32_t* total, element_type_t* types,
               uint32_t types_capacity, element_property_t* properties,
               uint32_t properties_capacity, _byte_array_t* out_names, uint32_t names_capacity) {
        EXPECT_EQ(types_capacity, properties_capacity);
        EXPECT_EQ(types_capacity, names_capacity);
        // From the second pass on, the arrays still hold what the previous pass wrote.
        if (!capacities.empty() && entries > 0)
            kept_earlier_entries =
                kept_earlier_entries && types[0] == QEL_ELEMENT_NODE && properties[0] == 100;
        capacities.push_back(types_capacity);
        names.resize(entries);
        for (uint32_t i = 0; i < entries && i < types_capacity; ++i) {
            names[i] = name_of(i);
            types[i] = i % 5 == 0 ? QEL_ELEMENT_NODE : QEL_ELEMENT_LEAF;
            properties[i] = 100 + i;
            out_names[i] = {&names[i][0], static_cast<uint32_t>(names[i].size())};
        }
        *total = entries;
        *out_status = status;
        return 0;
    }
    // Spoils the names handed over, so that entries still pointing at them show.
    void forget_names() {
        for (std::string& name : names) name.assign(name.size(), '#');
    }
};

class ClientListing : public nyrdouble::DoubleTest {
protected:
    void list_from(FakeListing& fake) {
        store().hooks.list_node = [&fake](qel_handle_t, const char*, api_status_t* status,
                                          uint32_t* total, element_type_t* types, uint32_t tc,
                                          element_property_t* properties, uint32_t pc,
                                          _byte_array_t* names, uint32_t nc) {
            return fake.answer(status, total, types, tc, properties, pc, names, nc);
        };
    }
    CNyr client{fake_handle()};
    api_status_t status = 0;
};

TEST_F(ClientListing, ListNodeGrowsItsArraysBy512UntilTheWholeListFits) {
    const struct {
        uint32_t entries;
        std::vector<uint32_t> capacities;
    } rows[] = {{512, {512}}, {513, {512, 1024}}, {1537, {512, 1024, 1536, 2048}}};
    CNyr::listing_t entries;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entries);
        FakeListing fake(row.entries);
        list_from(fake);
        EXPECT_EQ(client.list_node("/big", status, entries), 0);
        fake.forget_names();
        EXPECT_EQ(fake.capacities, row.capacities);
        EXPECT_TRUE(fake.kept_earlier_entries);
        ASSERT_EQ(entries.size(), row.entries);
        const uint32_t last = row.entries - 1;
        EXPECT_EQ(entries[last].first, name_of(last));  // copied whole by its length
        EXPECT_EQ(entries[last].second.first, last % 5 ? QEL_ELEMENT_LEAF : QEL_ELEMENT_NODE);
        EXPECT_EQ(entries[last].second.second, 100 + last);
        EXPECT_EQ(entries[0], (CNyr::listing_t::value_type{name_of(0), {QEL_ELEMENT_NODE, 100}}));
    }
    EXPECT_EQ(store().count("list_node"), 7u);
    const nyrdouble::Call& call = store().last("list_node");
    EXPECT_EQ(call.handle, fake_handle());
    EXPECT_EQ(call.texts, (std::vector<nyrdouble::Text>{std::string("/big")}));
    EXPECT_EQ(call.pointers[0], &status);
}

TEST_F(ClientListing, EntriesAreReplacedOnlyOnSuccessWithStatusOne) {
    const CNyr::listing_t before(10, {"old", {QEL_ELEMENT_LEAF, 7}});
    CNyr::listing_t entries = before;
    CNyr::fetch_t fetched(3);
    FakeListing fake(3);
    fake.status = 5;  // for example a path that does not exist
    list_from(fake);
    store().script_status("mpl_fetch", 5);
    EXPECT_EQ(client.list_node("/missing", status, entries), 0);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(client.mpl_fetch("/missing", status, fetched), 0);
    store().hooks.list_node = nullptr;
    store().script_result("list_node", -4);
    store().script_result("mpl_fetch", -3);
    EXPECT_EQ(client.list_node("/x", status, entries), -4);
    EXPECT_EQ(client.mpl_fetch("/x", status, fetched), -3);
    EXPECT_EQ(entries, before);
    EXPECT_EQ(fetched.size(), 3u);

    FakeListing empty(0);
    list_from(empty);
    EXPECT_EQ(client.list_node("", status, entries), 0);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(store().last("list_node").texts[0], std::string());  // "" rather than null
}

TEST_F(ClientListing, MplFetchGrowsBy32AndOwnsTheFetchedValues) {
    std::vector<uint32_t> capacities;
    std::string texts[40];
    store().hooks.mpl_fetch = [&](qel_handle_t, const char*, api_status_t* out_status,
                                  uint32_t* total, _element_datatype_t* values,
                                  uint32_t values_capacity, _byte_array_t* names,
                                  uint32_t names_capacity) {
        EXPECT_EQ(values_capacity, names_capacity);
        capacities.push_back(values_capacity);
        for (uint32_t i = 0; i < 33 && i < values_capacity; ++i) {
            texts[i] = "value " + std::to_string(i);
            values[i].type = DATATYPE_STRING;
            values[i].timestamp = {static_cast<int32_t>(i), 0};
            values[i].value.string_value = {&texts[i][0], static_cast<uint32_t>(texts[i].size())};
            names[i] = {&texts[i][0], 5};
        }
        *total = 33;
        *out_status = 1;
        return 0;
    };
    CNyr::fetch_t entries(50);
    EXPECT_EQ(client.mpl_fetch("/multi", status, entries), 0);
    for (std::string& text : texts) text.assign(text.size(), '#');
    EXPECT_EQ(capacities, (std::vector<uint32_t>{32, 64}));
    ASSERT_EQ(entries.size(), 33u);
    EXPECT_EQ(entries[32].first, "value");
    EXPECT_EQ(entries[32].second.type, DATATYPE_STRING);
    EXPECT_EQ(entries[32].second.string_buffer(), "value 32");
    EXPECT_EQ(entries[32].second.timestamp.tv_sec, 32);
    EXPECT_EQ(store().last("mpl_fetch").texts[0], std::string("/multi"));
}

TEST_F(ClientListing, ATotalBeyondEveryCapacityStopsAtOnce) {
    // No 32-bit capacity reachable by whole steps holds UINT32_MAX entries: growing towards it
    // would only exhaust memory, so the client gives up after the first answer.
    store().hooks.list_node = [](auto, auto, api_status_t* out_status, uint32_t* total, auto...) {
        *total = UINT32_MAX;
        *out_status = 1;
        return 0;
    };
    store().hooks.mpl_fetch = [](auto, auto, api_status_t* out_status, uint32_t* total, auto...) {
        *total = UINT32_MAX - 1;
        *out_status = 1;
        return 0;
    };
    CNyr::listing_t listing(2);
    CNyr::fetch_t fetched(2);
    EXPECT_EQ(client.list_node("/liar", status, listing), -1);
    EXPECT_EQ(client.mpl_fetch("/liar", status, fetched), -1);
    EXPECT_EQ(store().count("list_node"), 1u);
    EXPECT_EQ(store().count("mpl_fetch"), 1u);
    EXPECT_EQ(listing.size(), 2u);
    EXPECT_EQ(fetched.size(), 2u);
}

}  // namespace
