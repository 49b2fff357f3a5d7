// Contract of CNyr::copy_node_recursive and CNyr::move_node with the store: the order of the calls
// of a depth-first copy, one leaf batch per node, and where a failure ends the walk.
#include <toolkit/nyr.h>

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

TEST_F(ClientSubtree, AnItemFailureEndsTheWholeCopyWithThatItemsStatus) {
    nodes["/a"] = {
        {"s", QEL_ELEMENT_NODE, 0}, {"x", QEL_ELEMENT_LEAF, 0}, {"t", QEL_ELEMENT_NODE, 0}};
    nodes["/a/s"] = {{"z", QEL_ELEMENT_LEAF, 0}};
    nodes["/a/t"] = {};
    leaves["/a/x"] = {CElement(true), 0};
    leaves["/a/s/z"] = {CElement(true), 0, 5};

    // A leaf of a sub-node that cannot be read stops its parent and every later entry.
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(traffic(store()),
              (std::vector<std::string>{"list_node /a", "list_node /a/s", "get_leaves /a/s/z"}));

    // A leaf that cannot be written: the first failing status, after the whole batch.
    leaves["/a/s/z"].status = 1;
    nodes["/a"][1].name = "x";
    nodes["/a"].push_back({"w", QEL_ELEMENT_LEAF, 1});
    leaves["/a/w"] = {CElement(false), 1};
    write_statuses["/b/w"] = 6;
    store().calls.clear();
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 6);
    EXPECT_EQ(store().last("set_leaves").paths, (std::vector<std::string>{"/b/x", "/b/w"}));

    // A store that reports fewer read statuses than leaves: nothing is written.
    write_statuses.clear();
    statuses_reported_short_by = 1;
    store().calls.clear();
    EXPECT_EQ(client.copy_node_recursive("/a/s", "/b/s", status, ""), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(store().count("set_leaves"), 0u);
}

TEST_F(ClientSubtree, AStoreFailureEndsTheWholeCopyWithItsResult) {
    nodes["/a"] = {{"s", QEL_ELEMENT_NODE, 0}, {"x", QEL_ELEMENT_LEAF, 0}};
    nodes["/a/s"] = {};
    leaves["/a/x"] = {CElement(true), 0};

    list_results["/a"] = -3;
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), -3);
    EXPECT_EQ(status, 77);

    list_results = {{"/a/s", -8}};
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), -8);
    EXPECT_EQ(store().count("get_leaves"), 0u);

    list_results.clear();
    store().hooks.get_leaves = nullptr;
    store().script_result("get_leaves", -5);
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), -5);
    EXPECT_EQ(store().count("set_leaves"), 0u);

    store().script_result("get_leaves", 0);
    store().hooks.set_leaves = nullptr;
    store().script_result("set_leaves", -6);
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), -6);
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

TEST_F(ClientSubtree, MoveTestsTheTargetCopiesAndThenRemovesTheSource) {
    nodes["/a"] = {{"x", QEL_ELEMENT_LEAF, 0}};
    leaves["/a/x"] = {CElement(true), 0};
    store().script_status("test_node", 4);  // the target does not exist
    store().script_status("remove_node", 8);
    store().script_result("remove_node", 0);
    EXPECT_EQ(client.move_node("/a", "/b", status, "mv"), 0);
    EXPECT_EQ(status, 8);
    EXPECT_EQ(traffic(store()),
              (std::vector<std::string>{"test_node /b", "list_node /a", "get_leaves /a/x",
                                        "set_leaves /b/x", "remove_node /a"}));
    EXPECT_EQ(store().last("remove_node").texts[1], std::string("mv"));
    store().script_result("remove_node", -7);
    EXPECT_EQ(client.move_node("/a", "/b", status, "mv"), -7);
}

TEST_F(ClientSubtree, ReadOnlyOrAnExistingTargetStopsBeforeWriting) {
    nodes["/a"] = {{"x", QEL_ELEMENT_LEAF, 0}, {"e", QEL_ELEMENT_NODE, 0}};
    nodes["/a/e"] = {};
    leaves["/a/x"] = {CElement(true), 0};

    // Read-only: a copy reads the source and writes nothing; a move does not even read.
    client.setReadOnly();
    EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(traffic(store()),
              (std::vector<std::string>{"list_node /a", "list_node /a/e", "get_leaves /a/x"}));
    store().calls.clear();
    status = 77;
    EXPECT_EQ(client.move_node("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(store().calls.empty());
    client.clearReadOnly();

    // The target exists: status 3 and nothing written.
    EXPECT_EQ(client.move_node("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(traffic(store()), (std::vector<std::string>{"test_node /b"}));

    store().script_result("test_node", -2);
    EXPECT_EQ(client.move_node("/a", "/b", status, ""), -2);
    EXPECT_EQ(store().count("list_node"), 0u);

    // A copy that ends on an item failure, or fails as a whole, keeps the source.
    store().script_result("test_node", 0);
    store().script_status("test_node", 4);
    write_statuses["/b/x"] = 6;
    EXPECT_EQ(client.move_node("/a", "/b", status, ""), 0);
    EXPECT_EQ(status, 6);
    list_results["/a"] = -9;
    EXPECT_EQ(client.move_node("/a", "/b", status, ""), -9);
    EXPECT_EQ(store().count("remove_node"), 0u);
}

}  // namespace
