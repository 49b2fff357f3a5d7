// Contract of CNyr::copy_node_recursive and CNyr::move_node with the store: the order of the calls
// of a depth-first copy, one leaf batch per node, and where a failure ends the walk.
#include <toolkit/nyr.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "double/store_double.h"

using toolkit::CElement;
using toolkit::CNyr;

namespace {

struct Entry {
    std::string name;
    element_type_t type;
    element_property_t property;  // as listed
};

struct Leaf {
    CElement value;
    element_property_t property;  // as read by get_leaves
    api_status_t status = 1;      // as read by get_leaves
};

// One call as the tests compare it: the function and its path(s).
std::vector<std::string> traffic(const nyrdouble::StoreDouble& store) {
    std::vector<std::string> out;
    for (const nyrdouble::Call& call : store.calls) {
        std::string line = call.fn;
        for (const std::string& path : call.paths) line += " " + path;
        if (call.paths.empty() && !call.texts.empty() && call.texts[0])
            line += " " + *call.texts[0];
        out.push_back(line);
    }
    return out;
}

// A small tree answered through the double's hooks. Paths not in `nodes` list nothing with
// status 4; leaves not in `leaves` read as an unfilled record with status 4.
class ClientSubtree : public nyrdouble::DoubleTest {
protected:
    std::map<std::string, std::vector<Entry>> nodes;
    std::map<std::string, Leaf> leaves;
    std::map<std::string, api_status_t> write_statuses;  // per target leaf path, default 1
    std::map<std::string, int> list_results;             // per listed path, default 0
    uint32_t statuses_reported_short_by = 0;             // get_leaves reports fewer statuses
    int read_result = 0, write_result = 0;               // of get_leaves and set_leaves

    void SetUp() override {
        DoubleTest::SetUp();
        store().hooks.list_node = [this](qel_handle_t, const char* path, api_status_t* listed,
                                         uint32_t* total, element_type_t* types, uint32_t capacity,
                                         element_property_t* properties, uint32_t,
                                         _byte_array_t* names, uint32_t) {
            auto result = list_results.find(path);
            if (result != list_results.end()) return result->second;
            auto node = nodes.find(path);
            *total = 0;
            *listed = node == nodes.end() ? 4 : 1;
            if (node == nodes.end()) return 0;
            *total = static_cast<uint32_t>(node->second.size());
            for (uint32_t i = 0; i < *total && i < capacity; ++i) {
                Entry& entry = node->second[i];
                types[i] = entry.type;
                properties[i] = entry.property;
                names[i] = {&entry.name[0], static_cast<uint32_t>(entry.name.size())};
            }
            return 0;
        };
        store().hooks.get_leaves = [this](qel_handle_t, const char* const* paths, uint32_t count,
                                          api_status_t** statuses, uint32_t* status_count,
                                          _element_datatype_t* records,
                                          element_property_t* properties, uint32_t) {
            if (read_result != 0) return read_result;
            read_statuses.assign(count, 4);
            for (uint32_t i = 0; i < count; ++i) {
                auto leaf = leaves.find(paths[i]);
                if (leaf == leaves.end()) continue;
                records[i] = leaf->second.value;
                properties[i] = leaf->second.property;
                read_statuses[i] = leaf->second.status;
            }
            *statuses = read_statuses.data();
            *status_count = count - statuses_reported_short_by;
            return 0;
        };
        store().hooks.set_leaves = [this](auto, const char* const* paths, uint32_t count, auto,
                                          auto, auto, auto, api_status_t** statuses,
                                          uint32_t* status_count) {
            if (write_result != 0) return write_result;
            written_statuses.assign(count, 1);
            for (uint32_t i = 0; i < count; ++i) {
                auto written = write_statuses.find(paths[i]);
                if (written != write_statuses.end()) written_statuses[i] = written->second;
            }
            *statuses = written_statuses.data();
            *status_count = count;
            return 0;
        };
    }
    std::vector<api_status_t> read_statuses, written_statuses;
    CNyr client{fake_handle()};
    api_status_t status = 77;
};

const timeval kStamp{1600000000, 9};

TEST_F(ClientSubtree, CopiesDepthFirstWithOneLeafBatchPerNode) {
    nodes["/a"] = {{"x", QEL_ELEMENT_LEAF, 0},
                   {"s", QEL_ELEMENT_NODE, 0},
                   {"y", QEL_ELEMENT_LEAF, 1},
                   {"e", QEL_ELEMENT_NODE, 0},
                   {"p", QEL_ELEMENT_LEAF, 2}};
    nodes["/a/s"] = {{"z", QEL_ELEMENT_LEAF, 0}};
    nodes["/a/e"] = {};
    leaves["/a/x"] = {CElement(std::string("ex"), kStamp), 0};
    leaves["/a/y"] = {CElement(int32_t{5}), 1};
    leaves["/a/s/z"] = {CElement(2.5), 0};

    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, "src"), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(traffic(store()),
              (std::vector<std::string>{"list_node /a", "list_node /a/s", "get_leaves /a/s/z",
                                        "set_leaves /b/s/z", "list_node /a/e", "add_node /b/e",
                                        "get_leaves /a/x /a/y", "set_leaves /b/x /b/y"}));

