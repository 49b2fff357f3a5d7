// Checking and salvaging store files: a clean file checks clean and is copied whole, its history
// with its epoch and revisions; bytes flipped anywhere in a file leave out exactly the rows the
// check calls damaged, the copy opens as a store and holds every healthy row as it was, and the
// damaged file is never changed. Where history rows are lost, the copy keeps the revisions but
// holds only those it can answer for.
#include <sqlite3.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/history_support.h"
#include "host/log_support.h"
#include "host/store_fixture.h"

#ifdef NYR_HAVE_SQLITE

namespace {

using logtest::read_file;
using logtest::TempDir;
using namespace storetest;
using historytest::changes_of;
using historytest::tree_at;

std::string source_of(int revision) {
    char text[32];
    std::snprintf(text, sizeof text, "src<%03d>", revision - 1);
    return text;
}

// Every leaf below `path` as "path=value encoding", and every node as its path.
void entries(qel_handle_t handle, const std::string& path, std::set<std::string>& out) {
    api_status_t status = 0;
    uint32_t total = 0;
    std::vector<element_type_t> types(512);
    std::vector<_byte_array_t> names(512);
    ASSERT_EQ(qel_list_node(handle, path.c_str(), &status, &total, types.data(), 512, nullptr, 0,
                            names.data(), 512),
              0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    std::vector<std::string> children;
    for (uint32_t i = 0; i < total; ++i) children.push_back(bytes_of(names[i]));
    for (uint32_t i = 0; i < total; ++i) {
        const std::string child = (path == "/" ? "" : path) + "/" + children[i];
        if (types[i] != QEL_ELEMENT_LEAF) {
            out.insert(child);
            entries(handle, child, out);
            continue;
        }
        _element_datatype_t record{};
        element_property_t property = 0;
        ASSERT_EQ(qel_get_leaf(handle, child.c_str(), &status, &record, &property), 0);
        char bytes[4096];
        _byte_array_t buffer{bytes, sizeof bytes};
        ASSERT_EQ(serialize_element(&buffer, record, true), 0);
        out.insert(child + "=" + std::string(bytes, buffer.length));
    }
}

// What a store file holds: its tree's entries, its events' encodings and its history.
struct Contents {
    std::set<std::string> tree;
    std::multiset<std::string> events;
    std::string epoch;
    uint64_t revision = 0, oldest = 0;
    std::vector<std::string> changes;
};

Contents contents_of(const std::string& file) {
    Contents c;
    int opened = 0;
    qel_store_t* store = qel_host_store_open_ex(file.c_str(), &opened);
    EXPECT_EQ(opened, QEL_HOST_OPEN_OK) << qel_host_open_text(opened);
    if (!store) return c;
    qel_handle_t h = qel_host_handle_open(store);
    entries(h, "/", c.tree);
    _event_t* records = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(qel_log_retrieve(h, &records, &count, "/", nullptr, nullptr, 0, false, 0), 0);
    for (uint32_t k = 0; k < count; ++k) {
        char bytes[4096];
        _byte_array_t buffer{bytes, sizeof bytes};
        EXPECT_EQ(serialize_event(&buffer, records[k]), 0);
        c.events.insert(std::string(bytes, buffer.length));
        destruct_event(&records[k]);
    }
    std::free(records);
    const char* epoch = nullptr;
    EXPECT_EQ(qel_host_history_info(h, &c.revision, &c.oldest, &epoch), 0);
    c.epoch = epoch ? epoch : "";
    c.changes = changes_of(h, "/");
    qel_host_store_close(store);
    return c;
}

// A store file with nodes, leaves of every length and logged events; the write of leaf i is
// revision i + 1, its source "src<i>" (three digits) found only in its history rows.
void fill_store(const std::string& file) {
    qel_store_t* store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t h = qel_host_handle_open(store);
    for (int i = 0; i < 120; ++i) {
        const std::string path =
            "/plant/unit" + std::to_string(i % 12) + "/leaf" + std::to_string(i);
        std::string text(static_cast<std::size_t>(i * 7), static_cast<char>('a' + i % 26));
        const std::string source = source_of(i + 1);
        ASSERT_EQ(set(h, path.c_str(), text_value(text, i), 0, false, source.c_str()),
                  QEL_STATUS_OK);
    }
    std::vector<std::string> paths(200);
    std::vector<_event_t> records;
    for (int i = 0; i < 200; ++i) {
        paths[i] = "/plant/unit" + std::to_string(i % 12);
        records.push_back(event_at(paths[i], 0x10, i));
    }
    ASSERT_EQ(qel_log_store(h, records.data(), 200, false), 0);
    qel_host_store_close(store);
}

// `bytes` with one byte of `marker` changed, the marker being found there exactly once.
std::string flipped_at(std::string bytes, const std::string& marker) {
    const std::size_t at = bytes.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    EXPECT_EQ(bytes.find(marker, at + 1), std::string::npos) << marker;
    if (at != std::string::npos) bytes[at + 1] = static_cast<char>(bytes[at + 1] ^ 0x20);
    return bytes;
}

// A copy that kept the epoch answers as the original for every revision it holds: each of its
// changes is one of the original's, and the tree at each held revision is the original's then.
void history_agrees(const std::string& copy, const std::string& clean, const Contents& kept,
                    const Contents& original) {
    const std::set<std::string> all(original.changes.begin(), original.changes.end());
    for (const std::string& change : kept.changes) EXPECT_EQ(all.count(change), 1u) << change;
    if (kept.epoch != original.epoch) return;
    EXPECT_GE(kept.revision, original.revision);
    if (kept.oldest > original.revision + 1) return;  // nothing held
    qel_store_t* a = qel_host_store_open(copy.c_str());
    qel_store_t* b = qel_host_store_open(clean.c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    qel_handle_t ha = qel_host_handle_open(a), hb = qel_host_handle_open(b);
    const uint64_t first = kept.oldest - 1, last = original.revision;
    for (const uint64_t r : {first, (first + last) / 2, last})
        EXPECT_EQ(tree_at(ha, r), tree_at(hb, r)) << "revision " << r;
    qel_host_store_close(a);
    qel_host_store_close(b);
}

// A watch of the whole tree resumed from `revision` in store file `file`: its result and how
// many changes it replays.
void expect_resume(const std::string& file, uint64_t revision, int result, std::size_t replayed) {
    qel_store_t* store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t h = qel_host_handle_open(store);
    api_status_t status = 0;
    EXPECT_EQ(
        qel_host_event_register_from(h, "/", QEL_HOST_EVENT_TREE_CHANGE, true, revision, &status),
        result)
        << "from revision " << revision;
    EXPECT_EQ(take_events(h).size(), replayed) << "from revision " << revision;
    // Reading the tree at that revision is refused alike.
    _element_datatype_t value{};
    element_property_t property = 0;
    uint64_t at = 0;
    EXPECT_EQ(qel_host_leaf_at(h, "/plant/unit0/leaf0", revision, nullptr, &status, &value,
                               &property, &at),
              result)
        << "at revision " << revision;
    qel_host_store_close(store);
}

struct Lines {
    std::vector<std::string> lines;
    static void sink(void* context, const char* line) {
        static_cast<Lines*>(context)->lines.push_back(line);
    }
};

TEST(StoreSalvage, ACleanFileChecksCleanAndIsCopiedWhole) {
    TempDir dir;
    const std::string file = dir.file("store.db"), copy = dir.file("copy.db");
    fill_store(file);
    const std::string before = read_file(file);
    qel_host_file_report_t report;
    Lines lines;
    ASSERT_EQ(qel_host_store_check(file.c_str(), &report, Lines::sink, &lines), QEL_HOST_OPEN_OK);
    EXPECT_TRUE(lines.lines.empty()) << lines.lines.front();
    EXPECT_EQ(report.tree_rows, 1u + 12u + 120u);  // /plant, its units, their leaves
    EXPECT_EQ(report.event_rows, 200u);
    EXPECT_EQ(report.history_rows, 13u + 120u);  // the nodes' changes, the leaves'
    EXPECT_EQ(
        report.tree_damaged + report.event_damaged + report.history_damaged + report.unreadable,
        0u);
    EXPECT_EQ(report.integrity_ok, 1u);
    EXPECT_EQ(report.history_meta_ok, 1u);

    ASSERT_EQ(qel_host_store_salvage(file.c_str(), copy.c_str(), &report, nullptr, nullptr),
              QEL_HOST_OPEN_OK);
    EXPECT_EQ(read_file(file), before);
    const Contents original = contents_of(file), copied = contents_of(copy);
    EXPECT_EQ(copied.tree, original.tree);
    EXPECT_EQ(copied.events, original.events);
    EXPECT_EQ(original.events.size(), 200u);
    EXPECT_EQ(report.history_left_out, 0u);
    EXPECT_EQ(copied.epoch, original.epoch);
    EXPECT_EQ(copied.revision, 120u);
    EXPECT_EQ(copied.oldest, 1u);
    EXPECT_EQ(copied.changes, original.changes);
    EXPECT_EQ(copied.changes.size(), 133u);

    // The copy is a store file like any other; its place must be free, the source a store file.
    EXPECT_EQ(qel_host_store_salvage(file.c_str(), copy.c_str(), &report, nullptr, nullptr),
              QEL_HOST_OPEN_IN_USE);
    EXPECT_EQ(qel_host_store_check(dir.file("missing.db").c_str(), &report, nullptr, nullptr),
              QEL_HOST_OPEN_UNREADABLE);
    logtest::write_file(dir.file("text.db"), std::string(4096, 'x'));
    EXPECT_EQ(qel_host_store_check(dir.file("text.db").c_str(), &report, nullptr, nullptr),
              QEL_HOST_OPEN_FOREIGN);
    EXPECT_EQ(qel_host_store_check(file.c_str(), nullptr, nullptr, nullptr), QEL_HOST_OPEN_FAILED);
}

TEST(StoreSalvage, FlippedBytesLeaveOutOnlyTheDamagedRows) {
    TempDir dir;
    const std::string clean = dir.file("clean.db");
    fill_store(clean);
    const std::string bytes = read_file(clean);
    const Contents original = contents_of(clean);
    std::mt19937 random(7);
    int damaged_files = 0, partly_kept = 0, history_hit = 0;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string file = dir.file("flipped" + std::to_string(round) + ".db");
        const std::string copy = dir.file("salvaged" + std::to_string(round) + ".db");
        std::string flipped = bytes;
        for (int k = 0; k < 3; ++k) {  // past the database header, which names the file's kind
            const std::size_t at = 100 + random() % (flipped.size() - 100);
            flipped[at] = static_cast<char>(flipped[at] ^ (1 + random() % 255));
        }
        logtest::write_file(file, flipped);
        qel_host_file_report_t checked, salvaged;
        const int check = qel_host_store_check(file.c_str(), &checked, nullptr, nullptr);
        Lines left_out;
        const int made =
            qel_host_store_salvage(file.c_str(), copy.c_str(), &salvaged, Lines::sink, &left_out);
        EXPECT_EQ(read_file(file), flipped) << "the damaged file was changed";
        ASSERT_EQ(made, check);
        if (made != QEL_HOST_OPEN_OK) continue;  // a flip in the schema: not read as a store file
        EXPECT_EQ(salvaged.tree_damaged, checked.tree_damaged);
        EXPECT_EQ(salvaged.event_damaged, checked.event_damaged);
        EXPECT_EQ(salvaged.history_damaged, checked.history_damaged);
        // One line for each row left out, one for each table read only part way.
        auto lines_with = [&](const std::string& start) {
            std::size_t n = 0;
            for (const std::string& line : left_out.lines) n += line.rfind(start, 0) == 0;
            return n;
        };
        EXPECT_EQ(lines_with("tree: damaged: /"), checked.tree_damaged);
        EXPECT_EQ(lines_with("events: damaged: event "), checked.event_damaged);
        EXPECT_EQ(lines_with("history: damaged: revision "), checked.history_damaged);
        EXPECT_EQ(lines_with("history: missing before revision "), checked.history_missing);
        EXPECT_EQ(lines_with("tree: unreadable") + lines_with("events: unreadable") +
                      lines_with("history: unreadable"),
                  checked.unreadable);
        damaged_files += checked.tree_damaged + checked.event_damaged + checked.history_damaged +
                             checked.unreadable !=
                         0;
        history_hit += checked.history_damaged + salvaged.history_left_out != 0;

        // The copy opens, checks clean and holds the healthy rows, each as it was.
        qel_host_file_report_t again;
        ASSERT_EQ(qel_host_store_check(copy.c_str(), &again, nullptr, nullptr), QEL_HOST_OPEN_OK);
        EXPECT_EQ(
            again.tree_damaged + again.event_damaged + again.history_damaged + again.unreadable,
            0u);
        EXPECT_EQ(again.integrity_ok, 1u);
        EXPECT_EQ(again.history_meta_ok, 1u);
        EXPECT_EQ(again.tree_rows, checked.tree_rows - checked.tree_damaged);
        EXPECT_EQ(again.event_rows, checked.event_rows - checked.event_damaged);
        EXPECT_EQ(again.history_rows,
                  checked.history_rows - checked.history_damaged - salvaged.history_left_out);
        const Contents kept = contents_of(copy);
        for (const std::string& entry : kept.tree)
            EXPECT_EQ(original.tree.count(entry), 1u) << entry;
        for (const std::string& event : kept.events)
            EXPECT_GE(original.events.count(event), kept.events.count(event));
        EXPECT_EQ(kept.tree.size(), again.tree_rows);
        EXPECT_EQ(kept.events.size(), again.event_rows);
        EXPECT_EQ(kept.changes.size(), again.history_rows);
        partly_kept += kept.tree.size() + kept.events.size() != 0;
        history_agrees(copy, clean, kept, original);
    }
    EXPECT_GT(damaged_files, 5) << "the flips should have met rows";
    EXPECT_GT(partly_kept, 5);
    EXPECT_GT(history_hit, 2) << "the flips should have met history rows";
}

// Damage in the history: in one of its rows, its newest row, its meta row; and a tree row lost,
// which no revision holds. Each time the copy keeps what it can answer for, and refuses the rest.
TEST(StoreSalvage, TheCopysHistoryHoldsOnlyTheRevisionsAfterWhatItLost) {
    TempDir dir;
    const std::string clean = dir.file("clean.db");
    fill_store(clean);
    const std::string bytes = read_file(clean);
    const Contents original = contents_of(clean);
    ASSERT_EQ(original.revision, 120u);
    int round = 0;
    // The file's bytes after one SQL statement on them.
    auto altered = [&](const std::string& from, const char* sql) {
        const std::string file = dir.file("altered" + std::to_string(round) + ".db");
        logtest::write_file(file, from);
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
        EXPECT_EQ(sqlite3_changes(db), 1) << sql;
        sqlite3_close(db);
        return read_file(file);
    };
    // Salvages `damaged`, checks what the check and the copy say, and returns the copy's name.
    auto salvage = [&](const std::string& damaged, uint64_t history_damaged, uint32_t meta_ok,
                       uint64_t missing = 0) {
        const std::string file = dir.file("damaged" + std::to_string(round) + ".db");
        const std::string copy = dir.file("copy" + std::to_string(round++) + ".db");
        logtest::write_file(file, damaged);
        qel_host_file_report_t checked, salvaged;
        EXPECT_EQ(qel_host_store_check(file.c_str(), &checked, nullptr, nullptr), QEL_HOST_OPEN_OK);
        EXPECT_EQ(checked.history_damaged, history_damaged);
        EXPECT_EQ(checked.history_meta_ok, meta_ok);
        EXPECT_EQ(checked.history_missing, missing);
        EXPECT_EQ(qel_host_store_salvage(file.c_str(), copy.c_str(), &salvaged, nullptr, nullptr),
                  QEL_HOST_OPEN_OK);
        return copy;
    };

    // Revision 60 loses its one change: the copy holds revisions 61 to 120 and the tree at 60 on.
    std::string copy = salvage(flipped_at(bytes, source_of(60)), 1, 1);
    Contents kept = contents_of(copy);
    EXPECT_EQ(kept.epoch, original.epoch);
    EXPECT_EQ(kept.revision, 120u);
    EXPECT_EQ(kept.oldest, 61u);
    std::vector<std::string> after_60;
    for (const std::string& change : original.changes)
        if (std::stoul(change) > 60) after_60.push_back(change);
    EXPECT_EQ(kept.changes, after_60);
    history_agrees(copy, clean, kept, original);
    expect_resume(copy, 59, QEL_RESULT_TOO_OLD, 0);
    expect_resume(copy, 60, QEL_RESULT_OK, 60);

    // The newest change lost: nothing is held, but the counter stands.
    kept = contents_of(salvage(flipped_at(bytes, source_of(120)), 1, 1));
    EXPECT_EQ(kept.epoch, original.epoch);
    EXPECT_EQ(kept.revision, 120u);
    EXPECT_EQ(kept.oldest, 121u);
    EXPECT_TRUE(kept.changes.empty());

    // The epoch lost: the copy's revisions cannot be vouched for as the file's and get an epoch
    // of their own; the changes, all healthy, are kept.
    copy = salvage(flipped_at(bytes, original.epoch), 0, 0);
    kept = contents_of(copy);
    EXPECT_NE(kept.epoch, original.epoch);
    EXPECT_EQ(kept.revision, 120u);
    EXPECT_EQ(kept.changes, original.changes);
    EXPECT_EQ(kept.tree, original.tree);

    // A change gone without a trace, which only the running count of the rows shows: held from
    // the revision after it.
    copy = salvage(altered(bytes, "DELETE FROM history WHERE revision = 70"), 0, 1, 1);
    kept = contents_of(copy);
    EXPECT_EQ(kept.revision, 120u);
    EXPECT_EQ(kept.oldest, 71u);
    history_agrees(copy, clean, kept, original);

    // A tree row lost: the copy's tree is that of a revision of its own, 121, and none before.
    copy = salvage(altered(bytes,
                           "UPDATE tree SET fill = 1 WHERE path = CAST('/plant/unit3/leaf15'"
                           " AS BLOB)"),
                   0, 1);
    kept = contents_of(copy);
    EXPECT_EQ(kept.epoch, original.epoch);
    EXPECT_EQ(kept.revision, 121u);
    EXPECT_EQ(kept.oldest, 122u);
    EXPECT_EQ(kept.tree.size(), original.tree.size() - 1);
    expect_resume(copy, 120, QEL_RESULT_TOO_OLD, 0);
    expect_resume(copy, 121, QEL_RESULT_OK, 0);
}

}  // namespace

#endif  // NYR_HAVE_SQLITE
