// The tree's history through the qel_host_ calls, on in-process and on remote handles, for a
// store in memory and one on a file: one revision per write call, the changes it records, the
// tree read back at every revision and time, retention at each of its bounds, registrations that
// replay what a watcher missed, and every bad argument of the calls.
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <set>
#include <thread>

#include "host/history_support.h"
#include "host/log_support.h"

namespace {

using namespace storetest;
using namespace historytest;

// Each test on a store in memory and on a store file (where SQLite is built in).
class History : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        store = qel_host_store_open(GetParam() ? dir.file("store.db").c_str() : nullptr);
        ASSERT_NE(store, nullptr);
        a = open_handle(store);
        b = open_handle(store);
        ASSERT_TRUE(a != nullptr && b != nullptr);
    }
    void TearDown() override { close_store(store); }

    logtest::TempDir dir;
    qel_store_t* store = nullptr;
    qel_handle_t a = nullptr, b = nullptr;
};

std::string leaf(int32_t v, int32_t seconds = 100, element_property_t property = 0) {
    return leaf_text(int_value(v, seconds), property);
}

api_status_t put_from(qel_handle_t h, const char* path, int32_t v, const char* source) {
    return set(h, path, int_value(v, 100), 0, false, source);
}

TEST_P(History, EachWriteCallTakesOneRevisionAndRecordsItsChanges) {
    EXPECT_EQ(revision_of(a), 0u);
    EXPECT_EQ(oldest_of(a), 1u);
    ASSERT_EQ(put_from(a, "/p/x", 1, "one|src"), QEL_STATUS_OK);  // 1: the node, then the leaf
    ASSERT_EQ(put(a, "/p/x", 2, 1), QEL_STATUS_OK);               // 2
    ASSERT_EQ(put(a, "/p", 3), QEL_STATUS_IS_NODE);               // changes nothing: no revision
    ASSERT_EQ(clear_leaf(a, "/p/x"), QEL_STATUS_OK);              // 3
    ASSERT_EQ(put(b, "/p/z/w", 6), QEL_STATUS_OK);                // 4
    ASSERT_EQ(put(a, "/p!", 7), QEL_STATUS_OK);                   // 5: sorts between /p and /p/
    ASSERT_EQ(remove_node(a, "/p"), QEL_STATUS_OK);               // 6
    ASSERT_EQ(add_node(a, "/p!"), QEL_STATUS_IS_LEAF);            // nothing
    const char* paths[] = {"/b/1", "/b/2", "/p!/no"};             // 7: one call, three changes
    const _element_datatype_t values[] = {int_value(8, 100), int_value(9, 100), int_value(0)};
    const qel_tribool_t tribools[] = {0, 0, 0};
    const bool auto_time[] = {false, false, false};
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_set_leaves(a, paths, 3, values, tribools, auto_time, "batch", &statuses, &count),
              0);
    EXPECT_EQ(revision_of(a), 7u);
    EXPECT_EQ(revision_of(b), 7u);

    const std::vector<std::string> all{"1.0 3 /p - -> - one|src",
                                       "1.1 1 /p/x - -> " + leaf(1) + " one|src",
                                       "2.0 1 /p/x " + leaf(1) + " -> " + leaf(2, 100, 1) + " test",
                                       "3.0 2 /p/x " + leaf(2, 100, 1) + " -> - ",
                                       "4.0 3 /p/z - -> - test",
                                       "4.1 1 /p/z/w - -> " + leaf(6) + " test",
                                       "5.0 1 /p! - -> " + leaf(7) + " test",
                                       "6.0 4 /p - -> - ",
                                       "7.0 3 /b - -> - batch",
                                       "7.1 1 /b/1 - -> " + leaf(8) + " batch",
                                       "7.2 1 /b/2 - -> " + leaf(9) + " batch"};
    EXPECT_EQ(changes_of(a, "/"), all);
    // A subtree is the path and what lies below it, not a name that merely starts the same.
    EXPECT_EQ(changes_of(b, "/p"),
              (std::vector<std::string>{all[0], all[1], all[2], all[3], all[4], all[5], all[7]}));
    EXPECT_EQ(changes_of(a, "/p/z/w"), (std::vector<std::string>{all[5]}));
    EXPECT_TRUE(changes_of(a, "/nothing").empty());
    // Pages: from a revision, the first or the newest few, and on from a position.
    EXPECT_EQ(changes_of(a, "/", 4, 2), (std::vector<std::string>{all[4], all[5]}));
    EXPECT_EQ(changes_of(a, "/", 0, 3, true), (std::vector<std::string>{all[8], all[9], all[10]}));
    api_status_t status = 0;
    qel_host_change_t* changes = nullptr;
    ASSERT_EQ(qel_host_history_changes(a, "/", 7, 1, 7, nullptr, nullptr, 0, false, &status,
                                       &changes, &count),
              0);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(change_text(changes[0]), all[9]);
    // Times: the changes of one call share its time, and times never go back.
    ASSERT_EQ(qel_host_history_changes(a, "/", 0, 0, UINT64_MAX, nullptr, nullptr, 0, false,
                                       &status, &changes, &count),
              0);
    ASSERT_EQ(count, all.size());
    for (uint32_t i = 1; i < count; ++i) {
        const auto us = [&](uint32_t k) {
            return int64_t{changes[k].time.tv_sec} * 1000000 + changes[k].time.tv_usec;
        };
        EXPECT_LE(us(i - 1), us(i));
        if (changes[i].revision == changes[i - 1].revision) {
            EXPECT_EQ(us(i - 1), us(i));
        }
    }
    // Only the range asked: until a revision, between two times.
    const timeval first = changes[0].time, sixth = changes[7].time;
    ASSERT_EQ(qel_host_history_changes(a, "/", 0, 0, 2, nullptr, nullptr, 0, false, &status,
                                       &changes, &count),
              0);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(qel_host_history_changes(a, "/", 0, 0, UINT64_MAX, &first, &sixth, 0, false, &status,
                                       &changes, &count),
              0);
    EXPECT_GE(count, 8u);
}

