// The nyr binary run as a user runs it, against a nyrd this test starts and against a store file:
// its output for a small known tree, its exit statuses, bad input, watching, the event log, and a
// lossless export and import of 100,000 leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <nyr_host.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <toolkit/nyr.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../support/file_text.h"
#include "nyr_run.h"
#include "transfer.h"

namespace {

using namespace nyrruntest;

const char kPlant[] = R"({"format": "nyr-export", "version": 1,
  "nodes": ["", "empty", "pump", "sensors"],
  "leaves": [
    {"path": "pump/state", "property": 0, "time": [1700000000, 0], "type": "string", "value": "running"},
    {"path": "sensors/count", "property": 1, "time": [1700000001, 250000], "type": "uint64", "value": 18446744073709551615},
    {"path": "sensors/t1", "property": 1, "time": [1700000002, 0], "type": "double", "value": 21.5}
  ]})";

TEST_P(NyrCommandTest, BrowsesAndEditsAKnownTreeWithExactOutputAndExitStatuses) {
    write_file(_dir + "/plant.json", kPlant);
    ASSERT_TRUE(succeeds({"import", "/plant", _dir + "/plant.json"}));

    EXPECT_EQ(nyr({"ls", "/plant"}).out, "node empty\nnode pump\nnode sensors\n");
    EXPECT_EQ(nyr({"ls", "-l", "-R", "/plant/sensors"}).out,
              "leaf uint64           1 2023-11-14T22:13:21.250000Z count 18446744073709551615\n"
              "leaf double           1 2023-11-14T22:13:22.000000Z t1 21.5\n");
    EXPECT_EQ(nyr({"ls", "--json", "-l", "/plant/pump"}).out,
              R"([{"kind":"leaf","path":"state","property":0,"time":[1700000000,0],)"
              R"("type":"string","value":"running"}])"
              "\n");
    EXPECT_EQ(nyr({"ls", "/plant/pump/state"}).out, "leaf /plant/pump/state\n");
    EXPECT_EQ(nyr({"get", "/plant/pump/state", "/plant/sensors/t1"}).out, "running\n21.5\n");
    EXPECT_EQ(nyr({"get", "--json", "/plant/sensors/t1"}).out,
              R"([{"path":"/plant/sensors/t1","property":1,"time":[1700000002,0],)"
              R"("type":"double","value":21.5}])"
              "\n");

    // Refusals by the store: exit status 1, the path and the meaning named.
    const Outcome missing = nyr({"get", "/plant/missing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("/plant/missing: not found"), std::string::npos) << missing.err;
    const Outcome bad_path = nyr({"get", "plant/pump"});
    EXPECT_EQ(bad_path.status, 1);
    EXPECT_NE(bad_path.err.find("plant/pump: bad path"), std::string::npos) << bad_path.err;
    EXPECT_EQ(nyr({"set", "/plant/pump/state/x", "1"}).status, 1);
    EXPECT_EQ(nyr({"rm", "/"}).status, 1);
    // Bad input: a value that does not fit (1), an unknown type or a bad command line (2); in
    // each case nothing is written.
    const Outcome overflow = nyr({"set", "/plant/pump/state", "int32:4294967296"});
    EXPECT_EQ(overflow.status, 1);
    EXPECT_NE(overflow.err.find("does not fit type int32"), std::string::npos) << overflow.err;
    EXPECT_EQ(nyr({"set", "/plant/pump/state", "int31:5"}).status, 2);
    EXPECT_EQ(nyr({"ls"}).status, 2);
    EXPECT_EQ(nyr({"frobnicate"}).status, 2);
    EXPECT_EQ(nyr({"import", "/plant", _dir + "/absent.json"}).status, 1);
    write_file(_dir + "/bad.json", "{\"format\": \"nyr-export\",\n \"version\": 1,, }");
    const Outcome malformed = nyr({"import", "/plant", _dir + "/bad.json"});
    EXPECT_EQ(malformed.status, 1);
    EXPECT_NE(malformed.err.find("line 2, column 15"), std::string::npos) << malformed.err;
    EXPECT_EQ(nyr({"get", "/plant/pump/state"}).out, "running\n");

    // Edits, each seen by the next command.
    EXPECT_TRUE(succeeds({"set", "/plant/pump/speed", "complex:(1.5,-2)"}));
    EXPECT_TRUE(succeeds({"cp", "/plant/pump", "/plant/spare"}));
    EXPECT_EQ(nyr({"mv", "/plant/spare", "/plant/pump"}).status, 1);  // the target exists
    EXPECT_TRUE(succeeds({"mv", "/plant/spare", "/plant/reserve"}));
    EXPECT_TRUE(succeeds({"clear", "/plant/reserve/state"}));
    EXPECT_TRUE(succeeds({"rm", "/plant/empty"}));
    EXPECT_TRUE(succeeds({"mkdir", "/plant/new"}));
    EXPECT_EQ(nyr({"ls", "-R", "/plant"}).out,
              "node new\nnode pump\nleaf pump/speed\nleaf pump/state\nnode reserve\n"
              "leaf reserve/speed\nnode sensors\nleaf sensors/count\nleaf sensors/t1\n");
    EXPECT_EQ(nyr({"get", "/plant/reserve/speed"}).out, "(1.5,-2)\n");
}

TEST_P(NyrCommandTest, LogShowsTheLoggedEventsOfAPathAndTimeRange) {
    const std::string alarm = R"({"type": 8, "path": "/plant/pump", "note": "hot",
        "event_time": [1700000000, 5], "base_priority": 2})";
    EXPECT_TRUE(succeeds({"send", "--log", alarm}));
    EXPECT_TRUE(succeeds(
        {"send", R"({"type": 8, "path": "/other", "event_time": [1700000100, 0]})", "--log"}));
    const Outcome text = nyr({"log", "/plant"});
    EXPECT_EQ(text.status, 0);
    toolkit::CEvent expected(8);
    expected.path = "/plant/pump";
    expected.note = "hot";
    expected.event_time = timeval{1700000000, 5};
    expected.base_priority = 2;
    EXPECT_EQ(text.out, expected.to_string() + "\n");
    const Outcome json = nyr({"log", "/", "--json", "--from", "2023-11-14T22:14:00Z"});
    EXPECT_NE(json.out.find(R"("path":"/other")"), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("/plant/pump"), std::string::npos) << json.out;
    EXPECT_EQ(nyr({"send", "{\"type\": 8,\n \"note\": }"}).status, 1);
    EXPECT_TRUE(succeeds({"log", "clear", "/plant"}));
    EXPECT_EQ(nyr({"log", "/plant"}).out, "");
    EXPECT_NE(nyr({"log", "/other"}).out.find("path:/other"), std::string::npos);
}

