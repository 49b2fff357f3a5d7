// A store opened on a file keeps its tree there: every kind of entry comes back exactly after
// reopening and after the writer is killed, a damaged row refuses the file, a failed commit changes
// neither file nor tree, and one store at a time holds the file.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <string>

#include "host/log_support.h"
#include "host/store_fixture.h"

#ifdef NYR_HAVE_SQLITE
#include <sqlite3.h>

namespace {

using logtest::FileSizeLimit;
using logtest::TempDir;
using namespace storetest;

// Every entry below `path`, one line each: its path, and for a leaf its value encoding with the
// time stamp, its fill word and its property word.
void dump(qel_handle_t handle, const std::string& path, std::string& out) {
    api_status_t status = 0;
    uint32_t total = 0;
    element_type_t types[64];
    element_property_t properties[64];
    _byte_array_t names[64];
    ASSERT_EQ(
        qel_list_node(handle, path.c_str(), &status, &total, types, 64, properties, 64, names, 64),
        0);
    ASSERT_EQ(status, QEL_STATUS_OK) << path;
    ASSERT_LE(total, 64u);
    std::vector<std::string> children;
    for (uint32_t i = 0; i < total; ++i) children.push_back(bytes_of(names[i]));
    for (uint32_t i = 0; i < total; ++i) {
        const std::string child = (path == "/" ? "" : path) + "/" + children[i];
        out += child;
        if (types[i] == QEL_ELEMENT_LEAF) {
            _element_datatype_t record{};
            element_property_t property = 0;
            ASSERT_EQ(qel_get_leaf(handle, child.c_str(), &status, &record, &property), 0);
            char bytes[256];
            _byte_array_t buffer{bytes, sizeof bytes};
            ASSERT_EQ(serialize_element(&buffer, record, true), 0);
            out += " " + std::string(bytes, buffer.length) + " " + std::to_string(record._fill) +
                   " " + std::to_string(property);
        }
        out += "\n";
        if (types[i] != QEL_ELEMENT_LEAF) dump(handle, child, out);
    }
}

std::string tree_of(qel_store_t* store) {
    std::string out;
    dump(qel_host_handle_open(store), "/", out);
    return out;
}

qel_store_t* must_open(const std::string& file) {
    int result = -1;
    qel_store_t* store = qel_host_store_open_ex(file.c_str(), &result);
    EXPECT_EQ(result, QEL_HOST_OPEN_OK);
    return store;
}

// A leaf of each type, with time stamps, fill and property words, an empty node, nodes made
// implicitly, a removed subtree, a cleared leaf and a batch.
void write_every_kind(qel_handle_t h) {
    std::string text("text\0with a NUL", 15), empty;
    _element_datatype_t values[10] = {};
    for (int type = 1; type <= 10; ++type) {
        _element_datatype_t& v = values[type - 1];
        v.type = static_cast<data_type_t>(type);
        v.timestamp = {1000 + type, type};
        v._fill = 0xF111u * type;
        v.value.uint64_value = 0x8877665544332211ull * type;  // every byte of the union set
    }
    values[0].value.bool_value = 0x5A;  // kept as written, not turned into 1
    values[5].value.string_value = {&text[0], static_cast<uint32_t>(text.size())};
    values[6].value.blob_value = {&empty[0], 0};
    values[3].value.float_value = -0.1;
    for (int type = 1; type <= 10; ++type) {
        const std::string path = "/types/t" + std::to_string(type);
        ASSERT_EQ(set(h, path.c_str(), values[type - 1], type % 3 == 0 ? 7 : type % 2),
                  QEL_STATUS_OK);
    }
    ASSERT_EQ(add_node(h, "/empty"), QEL_STATUS_OK);
    ASSERT_EQ(put(h, "/deep/x/y/leaf", 1), QEL_STATUS_OK);
    ASSERT_EQ(put(h, "/gone/a/b", 2), QEL_STATUS_OK);
    ASSERT_EQ(put(h, "/gone-not/c", 3), QEL_STATUS_OK);  // sorts between /gone and /gone/...
    ASSERT_EQ(remove_node(h, "/gone"), QEL_STATUS_OK);
    ASSERT_EQ(put(h, "/cleared", 4), QEL_STATUS_OK);
    ASSERT_EQ(clear_leaf(h, "/cleared"), QEL_STATUS_OK);
    const char* paths[] = {"/batch/a", "/batch/b", "/types"};  // the last one fails: a node
    const _element_datatype_t batch[] = {int_value(5, 50), int_value(6), int_value(7)};
    const qel_tribool_t tribools[] = {1, 0, 1};
    const bool auto_time[] = {false, true, false};
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_set_leaves(h, paths, 3, batch, tribools, auto_time, "", &statuses, &count), 0);
    EXPECT_EQ(statuses_of(statuses, count),
              (Statuses{QEL_STATUS_OK, QEL_STATUS_OK, QEL_STATUS_IS_NODE}));
}