TEST_P(History, TheTreeAtEveryRevisionAndTimeIsReadBack) {
    std::vector<std::vector<std::string>> trees{tree_now(a)};
    std::vector<std::set<std::string>> paths_then{{}};
    std::string text = "some text\0and more";
    const auto wrote = [&] {
        ASSERT_EQ(revision_of(a), trees.size());
        trees.push_back(tree_now(a));
    };
    ASSERT_EQ(put(a, "/a/b/c", 1), QEL_STATUS_OK);
    wrote();
    ASSERT_EQ(set(a, "/a/b/t", text_value(text, 5), 3), QEL_STATUS_OK);
    wrote();
    ASSERT_EQ(put(a, "/a!x", 2), QEL_STATUS_OK);
    wrote();
    ASSERT_EQ(put(a, "/a/b/c", 4), QEL_STATUS_OK);
    wrote();
    ASSERT_EQ(add_node(a, "/a/empty/deeper"), QEL_STATUS_OK);
    wrote();
    ASSERT_EQ(remove_node(a, "/a"), QEL_STATUS_OK);
    wrote();
    ASSERT_EQ(put(a, "/a", 5), QEL_STATUS_OK);
    wrote();  // a leaf where the node was
    ASSERT_EQ(clear_leaf(a, "/a"), QEL_STATUS_OK);
    wrote();
    ASSERT_EQ(put(a, "/a/b/c", 6), QEL_STATUS_OK);
    wrote();
    ASSERT_EQ(put(a, "/x/y", 7), QEL_STATUS_OK);
    wrote();
    const char* paths[] = {"/x/y", "/x/z"};
    const char* removed[] = {"/x", "/a/b"};
    const _element_datatype_t values[] = {int_value(8, 100), int_value(9, 100)};
    const qel_tribool_t tribools[] = {0, 2};
    const bool auto_time[] = {false, false};
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_set_leaves(a, paths, 2, values, tribools, auto_time, "", &statuses, &count), 0);
    wrote();
    ASSERT_EQ(qel_remove_nodes(a, removed, 2, "", &statuses, &count), 0);
    wrote();

    std::set<std::string> every_path;
    for (const auto& tree : trees)
        for (const std::string& line : tree) every_path.insert(line.substr(0, line.find(' ')));
    every_path.insert("/never");
    for (uint64_t r = 0; r < trees.size(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(tree_at(b, r), trees[r]);
        // A subtree alone: the tree's lines at and below it.
        std::vector<std::string> below;
        for (const std::string& line : trees[r])
            if (line.rfind("/a/b", 0) == 0 &&
                (line.size() == 4 || line[4] == '/' || line[4] == ' '))
                below.push_back(line);
        EXPECT_EQ(tree_at(b, r, "/a/b"), below);
        // Each path as get_leaf would have answered then.
        for (const std::string& path : every_path) {
            api_status_t status = 0;
            _element_datatype_t value{};
            element_property_t property = 0;
            uint64_t at = 0;
            ASSERT_EQ(
                qel_host_leaf_at(b, path.c_str(), r, nullptr, &status, &value, &property, &at), 0);
            const auto line = std::find_if(trees[r].begin(), trees[r].end(), [&](const auto& l) {
                return l.substr(0, l.find(' ')) == path;
            });
            if (line == trees[r].end()) {
                EXPECT_EQ(status, QEL_STATUS_NOT_FOUND) << path;
            } else if (line->find(' ') == std::string::npos) {
                EXPECT_EQ(status, QEL_STATUS_IS_NODE) << path;
            } else {
                EXPECT_EQ(path + " " + leaf_text(value, property), *line);
            }
        }
    }
    // By time: a revision's own time reads that revision, and a time before the first the empty
    // tree.
    api_status_t status = 0;
    qel_host_change_t* changes = nullptr;
    ASSERT_EQ(qel_host_history_changes(a, "/", 4, 0, 4, nullptr, nullptr, 0, false, &status,
                                       &changes, &count),
              0);
    ASSERT_EQ(count, 1u);
    const timeval at4 = changes[0].time, before = {at4.tv_sec - 3600, 0};
    qel_host_entry_t* entries = nullptr;
    uint64_t at = 0;
    ASSERT_EQ(qel_host_subtree_at(b, "/", 0, &at4, &status, &entries, &count, &at), 0);
    EXPECT_GE(at, 4u);  // later revisions may share the microsecond
    EXPECT_EQ(tree_at(b, at), trees[at]);
    ASSERT_EQ(qel_host_subtree_at(b, "/", 0, &before, &status, &entries, &count, &at), 0);
    EXPECT_EQ(at, 0u);
    EXPECT_EQ(count, 1u);  // the root alone
    _element_datatype_t value{};
    element_property_t property = 0;
    ASSERT_EQ(qel_host_leaf_at(b, "/a/b/c", 0, &before, &status, &value, &property, &at), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
}

TEST_P(History, RetentionDropsWholeRevisionsAtEachBound) {
    // By count: a revision goes whole, and the tree is still known at the newest one dropped.
    ASSERT_EQ(qel_host_set_history_limits(store, 3, 1 << 20, 3600), 0);
    ASSERT_EQ(put(a, "/n/a", 1), QEL_STATUS_OK);  // two changes
    ASSERT_EQ(put(a, "/n/b", 2), QEL_STATUS_OK);
    EXPECT_EQ(oldest_of(a), 1u);
    ASSERT_EQ(put(a, "/n/c", 3), QEL_STATUS_OK);
    EXPECT_EQ(oldest_of(a), 2u);
    EXPECT_EQ(changes_of(a, "/").size(), 2u);
    EXPECT_EQ(tree_at(b, 1), (std::vector<std::string>{"/", "/n", "/n/a " + leaf(1)}));
    api_status_t status = 0;
    qel_host_entry_t* entries = nullptr;
    qel_host_change_t* changes = nullptr;
    uint32_t count = 0;
    uint64_t at = 0;
    EXPECT_EQ(qel_host_subtree_at(b, "/", 0, nullptr, &status, &entries, &count, &at),
              QEL_RESULT_TOO_OLD);
    EXPECT_EQ(qel_host_history_changes(b, "/", 1, 0, UINT64_MAX, nullptr, nullptr, 0, false,
                                       &status, &changes, &count),
              QEL_RESULT_TOO_OLD);
    const timeval long_ago{1, 0};
    EXPECT_EQ(qel_host_subtree_at(b, "/", 0, &long_ago, &status, &entries, &count, &at),
              QEL_RESULT_TOO_OLD);

    // By bytes: texts of 1000 bytes, two of which fit.
    ASSERT_EQ(qel_host_set_history_limits(store, 1000, 2600, 3600), 0);
    std::string big(1000, 'x');
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(set(a, ("/big/" + std::to_string(i)).c_str(), text_value(big)), QEL_STATUS_OK);
    EXPECT_EQ(revision_of(a) - oldest_of(a) + 1, 2u);

    // By age: a change older than the bound goes with the next write.
    ASSERT_EQ(qel_host_set_history_limits(store, 1000, 1 << 20, 1), 0);
    ASSERT_EQ(put(a, "/age/1", 1), QEL_STATUS_OK);
    const uint64_t first = revision_of(a);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(put(a, "/age/2", 2), QEL_STATUS_OK);
    EXPECT_EQ(oldest_of(a), first + 1);

    // None kept: revisions are still counted, and the tree is known at the newest alone.
    ASSERT_EQ(qel_host_set_history_limits(store, 0, 1 << 20, 3600), 0);
    ASSERT_EQ(put(a, "/none", 1), QEL_STATUS_OK);
    const uint64_t now = revision_of(a);
    EXPECT_EQ(now, first + 2);
    EXPECT_EQ(oldest_of(a), now + 1);
    EXPECT_TRUE(changes_of(a, "/").empty());
    EXPECT_EQ(tree_at(b, now), tree_now(a));
    EXPECT_EQ(qel_host_subtree_at(b, "/", now - 1, nullptr, &status, &entries, &count, &at),
              QEL_RESULT_TOO_OLD);
}

// The tree changes a handle has queued: their paths, and the revision of each.
std::vector<std::pair<std::string, uint64_t>> take_changes(qel_handle_t h) {
    const std::vector<Seen> seen = take_events(h);
    uint64_t* revisions = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(qel_host_event_revisions(h, &revisions, &count), 0);
    EXPECT_EQ(count, seen.size());
    std::vector<std::pair<std::string, uint64_t>> out;
    for (uint32_t i = 0; i < count && i < seen.size(); ++i)
        out.emplace_back(seen[i].path, revisions[i]);
    return out;
}

TEST_P(History, ARegistrationFromARevisionReplaysWhatWasMissedThenGoesOnLive) {
    ASSERT_EQ(put(a, "/w/1", 1), QEL_STATUS_OK);      // 1
    ASSERT_EQ(put(a, "/other", 2), QEL_STATUS_OK);    // 2
    ASSERT_EQ(put(a, "/w/2", 3), QEL_STATUS_OK);      // 3
    ASSERT_EQ(clear_leaf(a, "/w/1"), QEL_STATUS_OK);  // 4
    api_status_t status = 0;
    ASSERT_EQ(qel_host_event_register_from(b, "/w", QEL_HOST_EVENT_TREE_CHANGE, true, 1, &status),
              0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/w/3", 5), QEL_STATUS_OK);  // 5, live
    using Changes = std::vector<std::pair<std::string, uint64_t>>;
    EXPECT_EQ(take_changes(b), (Changes{{"/w/2", 3}, {"/w/1", 4}, {"/w/3", 5}}));
    // Events of other kinds have no revision.
    std::string path = "/w";
    const _event_t alarm = event_at(path, 0x8);
    ASSERT_EQ(qel_event_register(b, "/w", 0x8, true, &status), 0);
    api_status_t* sent = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_events_send(a, &alarm, 1, &sent, &count), 0);
    ASSERT_EQ(put(a, "/w/4", 6), QEL_STATUS_OK);  // 6
    EXPECT_EQ(take_changes(b), (Changes{{"/w", 0}, {"/w/4", 6}}));
    EXPECT_TRUE(take_changes(b).empty());

    // Without the subtree flag, the path itself only; nothing missed is nothing replayed.
    qel_handle_t c = open_handle(store);
    ASSERT_EQ(
        qel_host_event_register_from(c, "/w/1", QEL_HOST_EVENT_TREE_CHANGE, false, 0, &status), 0);
    EXPECT_EQ(take_changes(c), (Changes{{"/w/1", 1}, {"/w/1", 4}}));
    ASSERT_EQ(
        qel_host_event_register_from(c, "/w/1", QEL_HOST_EVENT_TREE_CHANGE, false, 6, &status), 0);
    EXPECT_TRUE(take_changes(c).empty());

    // A revision the history no longer holds: refused, nothing registered, nothing queued.
    ASSERT_EQ(qel_host_set_history_limits(store, 1, 1 << 20, 3600), 0);
    ASSERT_EQ(put(a, "/late/x", 7), QEL_STATUS_OK);  // 7: two changes, dropped at once
    qel_handle_t d = open_handle(store);
    EXPECT_EQ(qel_host_event_register_from(d, "/", QEL_HOST_EVENT_TREE_CHANGE, true, 5, &status),
              QEL_RESULT_TOO_OLD);
    ASSERT_EQ(put(a, "/late/y", 8), QEL_STATUS_OK);
    EXPECT_TRUE(take_changes(d).empty());
}

TEST_P(History, AWatcherWhoseQueueOverflowedResumesWithoutAGap) {
    ASSERT_EQ(qel_host_set_queue_capacity(store, 4), 0);
    api_status_t status = 0;
    ASSERT_EQ(qel_host_event_register_from(b, "/", QEL_HOST_EVENT_TREE_CHANGE, true, 0, &status),
              0);
    for (int32_t i = 0; i < 3; ++i) ASSERT_EQ(put(a, ("/q/" + std::to_string(i)).c_str(), i), 1);
    uint64_t seen = 0;
    for (const auto& change : take_changes(b)) seen = change.second;
    EXPECT_EQ(seen, 3u);
    for (int32_t i = 3; i < 20; ++i) ASSERT_EQ(put(a, ("/q/" + std::to_string(i)).c_str(), i), 1);
    ASSERT_GT(qel_host_overflow_count(b), 0);
    // Starting again from the last revision seen: the queue's leftovers go, the missed come.
    take_changes(b);
    ASSERT_EQ(qel_event_clear(b, "/", QEL_HOST_EVENT_TREE_CHANGE, &status), 0);
    ASSERT_EQ(qel_host_set_queue_capacity(store, 64), 0);
    ASSERT_EQ(qel_host_event_register_from(b, "/", QEL_HOST_EVENT_TREE_CHANGE, true, seen, &status),
              0);
    std::vector<uint64_t> revisions;
    for (const auto& change : take_changes(b)) revisions.push_back(change.second);
    std::vector<uint64_t> expected;
    for (uint64_t r = 4; r <= 20; ++r) expected.push_back(r);
    EXPECT_EQ(revisions, expected);
}

TEST_P(History, TheEpochAndTheWritersPeerAreKept) {
    uint64_t revision = 0, oldest = 0;
    const char* epoch = nullptr;
    ASSERT_EQ(qel_host_history_info(a, &revision, &oldest, &epoch), 0);
    const std::string mine = epoch;
    EXPECT_EQ(mine.size(), 32u);
    EXPECT_EQ(mine.find_first_not_of("0123456789abcdef"), std::string::npos);
    qel_store_t* other = qel_host_store_open(nullptr);
    qel_handle_t h = qel_host_handle_open(other);
    ASSERT_EQ(qel_host_history_info(h, &revision, &oldest, &epoch), 0);
    EXPECT_NE(std::string(epoch), mine);
    qel_host_store_close(other);

    ASSERT_EQ(put(a, "/peer", 1), QEL_STATUS_OK);
    api_status_t status = 0;
    qel_host_change_t* changes = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_host_history_changes(a, "/", 0, 0, UINT64_MAX, nullptr, nullptr, 0, false,
                                       &status, &changes, &count),
              0);
    ASSERT_EQ(count, 1u);
    // A remote handle's writes come through the daemon's session, which knows its peer.
    EXPECT_EQ(changes[0].has_peer, remote_handles());
    if (remote_handles()) {
        EXPECT_EQ(changes[0].uid, getuid());
        EXPECT_EQ(changes[0].pid, static_cast<uint32_t>(getpid()));
    }
}