TEST_P(NyrCommandTest, ExportImportExportOf100000LeavesGivesIdenticalBytes) {
    // The document comes from the tool's own export of a tree in memory holding every type.
    qel_store_t* memory = qel_host_store_open(nullptr);
    toolkit::CNyr client(qel_host_handle_open(memory));
    std::vector<std::string> paths;
    std::vector<toolkit::CElement> values;
    const toolkit::CElement samples[] = {
        toolkit::CElement(true),
        toolkit::CElement(-7),
        toolkit::CElement(7u),
        toolkit::CElement(-0.0),
        toolkit::CElement(static_cast<std::int64_t>(INT64_MIN / 3)),
        toolkit::CElement(~std::uint64_t{0}),
        toolkit::CElement(std::complex<double>(1, NAN)),
        toolkit::CElement::from_time(timeval{1, 2}),
        toolkit::CElement("text\xff"),
        toolkit::CElement(std::vector<char>{'\0', '\1'})};
    for (std::size_t i = 0; i < 100000; ++i) {
        paths.push_back("/g" + std::to_string(i % 97) + "/leaf" + std::to_string(i));
        values.push_back(samples[i % 10]);
    }
    std::vector<api_status_t> statuses;
    ASSERT_EQ(
        client.set_leaves(paths, values, std::vector<qel_tribool_t>(paths.size(), 1), statuses, ""),
        0);
    const std::string document = nyr_tool::export_subtree(client, "/");
    qel_host_store_close(memory);
    write_file(_dir + "/tree.json", document);

    ASSERT_TRUE(succeeds({"import", "/first", _dir + "/tree.json"}));
    ASSERT_TRUE(succeeds({"export", "/first", _dir + "/first.json"}));
    ASSERT_TRUE(succeeds({"import", "/second/copy", _dir + "/first.json"}));
    ASSERT_TRUE(succeeds({"export", "/second/copy", _dir + "/second.json"}));
    EXPECT_TRUE(read_file(_dir + "/first.json") == document);
    EXPECT_TRUE(read_file(_dir + "/second.json") == document);
}

