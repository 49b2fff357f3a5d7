// nyr's history commands run as a user runs them, against a nyrd and against a store file:
// history with its options and both forms, get and export at a revision and a time, diff, the
// refused options; and watch --from-rev resuming across a restart of nyrd.
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "nyr_run.h"

namespace {

using namespace nyrruntest;
using Json = nlohmann::json;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class NyrHistoryTest : public NyrCommandTest {};

TEST_P(NyrHistoryTest, HistoryGetExportAndDiffShowTheTreeAsItWas) {
    ASSERT_TRUE(succeeds({"set", "/plant/pump/state", "running"}));        // 1
    ASSERT_TRUE(succeeds({"set", "/plant/pump/speed", "double:1450.5"}));  // 2
    ASSERT_TRUE(succeeds({"export", "/plant", _dir + "/at2.json"}));
    ASSERT_TRUE(succeeds({"set", "/plant/pump/speed", "double:1200"}));  // 3
    ASSERT_TRUE(succeeds({"rm", "/plant/pump/state"}));                  // 4
    ASSERT_TRUE(succeeds({"set", "/other", "int32:1"}));                 // 5

    // JSON Lines with exactly the documented keys, oldest first.
    Outcome history = nyr({"history", "/plant", "--json"});
    ASSERT_EQ(history.status, 0) << history.err;
    std::vector<Json> changes;
    for (const std::string& line : lines_of(history.out)) changes.push_back(Json::parse(line));
    ASSERT_EQ(changes.size(), 6u);
    const std::set<std::string> keys{"revision", "time",   "kind", "path", "old",
                                     "new",      "source", "uid",  "pid"};
    for (const Json& change : changes) {
        std::set<std::string> seen;
        for (const auto& item : change.items()) seen.insert(item.key());
        EXPECT_EQ(seen, keys) << change.dump();
        EXPECT_EQ(change["source"], "nyr||");
        // Through nyrd the writer's user and process are known; in process they are not.
        EXPECT_EQ(change["uid"].is_number(), GetParam() == Backend::daemon) << change.dump();
        if (change["uid"].is_number()) {
            EXPECT_EQ(change["uid"].get<uint32_t>(), getuid());
        }
    }
    EXPECT_EQ(changes[0]["kind"], "node-added");
    EXPECT_EQ(changes[0]["path"], "/plant");
    EXPECT_TRUE(changes[0]["old"].is_null() && changes[0]["new"].is_null());
    const Json& speed = changes[4];
    EXPECT_EQ(speed["revision"], 3);
    EXPECT_EQ(speed["kind"], "leaf-set");
    EXPECT_EQ(speed["old"]["value"], 1450.5);
    EXPECT_EQ(speed["old"]["type"], "double");
    EXPECT_EQ(speed["new"]["value"], 1200.0);
    EXPECT_EQ(speed["new"]["property"], 0);
    EXPECT_EQ(changes[5]["kind"], "leaf-cleared");
    EXPECT_EQ(changes[5]["old"]["value"], "running");
    EXPECT_TRUE(changes[5]["new"].is_null());

    // Lines, and the options that pick a range.
    history = nyr({"history", "/plant/pump/speed"});
    ASSERT_EQ(history.status, 0) << history.err;
    const auto text = lines_of(history.out);
    ASSERT_EQ(text.size(), 2u);
    EXPECT_EQ(text[1].rfind("3 ", 0), 0u) << text[1];
    EXPECT_NE(text[1].find(" leaf-set /plant/pump/speed double:1450.5 -> double:1200 nyr|| "),
              std::string::npos)
        << text[1];
    history = nyr({"history", "/", "--since-rev", "2", "--until-rev", "4"});
    EXPECT_EQ(lines_of(history.out).size(), 2u) << history.out;
    history = nyr({"history", "/", "--limit", "1"});
    ASSERT_EQ(lines_of(history.out).size(), 1u);
    EXPECT_EQ(history.out.rfind("5 ", 0), 0u) << history.out;
    const std::string at3 = std::to_string(speed["time"][0].get<int64_t>()) + "." +
                            std::to_string(1000000 + speed["time"][1].get<int64_t>()).substr(1);
    history = nyr({"history", "/", "--since", at3, "--until", at3});
    EXPECT_EQ(lines_of(history.out).size(), 1u) << history.out;

    // get and export at a revision or a time.
    Outcome got = nyr({"get", "--rev", "2", "/plant/pump/speed", "/plant/pump/state"});
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, "1450.5\nrunning\n");
    got = nyr({"get", "--at", at3, "/plant/pump/speed"});
    EXPECT_EQ(got.out, "1200\n") << got.err;
    got = nyr({"get", "--rev", "4", "/plant/pump/state"});
    EXPECT_EQ(got.status, 1);
    EXPECT_NE(got.err.find("not found"), std::string::npos) << got.err;
    ASSERT_TRUE(succeeds({"export", "--rev", "2", "/plant", _dir + "/then.json"}));
    EXPECT_EQ(read_file(_dir + "/then.json"), read_file(_dir + "/at2.json"));
    ASSERT_TRUE(succeeds({"export", "--rev", "5", "/plant", _dir + "/then.json"}));
    ASSERT_TRUE(succeeds({"export", "/plant", _dir + "/now.json"}));
    EXPECT_EQ(read_file(_dir + "/then.json"), read_file(_dir + "/now.json"));