TEST(StoreFile, ReopeningGivesBackEveryKindOfEntryExactly) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    qel_store_t* store = must_open(file);
    ASSERT_NE(store, nullptr);
    write_every_kind(qel_host_handle_open(store));
    const std::string before = tree_of(store);
    qel_host_store_close(store);
    for (const char* kept : {"/empty\n", "/deep/x/y\n", "/gone-not/c ", "/batch/b ", "/types/t10 "})
        EXPECT_NE(before.find(kept), std::string::npos) << kept;
    for (const char* lost : {"/gone\n", "/gone/", "/cleared"})
        EXPECT_EQ(before.find(lost), std::string::npos) << lost;

    store = must_open(file);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(tree_of(store), before);
    qel_host_store_close(store);

    // A file of the layout before, which kept the event log alone, takes a tree from now on.
    const std::string old_file = dir.file("old.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(old_file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TABLE events(id INTEGER PRIMARY KEY, path BLOB NOT NULL,"
                           " sec INTEGER NOT NULL, usec INTEGER NOT NULL, kind INTEGER NOT NULL,"
                           " body BLOB NOT NULL, value_fill INTEGER NOT NULL, raw_value BLOB,"
                           " checksum INTEGER NOT NULL);"
                           "CREATE INDEX events_by_path_time ON events(path, sec, usec);"
                           "CREATE INDEX events_by_time ON events(sec, usec);"
                           "PRAGMA application_id = 1314476620; PRAGMA user_version = 3;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    store = must_open(old_file);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(put(qel_host_handle_open(store), "/new", 1), QEL_STATUS_OK);
    qel_host_store_close(store);
    store = must_open(old_file);
    EXPECT_EQ(get(qel_host_handle_open(store), "/new"), QEL_STATUS_OK);
    qel_host_store_close(store);
}

TEST(StoreFile, ADamagedRowRefusesTheFileAndLeavesItAsItWas) {
    TempDir dir;
    const std::string good = dir.file("good.db");
    qel_store_t* store = must_open(good);
    ASSERT_NE(store, nullptr);
    write_every_kind(qel_host_handle_open(store));
    qel_host_store_close(store);

    const char* damages[] = {
        "UPDATE tree SET property = property + 1 WHERE path = CAST('/types/t2' AS BLOB)",
        "UPDATE tree SET value = CAST('x' AS BLOB) WHERE path = CAST('/empty' AS BLOB)",
        "DELETE FROM tree WHERE path = CAST('/deep/x' AS BLOB)"};  // a leaf below loses its parent
    for (const char* damage : damages) {
        SCOPED_TRACE(damage);
        const std::string file = dir.file("damaged.db");
        logtest::write_file(file, logtest::read_file(good));
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, damage, nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_changes(db), 1);
        sqlite3_close(db);
        const std::string bytes = logtest::read_file(file);
        int result = 0;
        EXPECT_EQ(qel_host_store_open_ex(file.c_str(), &result), nullptr);
        EXPECT_EQ(result, QEL_HOST_OPEN_DAMAGED);
        EXPECT_EQ(logtest::read_file(file), bytes);
    }
}

TEST(StoreFile, IsHeldByOneStoreAtATime) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    qel_store_t* store = must_open(file);
    ASSERT_NE(store, nullptr);
    int result = 0;
    EXPECT_EQ(qel_host_store_open_ex(file.c_str(), &result), nullptr);
    EXPECT_EQ(result, QEL_HOST_OPEN_IN_USE);
    const pid_t child = fork();
    if (child == 0) {
        int in_child = 0;
        qel_host_store_open_ex(file.c_str(), &in_child);
        _exit(in_child);
    }
    int wait_status = 0;
    ASSERT_EQ(waitpid(child, &wait_status, 0), child);
    EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == QEL_HOST_OPEN_IN_USE);
    qel_host_store_close(store);
    store = must_open(file);
    EXPECT_NE(store, nullptr) << "free again once closed";
    qel_host_store_close(store);
}