std::string backend_name(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::daemon ? "nyrd" : "store_file";
}

#ifdef NYRD_PATH
INSTANTIATE_TEST_SUITE_P(Stores, NyrCommandTest,
                         ::testing::Values(Backend::daemon, Backend::store_file), backend_name);

// Watching needs a daemon: a store file is held by one process at a time.
class NyrWatchTest : public NyrCommandTest {};

TEST_P(NyrWatchTest, WatchPrintsEachEventAsItArrivesUntilInterrupted) {
    for (const bool json : {false, true}) {
        std::vector<std::string> args = _where;
        for (const char* arg : {"watch", "/plant", "--recursive", "--kinds", "tree,0x8"})
            args.push_back(arg);
        if (json) args.push_back("--json");
        const pid_t watcher = start(NYR_PATH, args, _dir + "/watch.out", _dir + "/watch.err");
        ASSERT_TRUE(wait_for([&] {
            return read_file(_dir + "/watch.err").find("watching") != std::string::npos;
        })) << read_file(_dir + "/watch.err");
        ASSERT_TRUE(succeeds({"set", "/plant/pump/state", "bool:true"}));
        ASSERT_TRUE(wait_for(
            [&] { return read_file(_dir + "/watch.out").find('\n') != std::string::npos; }));
        kill(watcher, SIGINT);
        EXPECT_EQ(finish(watcher), 0);
        const std::string line = read_file(_dir + "/watch.out");
        // A leaf was set (cmd 1) at the path written.
        EXPECT_NE(line.find(json ? R"("path":"/plant/pump/state")" : "path:/plant/pump/state"),
                  std::string::npos)
            << line;
        EXPECT_NE(line.find(json ? R"("cmd":1,)" : "cmd:1 "), std::string::npos) << line;
    }
}

// watch reuses its events between fetches; each line must still hold only what its event's kind
// carries: an alarm's note and priority, never on a later tree change.
TEST_P(NyrWatchTest, JsonLinesCarryOnlyTheMembersOfTheirKind) {
    std::vector<std::string> args = _where;
    for (const char* arg : {"watch", "/plant", "--recursive", "--kinds", "tree,0x8", "--json"})
        args.push_back(arg);
    const pid_t watcher = start(NYR_PATH, args, _dir + "/watch.out", _dir + "/watch.err");
    ASSERT_TRUE(wait_for([&] {
        return read_file(_dir + "/watch.err").find("watching") != std::string::npos;
    })) << read_file(_dir + "/watch.err");
    ASSERT_TRUE(succeeds({"send", R"({"type":8,"path":"/plant/pump","note":"hot","final":true})"}));
    ASSERT_TRUE(
        wait_for([&] { return read_file(_dir + "/watch.out").find("hot") != std::string::npos; }));
    ASSERT_TRUE(succeeds({"set", "/plant/pump/state", "bool:true"}));
    ASSERT_TRUE(wait_for([&] {
        return read_file(_dir + "/watch.out").find("/plant/pump/state") != std::string::npos;
    }));
    kill(watcher, SIGINT);
    EXPECT_EQ(finish(watcher), 0);
    std::istringstream lines(read_file(_dir + "/watch.out"));
    std::string alarm, change;
    std::getline(lines, alarm);
    std::getline(lines, change);
    EXPECT_NE(alarm.find(R"("note":"hot")"), std::string::npos) << alarm;
    EXPECT_NE(alarm.find(R"("description":)"), std::string::npos) << alarm;
    EXPECT_EQ(alarm.find(R"("final")"), std::string::npos) << alarm;  // only kind 0x20's
    for (const char* member : {"note", "description", "base_priority", "details", "final"})
        EXPECT_EQ(change.find(std::string("\"") + member + "\""), std::string::npos)
            << member << " in " << change;
    EXPECT_NE(change.find(R"("quality":)"), std::string::npos) << change;
}