    // diff: what came, went and changed between two points.
    const Outcome diff = nyr({"diff", "--from-rev", "2", "--to-rev", "5", "/plant"});
    ASSERT_EQ(diff.status, 0) << diff.err;
    const auto differences = lines_of(diff.out);
    ASSERT_EQ(differences.size(), 2u) << diff.out;
    EXPECT_EQ(differences[0].rfind("~ /plant/pump/speed double:1450.5 (property 0, time ", 0), 0u)
        << differences[0];
    EXPECT_NE(differences[0].find(" -> double:1200 (property 0, time "), std::string::npos);
    EXPECT_EQ(differences[1].rfind("- /plant/pump/state string:running ", 0), 0u) << differences[1];
    const Outcome none = nyr({"diff", "--from", at3, "--to-rev", "3", "/plant"});
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "");

    // Refused: options that do not go together or do not parse (usage, 2), and a revision that
    // was not made yet (1).
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"get", "--rev", "x", "/plant"},
          {"get", "--rev", "-1", "/plant"},
          {"get", "--at", "soon", "/plant"},
          {"get", "--at", "1", "--rev", "1", "/plant"},
          {"history", "/", "--since", "1", "--since-rev", "1"},
          {"diff", "--from-rev", "1", "/plant"},
          {"export", "--rev", "1", "--at", "1", "/plant"}}) {
        EXPECT_EQ(nyr(args).status, 2) << args[0] << " " << args[1];
    }
    EXPECT_EQ(nyr({"get", "--rev", "99", "/plant/pump/speed"}).status, 1);
    EXPECT_EQ(nyr({"history", "bad"}).status, 1);
}

INSTANTIATE_TEST_SUITE_P(Stores, NyrHistoryTest,
                         ::testing::Values(Backend::daemon, Backend::store_file),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                             return info.param == Backend::daemon ? "nyrd" : "store_file";
                         });

class NyrResumeTest : public NyrCommandTest {
protected:
    // Runs watch --from-rev REV --json until a line with `until` appears; its lines.
    std::vector<Json> watch_from(const std::string& revision, const std::string& until) {
        std::vector<std::string> args = _where;
        for (const char* arg :
             {"watch", "/plant", "--recursive", "--kinds", "tree", "--json", "--from-rev"})
            args.push_back(arg);
        args.push_back(revision);
        const pid_t watcher = start(NYR_PATH, args, _dir + "/watch.out", _dir + "/watch.err");
        EXPECT_TRUE(wait_for([&] {
            return read_file(_dir + "/watch.out").find(until) != std::string::npos;
        })) << read_file(_dir + "/watch.err");
        kill(watcher, SIGINT);
        EXPECT_EQ(finish(watcher), 0);
        std::vector<Json> out;
        for (const std::string& line : lines_of(read_file(_dir + "/watch.out")))
            out.push_back(Json::parse(line));
        return out;
    }
};

TEST_P(NyrResumeTest, WatchFromARevisionResumesAcrossARestartOfNyrd) {
    ASSERT_TRUE(succeeds({"set", "/plant/a", "int32:1"}));  // 1: the node and the leaf
    ASSERT_TRUE(succeeds({"set", "/plant/b", "int32:2"}));  // 2
    auto seen = watch_from("1", "/plant/b");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["revision"], 2);
    EXPECT_EQ(seen[0]["path"], "/plant/b");

    // Missed while nyrd was stopped and started again on the same file.
    stop_daemon();
    start_daemon({});
    ASSERT_TRUE(succeeds({"set", "/plant/c", "int32:3"}));  // 3
    ASSERT_TRUE(succeeds({"rm", "/plant/a"}));              // 4
    seen = watch_from(std::to_string(seen.back()["revision"].get<uint64_t>()), "/plant/a");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0]["revision"], 3);
    EXPECT_EQ(seen[1]["revision"], 4);
    EXPECT_EQ(seen[1]["cmd"], 2);  // the leaf cleared

    // A revision the history no longer holds: refused with the reason, nothing printed.
    stop_daemon();
    start_daemon({"--history-changes", "1"});
    ASSERT_TRUE(succeeds({"set", "/plant/d", "int32:4"}));
    std::vector<std::string> args = _where;
    for (const char* arg : {"watch", "/plant", "--recursive", "--from-rev", "1"})
        args.push_back(arg);
    const pid_t watcher = start(NYR_PATH, args, _dir + "/watch.out", _dir + "/watch.err");
    EXPECT_EQ(finish(watcher), 1);
    EXPECT_NE(read_file(_dir + "/watch.err").find("no longer holds"), std::string::npos)
        << read_file(_dir + "/watch.err");
    EXPECT_EQ(read_file(_dir + "/watch.out"), "");
}

INSTANTIATE_TEST_SUITE_P(Stores, NyrResumeTest, ::testing::Values(Backend::daemon),
                         [](const ::testing::TestParamInfo<Backend>&) { return "nyrd"; });

}  // namespace