    const nyrdouble::Call& leaves = store().last("set_leaves");
    EXPECT_EQ(leaves.tribools, (std::vector<qel_tribool_t>{0, 1}));
    EXPECT_EQ(leaves.payloads[0], "ex");
    EXPECT_EQ(leaves.values[0].timestamp.tv_sec, kStamp.tv_sec);
    EXPECT_EQ(leaves.values[0].timestamp.tv_usec, kStamp.tv_usec);
    EXPECT_EQ(leaves.values[1].value.int_value, 5);
    // The stamped leaf keeps its time; the unstamped one asks the store to stamp it.
    EXPECT_EQ(leaves.auto_times, (std::vector<bool>{false, true}));
    EXPECT_EQ(leaves.texts[0], std::string("src"));
    EXPECT_EQ(store().last("add_node").texts[1], std::string("src"));
}

TEST_F(ClientSubtree, PathsAreJoinedWithOneSlashAndNoOtherTreatment) {
    nodes["/a/"] = {{"x", QEL_ELEMENT_LEAF, 0}};
    leaves["/a//x"] = {CElement(true), 0};
    EXPECT_EQ(client.copy_node_recursive("/a/", "", status, ""), 0);
    EXPECT_EQ(traffic(store()),
              (std::vector<std::string>{"list_node /a/", "get_leaves /a//x", "set_leaves /x"}));
}

TEST_F(ClientSubtree, ANodeWithNothingToCopyBecomesAnEmptyNode) {
    nodes["/empty"] = {};
    nodes["/private"] = {{"p", QEL_ELEMENT_LEAF, 2}, {"q", QEL_ELEMENT_LEAF, 7}};
    store().script_status("add_node", 9);
    // An empty node, a path that does not list (status 4) and a node of uncopied leaves alike.
    for (const char* from : {"/empty", "/missing", "/private"}) {
        SCOPED_TRACE(from);
        store().calls.clear();
        status = 77;
        EXPECT_EQ(client.copy_node_recursive(from, "/t", status, "src"), 0);
        EXPECT_EQ(status, 9);
        EXPECT_EQ(traffic(store()),
                  (std::vector<std::string>{std::string("list_node ") + from, "add_node /t"}));
    }
    store().script_result("add_node", -4);
    EXPECT_EQ(client.copy_node_recursive("/empty", "/t", status, "src"), -4);
}

// Where each kind of failure ends the copy of /a = {s = {z}, x, w}: the result, the status left
// (77: untouched) and how far the walk got.
TEST_F(ClientSubtree, AFailureEndsTheWholeCopyWhereItHappens) {
    const std::vector<std::string> walk{"list_node /a",         "list_node /a/s",
                                        "get_leaves /a/s/z",    "set_leaves /b/s/z",
                                        "get_leaves /a/x /a/w", "set_leaves /b/x /b/w"};
    const struct {
        const char* failure;
        std::function<void()> inject;
        int result;
        api_status_t status;
        std::size_t calls;  // of `walk`
    } rows[] = {
        {"listing fails", [this] { list_results["/a"] = -3; }, -3, 77, 1},
        {"listing a sub-node fails", [this] { list_results["/a/s"] = -8; }, -8, 77, 2},
        {"reading fails", [this] { read_result = -5; }, -5, 77, 3},
        {"writing fails", [this] { write_result = -6; }, -6, 77, 4},
        // An unreadable leaf of a sub-node stops its parent and every later entry.
        {"leaf unreadable", [this] { leaves["/a/s/z"].status = 5; }, 0, 5, 3},
        // Unwritable leaves: the first failing status, after the whole batch.
        {"leaves unwritable",
         [this] {
             write_statuses = {{"/b/x", 6}, {"/b/w", 7}};
         },
         0, 6, 6},
        // Fewer read statuses than leaves: nothing is written.
        {"read statuses missing", [this] { statuses_reported_short_by = 1; }, 0, 0, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failure);
        nodes = {
            {"/a",
             {{"s", QEL_ELEMENT_NODE, 0}, {"x", QEL_ELEMENT_LEAF, 0}, {"w", QEL_ELEMENT_LEAF, 1}}},
            {"/a/s", {{"z", QEL_ELEMENT_LEAF, 0}}}};
        leaves = {{"/a/s/z", {CElement(true), 0}},
                  {"/a/x", {CElement(true), 0}},
                  {"/a/w", {CElement(false), 1}}};
        list_results.clear();
        write_statuses.clear();
        read_result = write_result = 0;
        statuses_reported_short_by = 0;
        store().calls.clear();
        status = 77;
        row.inject();
        EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), row.result);
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(traffic(store()),
                  std::vector<std::string>(walk.begin(), walk.begin() + row.calls));
    }
}