TEST(StoreFile, AFailedCommitChangesNeitherFileNorTreeAndAnnouncesNothing) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    qel_store_t* store = must_open(file);
    ASSERT_NE(store, nullptr);
    qel_handle_t writer = qel_host_handle_open(store), watcher = qel_host_handle_open(store);
    write_every_kind(writer);
    api_status_t status = 0;
    ASSERT_EQ(qel_event_register(watcher, "/", QEL_HOST_EVENT_TREE_CHANGE, true, &status), 0);
    const std::string before = tree_of(store);

    std::string big(2 << 20, 'b');
    const char* paths[] = {"/types/big0", "/types/big1", "/types/big2"};
    const _element_datatype_t values[] = {text_value(big), text_value(big), text_value(big)};
    const qel_tribool_t tribools[] = {1, 1, 1};
    const bool auto_time[] = {false, false, false};
    {
        FileSizeLimit full(1 << 20);  // below what either write needs
        api_status_t* statuses = nullptr;
        uint32_t count = 0;
        EXPECT_EQ(
            qel_set_leaves(writer, paths, 3, values, tribools, auto_time, "", &statuses, &count),
            QEL_RESULT_DATABASE);
        EXPECT_EQ(qel_set_leaf(writer, "/types/t6", values[0], 0, false, "", &status),
                  QEL_RESULT_DATABASE);
        EXPECT_EQ(tree_of(store), before);
    }
    EXPECT_TRUE(take_events(watcher).empty());
    // With room again writes go on, and the file holds what the tree holds.
    ASSERT_EQ(put(writer, "/after", 1), QEL_STATUS_OK);
    const std::string after = tree_of(store);
    qel_host_store_close(store);
    store = must_open(file);
    EXPECT_EQ(tree_of(store), after);
    qel_host_store_close(store);
}

TEST(StoreFile, AKilledWriterLosesNoAcknowledgedWrite) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    int acks[2];
    ASSERT_EQ(pipe(acks), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(acks[0]);
        qel_store_t* store = qel_host_store_open(file.c_str());
        qel_handle_t h = store ? qel_host_handle_open(store) : nullptr;
        for (int32_t i = 0; h != nullptr; ++i) {
            const std::string path = "/acked/" + std::to_string(i);
            api_status_t status = 0;
            if (qel_set_leaf(h, path.c_str(), int_value(i), 0, false, "", &status) != 0) break;
            if (write(acks[1], &i, sizeof i) != sizeof i) break;
        }
        _exit(1);
    }
    close(acks[1]);
    int32_t last = -1, got = 0;
    while (last < 300 && read(acks[0], &got, sizeof got) == sizeof got) last = got;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(acks[0]);
    ASSERT_GE(last, 300);

    qel_store_t* store = must_open(file);
    ASSERT_NE(store, nullptr);
    qel_handle_t h = qel_host_handle_open(store);
    for (int32_t i = 0; i <= last; ++i) {
        _element_datatype_t record{};
        element_property_t property = 0;
        ASSERT_EQ(get(h, ("/acked/" + std::to_string(i)).c_str(), record, property), QEL_STATUS_OK)
            << i;
        ASSERT_EQ(record.value.int_value, i);
    }
    qel_host_store_close(store);
}

}  // namespace

#endif  // NYR_HAVE_SQLITE

TEST(StoreTexts, EveryResultAndOpenReasonHasItsOwnWording) {
    std::set<std::string> results, reasons;
    for (int code : std::initializer_list<int>{
             QEL_RESULT_OK, QEL_RESULT_BAD_HANDLE, QEL_RESULT_BAD_ARGUMENT, QEL_RESULT_NO_MEMORY,
             QEL_RESULT_DATABASE, QEL_RESULT_MALFORMED, QEL_RESULT_DAMAGED, QEL_RESULT_LOST, 12345})
        results.insert(qel_host_result_text(code));
    EXPECT_EQ(results.size(), 9u);
    for (int code = QEL_HOST_OPEN_OK; code <= QEL_HOST_OPEN_IN_USE; ++code)
        reasons.insert(qel_host_open_text(code));
    EXPECT_EQ(reasons.size(), 11u);
    EXPECT_STREQ(qel_host_open_text(99), qel_host_open_text(QEL_HOST_OPEN_FAILED));
    // A failing tree is the store file's, not only the event log's.
    EXPECT_NE(std::string(qel_host_result_text(QEL_RESULT_DATABASE)).find("store file"),
              std::string::npos);
}
