// nyrd answers a large get_leaves a slice at a time; its reply must be the one the whole batch
// gives, byte for byte, whatever the batch holds and however the slices fall.
#include "sliced_get_leaves.h"

#include <gtest/gtest.h>
#include <nyr_host.h>

#include <string>
#include <vector>

#include "core/store.h"
#include "protocol/fields.h"

namespace {

using nyrproto::FrameOut;
using nyrproto::GetLeaves;

std::string body_of(const FrameOut& frame) {
    return std::string(frame.body(), frame.body_size());
}

TEST(SlicedGetLeavesTest, TheReplyIsTheWholeBatchsByteForByte) {
    qel_store_t* store = qel_host_store_open(nullptr);
    qel_handle_t handle = qel_host_handle_open(store);
    ASSERT_NE(handle, nullptr);
    std::string text = "pump running", bytes("\0\x01\xff", 3);
    const _element_datatype_t values[] = {
        [] {
            _element_datatype_t v{};
            v.type = DATATYPE_INT;
            v.value.int_value = -7;
            return v;
        }(),
        [&] {
            _element_datatype_t v{};
            v.type = DATATYPE_STRING;
            v.value.string_value = {&text[0], static_cast<uint32_t>(text.size())};
            return v;
        }(),
        [&] {
            _element_datatype_t v{};
            v.type = DATATYPE_BLOB;
            v.value.blob_value = {&bytes[0], static_cast<uint32_t>(bytes.size())};
            return v;
        }(),
    };
    api_status_t status = 0;
    for (int i = 0; i < 3; ++i) {
        const std::string path = "/p/" + std::to_string(i);
        ASSERT_EQ(qel_set_leaf(handle, path.c_str(), values[i], 0, false, "t", &status), 0);
    }
    // Leaves, a node, a missing leaf and a bad path, over slices that do not divide the batch.
    const char* paths[] = {"/p/0", "/p/1", "/p/2", "/p",   "/p/9", "bad",
                           "/p/1", "/p/2", "/p/0", "/p/2", "/p/0"};
    GetLeaves asked;
    asked.count = sizeof paths / sizeof paths[0];
    asked.paths = paths;

    const nyrlocal::Handle local = nyrhost::find(handle).local;
    std::vector<_element_datatype_t> whole_values(asked.count);
    std::vector<element_property_t> whole_properties(asked.count);
    GetLeaves whole = asked;
    whole.values = whole_values.data();
    whole.properties = whole_properties.data();
    const long long result = nyrlocal::carry_out(local, whole);
    FrameOut expected;
    ASSERT_TRUE(
        expected.build([&](nyrhost::WireWriter& w) { nyrproto::write_reply(w, whole, result); }));

    for (uint32_t per_slice : {1u, 3u, 4u, 11u, 64u}) {
        GetLeaves sliced = asked;
        FrameOut reply;
        nyrd::answer_in_slices(local, sliced, reply, per_slice);
        EXPECT_EQ(body_of(reply), body_of(expected)) << per_slice << " per slice";
    }
    qel_host_handle_close(handle);
    qel_host_store_close(store);
}

}  // namespace