TEST_P(History, EveryBadArgumentOfTheHistoryCallsIsRefused) {
    ASSERT_EQ(put(a, "/x", 1), QEL_STATUS_OK);
    uint64_t revision = 0, oldest = 0, at = 0;
    const char* epoch = nullptr;
    api_status_t status = 0;
    qel_host_change_t* changes = nullptr;
    qel_host_entry_t* entries = nullptr;
    uint32_t count = 0;
    _element_datatype_t value{};
    element_property_t property = 0;
    uint64_t* revisions = nullptr;
    const auto all = [&](qel_handle_t h) {
        return std::vector<int>{
            qel_host_history_info(h, &revision, &oldest, &epoch),
            qel_host_history_changes(h, "/", 0, 0, UINT64_MAX, nullptr, nullptr, 0, false, &status,
                                     &changes, &count),
            qel_host_leaf_at(h, "/x", 1, nullptr, &status, &value, &property, &at),
            qel_host_subtree_at(h, "/", 1, nullptr, &status, &entries, &count, &at),
            qel_host_event_register_from(h, "/", QEL_HOST_EVENT_TREE_CHANGE, true, 0, &status),
            qel_host_event_revisions(h, &revisions, &count)};
    };
    EXPECT_EQ(all(a), std::vector<int>(6, 0));
    EXPECT_EQ(all(nullptr), std::vector<int>(6, QEL_RESULT_BAD_HANDLE));
    // Null out-parameters.
    const std::vector<int> null_outs{
        qel_host_history_info(a, nullptr, &oldest, &epoch),
        qel_host_history_info(a, &revision, &oldest, nullptr),
        qel_host_history_changes(a, "/", 0, 0, UINT64_MAX, nullptr, nullptr, 0, false, &status,
                                 nullptr, &count),
        qel_host_history_changes(a, "/", 0, 0, UINT64_MAX, nullptr, nullptr, 0, false, nullptr,
                                 &changes, &count),
        qel_host_leaf_at(a, "/x", 1, nullptr, &status, nullptr, &property, &at),
        qel_host_leaf_at(a, "/x", 1, nullptr, &status, &value, &property, nullptr),
        qel_host_subtree_at(a, "/", 1, nullptr, &status, &entries, nullptr, &at),
        qel_host_event_register_from(a, "/", QEL_HOST_EVENT_TREE_CHANGE, true, 0, nullptr),
        qel_host_event_revisions(a, nullptr, &count)};
    EXPECT_EQ(null_outs, std::vector<int>(null_outs.size(), QEL_RESULT_BAD_ARGUMENT));
    // A revision not made yet.
    EXPECT_EQ(qel_host_leaf_at(a, "/x", 2, nullptr, &status, &value, &property, &at),
              QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_host_subtree_at(a, "/", 2, nullptr, &status, &entries, &count, &at),
              QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_host_event_register_from(a, "/", QEL_HOST_EVENT_TREE_CHANGE, true, 2, &status),
              QEL_RESULT_BAD_ARGUMENT);
    // Bad paths are an item's status, as everywhere.
    for (const char* bad : {"", "x", "/x/", static_cast<const char*>(nullptr)}) {
        status = 0;
        EXPECT_EQ(qel_host_history_changes(a, bad, 0, 0, UINT64_MAX, nullptr, nullptr, 0, false,
                                           &status, &changes, &count),
                  0);
        EXPECT_NE(status, QEL_STATUS_OK);
        status = 0;
        EXPECT_EQ(qel_host_leaf_at(a, bad, 1, nullptr, &status, &value, &property, &at), 0);
        EXPECT_NE(status, QEL_STATUS_OK);
        status = 0;
        EXPECT_EQ(qel_host_subtree_at(a, bad, 1, nullptr, &status, &entries, &count, &at), 0);
        EXPECT_NE(status, QEL_STATUS_OK);
        status = 0;
        EXPECT_EQ(
            qel_host_event_register_from(a, bad, QEL_HOST_EVENT_TREE_CHANGE, true, 0, &status), 0);
        EXPECT_NE(status, QEL_STATUS_OK);
    }
    // Times as far off as a timeval goes: the tree now, and the tree before anything.
    const timeval latest{std::numeric_limits<time_t>::max(), 999999};
    const timeval earliest{std::numeric_limits<time_t>::min(), -999999};
    ASSERT_EQ(qel_host_leaf_at(a, "/x", 0, &latest, &status, &value, &property, &at), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);
    EXPECT_EQ(at, 1u);
    ASSERT_EQ(qel_host_leaf_at(a, "/x", 0, &earliest, &status, &value, &property, &at), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(at, 0u);
    EXPECT_EQ(qel_host_history_changes(a, "/", 0, 0, UINT64_MAX, &earliest, &latest, 0, false,
                                       &status, &changes, &count),
              0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(qel_host_set_history_limits(nullptr, 1, 1, 1), QEL_RESULT_BAD_HANDLE);
}

#ifdef NYR_HAVE_SQLITE
INSTANTIATE_TEST_SUITE_P(Stores, History, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "file" : "memory";
                         });
#else
INSTANTIATE_TEST_SUITE_P(Stores, History, ::testing::Values(false),
                         [](const ::testing::TestParamInfo<bool>&) { return "memory"; });
#endif

}  // namespace