INSTANTIATE_TEST_SUITE_P(Stores, NyrWatchTest, ::testing::Values(Backend::daemon), backend_name);

TEST(NyrStoreFile, AFileThatNyrdHoldsIsRefusedWithAMessageThatSaysSo) {
    char folder[] = "/tmp/nyr-tool-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const pid_t daemon =
        start(NYRD_PATH, {"--socket", dir + "/s", "--store", dir + "/held.db", "--foreground"},
              dir + "/nyrd.out", dir + "/nyrd.err");
    struct stat info;
    ASSERT_TRUE(wait_for([&] { return stat((dir + "/s").c_str(), &info) == 0; }));
    const pid_t tool =
        start(NYR_PATH, {"--store", dir + "/held.db", "ls", "/"}, dir + "/out", dir + "/err");
    EXPECT_EQ(finish(tool), 1);
    EXPECT_NE(read_file(dir + "/err").find("another store holds the file"), std::string::npos)
        << read_file(dir + "/err");
    kill(daemon, SIGTERM);
    finish(daemon);
    std::filesystem::remove_all(dir);
}

TEST(NyrStoreFile, CheckAndSalvageNameTheDamagedRowsWithTheirExitStatuses) {
    char folder[] = "/tmp/nyr-tool-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder, file = dir + "/store.db", saved = dir + "/saved.db";
    auto run = [&](const std::vector<std::string>& args) {
        const int status = finish(start(NYR_PATH, args, dir + "/out", dir + "/err"));
        return Outcome{status, read_file(dir + "/out"), read_file(dir + "/err")};
    };
    ASSERT_EQ(run({"--store", file, "set", "/a/b", "MARKER-OF-B"}).status, 0);
    ASSERT_EQ(run({"--store", file, "set", "/a/c", "int32:7"}).status, 0);
    Outcome checked = run({"check", file});
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_EQ(checked.out,
              "tree: 3 rows, 0 damaged; events: 0 rows, 0 damaged; history: 3 rows, 0 damaged;"
              " unreadable parts: 0; integrity check: ok\n");

    // One byte of /a/b's text changed in the file: that row, and only it, is damaged.
    std::string bytes = read_file(file);
    const std::size_t at = bytes.find("MARKER-OF-B");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'N';
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    checked = run({"check", file});
    EXPECT_EQ(checked.status, 1);
    EXPECT_EQ(checked.out,
              "tree: damaged: /a/b\ntree: 3 rows, 1 damaged; events: 0 rows, 0 damaged;"
              " history: 3 rows, 0 damaged; unreadable parts: 0; integrity check: ok\n");

    const Outcome salvaged = run({"salvage", file, saved});
    EXPECT_EQ(salvaged.status, 0) << salvaged.err;
    EXPECT_NE(salvaged.out.find("tree: damaged: /a/b\n"), std::string::npos) << salvaged.out;
    // The tree the copy holds is no revision the history knew: it stands as one of its own.
    EXPECT_NE(salvaged.out.find("history: tree rows left out: revision 3 stands for them"),
              std::string::npos)
        << salvaged.out;
    EXPECT_NE(salvaged.out.find("salvaged into " + saved +
                                ": 2 tree rows, 0 events and 0 history changes\n"),
              std::string::npos)
        << salvaged.out;
    EXPECT_EQ(read_file(file), bytes) << "salvage changed the damaged file";
    EXPECT_EQ(run({"--store", saved, "get", "/a/c"}).out, "7\n");
    EXPECT_EQ(run({"--store", saved, "get", "/a/b"}).status, 1);
    EXPECT_EQ(run({"check", saved}).status, 0);

    const Outcome again = run({"salvage", file, saved});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
    EXPECT_EQ(run({"check", dir + "/none.db"}).status, 1);
    EXPECT_EQ(run({"check"}).status, 2);
    std::filesystem::remove_all(dir);
}
#else
INSTANTIATE_TEST_SUITE_P(Stores, NyrCommandTest, ::testing::Values(Backend::store_file),
                         backend_name);
#endif

}  // namespace
