// Checking and salvaging store files: a clean file checks clean and is copied whole; bytes flipped
// anywhere in a file leave out exactly the rows the check calls damaged, the copy opens as a store
// and holds every healthy row as it was, and the damaged file is never changed.
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/log_support.h"
#include "host/store_fixture.h"

#ifdef NYR_HAVE_SQLITE

namespace {

using logtest::read_file;
using logtest::TempDir;
using namespace storetest;

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

// What a store file holds: its tree's entries and its events' encodings.
struct Contents {
    std::set<std::string> tree;
    std::multiset<std::string> events;
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
    qel_host_store_close(store);
    return c;
}

// A store file with nodes, leaves of every length and logged events.
void fill_store(const std::string& file) {
    qel_store_t* store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t h = qel_host_handle_open(store);
    for (int i = 0; i < 120; ++i) {
        const std::string path =
            "/plant/unit" + std::to_string(i % 12) + "/leaf" + std::to_string(i);
        std::string text(static_cast<std::size_t>(i * 7), static_cast<char>('a' + i % 26));
        ASSERT_EQ(set(h, path.c_str(), text_value(text, i)), QEL_STATUS_OK);
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
    EXPECT_EQ(report.tree_damaged + report.event_damaged + report.unreadable, 0u);
    EXPECT_EQ(report.integrity_ok, 1u);

    ASSERT_EQ(qel_host_store_salvage(file.c_str(), copy.c_str(), &report, nullptr, nullptr),
              QEL_HOST_OPEN_OK);
    EXPECT_EQ(read_file(file), before);
    const Contents original = contents_of(file), copied = contents_of(copy);
    EXPECT_EQ(copied.tree, original.tree);
    EXPECT_EQ(copied.events, original.events);
    EXPECT_EQ(original.events.size(), 200u);

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
    int damaged_files = 0, partly_kept = 0;
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
        // One line for each row left out, one for each table read only part way.
        auto lines_with = [&](const std::string& start) {
            std::size_t n = 0;
            for (const std::string& line : left_out.lines) n += line.rfind(start, 0) == 0;
            return n;
        };
        EXPECT_EQ(lines_with("tree: damaged: /"), checked.tree_damaged);
        EXPECT_EQ(lines_with("events: damaged: event "), checked.event_damaged);
        EXPECT_EQ(lines_with("tree: unreadable") + lines_with("events: unreadable"),
                  checked.unreadable);
        damaged_files += checked.tree_damaged + checked.event_damaged + checked.unreadable != 0;

        // The copy opens, checks clean and holds the healthy rows, each as it was.
        qel_host_file_report_t again;
        ASSERT_EQ(qel_host_store_check(copy.c_str(), &again, nullptr, nullptr), QEL_HOST_OPEN_OK);
        EXPECT_EQ(again.tree_damaged + again.event_damaged + again.unreadable, 0u);
        EXPECT_EQ(again.integrity_ok, 1u);
        EXPECT_EQ(again.tree_rows, checked.tree_rows - checked.tree_damaged);
        EXPECT_EQ(again.event_rows, checked.event_rows - checked.event_damaged);
        const Contents kept = contents_of(copy);
        for (const std::string& entry : kept.tree)
            EXPECT_EQ(original.tree.count(entry), 1u) << entry;
        for (const std::string& event : kept.events)
            EXPECT_GE(original.events.count(event), kept.events.count(event));
        EXPECT_EQ(kept.tree.size(), again.tree_rows);
        EXPECT_EQ(kept.events.size(), again.event_rows);
        partly_kept += kept.tree.size() + kept.events.size() != 0;
    }
    EXPECT_GT(damaged_files, 5) << "the flips should have met rows";
    EXPECT_GT(partly_kept, 5);
}

}  // namespace

#endif  // NYR_HAVE_SQLITE