TEST_F(ClientSubtree, ALeafWhosePropertyChangedIsReportedAndEndsTheCopy) {
    nodes["/a"] = {{"x", QEL_ELEMENT_LEAF, 0}, {"y", QEL_ELEMENT_LEAF, 0}};
    leaves["/a/x"] = {CElement(true), 1};  // listed 0, read 1: written with tri-state 1
    leaves["/a/y"] = {CElement(true), 0};
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(store().last("set_leaves").tribools, (std::vector<qel_tribool_t>{1, 0}));
    EXPECT_TRUE(store().errors.empty());

    leaves["/a/y"].property = 3;
    store().calls.clear();
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(store().count("set_leaves"), 0u);
    EXPECT_EQ(store().errors,
              (std::vector<std::string>{"copy_node_recursive: Element '/a/y' changed type!"}));
    const nyrdouble::Call& report = store().last("err");
    EXPECT_EQ(report.numbers, (std::vector<long long>{0}));
    EXPECT_EQ(report.texts[0], std::string("%s: Element '%s' changed type!"));
}

TEST_F(ClientSubtree, AReadOnlyCopyReadsTheSourceAndWritesNothing) {
    nodes["/a"] = {{"x", QEL_ELEMENT_LEAF, 0}, {"e", QEL_ELEMENT_NODE, 0}};
    nodes["/a/e"] = {};
    leaves["/a/x"] = {CElement(true), 0};
    client.setReadOnly();
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(traffic(store()),
              (std::vector<std::string>{"list_node /a", "list_node /a/e", "get_leaves /a/x"}));
}

// A move tests that the target is missing, copies, and removes the source only after a whole
// copy; read-only, it does nothing at all.
TEST_F(ClientSubtree, AMoveRemovesTheSourceOnlyAfterAWholeCopyOntoANewNode) {
    nodes["/a"] = {{"x", QEL_ELEMENT_LEAF, 0}};
    leaves["/a/x"] = {CElement(true), 0};
    const std::vector<std::string> walk{"test_node /b", "list_node /a", "get_leaves /a/x",
                                        "set_leaves /b/x", "remove_node /a"};
    const struct {
        const char* what;
        std::function<void()> arrange;
        int result;
        api_status_t status;  // 77: untouched
        std::size_t calls;    // of `walk`
    } rows[] = {
        {"read-only", [this] { client.setReadOnly(); }, 0, 1, 0},
        {"target exists", [this] { store().script_status("test_node", 1); }, 0, 3, 1},
        {"testing fails", [this] { store().script_result("test_node", -2); }, -2, 77, 1},
        {"copy fails", [this] { list_results["/a"] = -9; }, -9, 77, 2},
        {"copy stops on an item", [this] { write_statuses["/b/x"] = 6; }, 0, 6, 4},
        {"removal fails", [this] { store().script_result("remove_node", -7); }, -7, 1, 5},
        {"moved", [this] { store().script_status("remove_node", 8); }, 0, 8, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        client.clearReadOnly();
        list_results.clear();
        write_statuses.clear();
        store().results.clear();
        store().statuses = {{"test_node", 4}};  // the target does not exist
        store().calls.clear();
        status = 77;
        row.arrange();
        EXPECT_EQ(client.move_node("/a", "/b", status, "mv"), row.result);
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(traffic(store()),
                  std::vector<std::string>(walk.begin(), walk.begin() + row.calls));
    }
    EXPECT_EQ(store().last("remove_node").texts[1], std::string("mv"));
}

}  // namespace
