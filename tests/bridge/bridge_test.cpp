// nyr-bridge with real processes: a broker of the test's own, nyrd, the bridge publishing and
// mirroring, mosquitto_sub and mosquitto_pub as independent clients.
#include <nyr_host.h>
#include <signal.h>
#include <sqlite3.h>
#include <toolkit/nyr.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "bridge_harness.h"

namespace bridge_test {

namespace {

// A document of nyr's export form with the leaves given as lines.
std::string document(const std::vector<std::string>& leaves) {
    std::string text = "{\"format\":\"nyr-export\",\"version\":1,\"nodes\":[],\"leaves\":[";
    for (std::size_t i = 0; i < leaves.size(); ++i) text += (i ? "," : "") + leaves[i];
    return text + "]}";
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

// The sequence ids of the alarms received, in order of arrival.
std::vector<int> sequence_ids(const std::vector<Message>& messages) {
    std::vector<int> ids;
    for (const Message& message : messages) {
        const std::size_t at = message.payload.find("\"sequence_id\":");
        if (at != std::string::npos) ids.push_back(std::stoi(message.payload.substr(at + 14)));
    }
    return ids;
}

// The sequence id of the newest alarm in a bridge's spool file, -1 when there is none.
int newest_spooled(const std::string& file) {
    sqlite3* db = nullptr;
    int newest = -1;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT payload FROM spool ORDER BY id DESC LIMIT 1", -1,
                               &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            const std::vector<int> ids = sequence_ids({Message{
                false, "", reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))}});
            if (!ids.empty()) newest = ids.front();
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return newest;
}

std::string alarm(int sequence) {
    return R"({"type":8,"path":"/plant/boiler","note":"pressure","sequence_id":)" +
           std::to_string(sequence) + R"(,"event_time":[)" + std::to_string(1000000 + sequence) +
           ",0]}";
}

class Bridge : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        if (std::string(MOSQUITTO_PATH).empty()) GTEST_SKIP() << "mosquitto is not installed";
    }
    // Waits until the central export of device `id`'s mirrored subtree equals `expected`.
    bool mirrored(const std::vector<std::string>& central, const std::string& id,
                  const std::string& subtree, const std::string& expected) {
        return wait_for([&] {
            return nyr(central, {"export", "/fleet/" + id + "/tree" + subtree}).out == expected;
        });
    }
};

TEST_F(Bridge, PublishesStateEventsAndStatusAndTheMirrorKeepsExactNames) {
    start_broker();
    const std::vector<std::string> device{"--socket", start_nyrd("device")};
    const std::vector<std::string> central{"--socket", start_nyrd("central")};
    // Names a topic cannot carry as they are: wildcards, '%', a control byte, bytes not UTF-8.
    write_file(_dir + "/plant.json",
               document({R"({"path":"pump/speed","property":1,"time":[1700000000,250000],)"
                         R"("type":"double","value":1450.5})",
                         R"({"path":"we+ird#/%x","property":0,"type":"string","value":"a\tb"})",
                         R"({"path":{"base64":"/3g="},"property":7,"type":"bytes","value":"AAE="})",
                         R"({"path":"tab\there","property":0,"type":"complex",)"
                         R"("value":["0x7ff8000000000001",-0.5]})"}));
    ASSERT_EQ(nyr(device, {"import", "/plant", _dir + "/plant.json"}).status, 0);
    const std::string exported = nyr(device, {"export", "/plant"}).out;

    subscribe("nyr/v1/#", "all");
    bridge(central, "mirror", {"--into", "/fleet"}, "mirror");
    pid_t publisher = bridge(device, "publish", {"--device", "dev1", "/plant"}, "publish");
    ASSERT_TRUE(wait_for([&] {
        return read_file(_dir + "/all.out").find("dev1/status|{\"online\":true") !=
               std::string::npos;
    })) << read_file(_dir + "/publish.err");

    // The birth: every leaf retained before the status.
    std::vector<Message> got = messages("all");
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got.back().topic, "nyr/v1/dev1/status");
    std::set<std::string> topics;
    for (const Message& message : got) topics.insert(message.topic);
    for (const char* topic :
         {"nyr/v1/dev1/state/plant/pump/speed", "nyr/v1/dev1/state/plant/we%2Bird%23/%25x",
          "nyr/v1/dev1/state/plant/%FFx", "nyr/v1/dev1/state/plant/tab%09here"})
        EXPECT_EQ(topics.count(topic), 1u) << topic;
    std::map<std::string, std::string> held = retained("nyr/v1/dev1/#");
    EXPECT_EQ(held["nyr/v1/dev1/state/plant/pump/speed"],
              R"({"property":1,"time":[1700000000,250000],"type":"double","value":1450.5})");
    EXPECT_EQ(held["nyr/v1/dev1/state/plant/%FFx"],
              R"({"property":7,"type":"bytes","value":"AAE="})");
    EXPECT_NE(held["nyr/v1/dev1/status"].find(R"("version":"1.0.0")"), std::string::npos);
    // The mirror writes the device's names, values, time stamps and property words exactly.
    EXPECT_TRUE(mirrored(central, "dev1", "/plant", exported))
        << nyr(central, {"export", "/fleet"}).out << read_file(_dir + "/mirror.err");
    EXPECT_EQ(nyr(central, {"get", "/fleet/dev1/online"}).out, "true\n");

    // Changes follow: a written leaf, an event (not retained), a removed leaf (retained cleared).
    ASSERT_EQ(nyr(device, {"set", "/plant/pump/speed", "double:99"}).status, 0);
    ASSERT_EQ(nyr(device, {"send", R"({"type":8,"path":"/plant/pump","note":"hot","final":true})"})
                  .status,
              0);
    ASSERT_EQ(nyr(device, {"rm", "/plant/tab\there"}).status, 0);
    ASSERT_TRUE(wait_for([&] {
        return read_file(_dir + "/all.out").find("state/plant/tab%09here|\n") !=
                   std::string::npos ||
               read_file(_dir + "/all.out").find("state/plant/tab%09here|(null)") !=
                   std::string::npos;
    })) << read_file(_dir + "/all.out");
    got = messages("all");
    const auto event = std::find_if(got.begin(), got.end(), [](const Message& message) {
        return message.topic == "nyr/v1/dev1/events/plant/pump";
    });
    ASSERT_NE(event, got.end());
    EXPECT_FALSE(event->retained);
    EXPECT_NE(event->payload.find(R"("note":"hot")"), std::string::npos);
    EXPECT_EQ(event->payload.find(R"("final")"), std::string::npos);  // not an alarm's member
    held = retained("nyr/v1/dev1/#");
    EXPECT_EQ(held.count("nyr/v1/dev1/state/plant/tab%09here"), 0u);
    EXPECT_NE(held["nyr/v1/dev1/state/plant/pump/speed"].find("\"value\":99"), std::string::npos);
    EXPECT_TRUE(mirrored(central, "dev1", "/plant", nyr(device, {"export", "/plant"}).out));
    EXPECT_NE(nyr(central, {"log", "/fleet/dev1", "--json"})
                  .out.find(R"("path":"/fleet/dev1/tree/plant/pump")"),
              std::string::npos);

    // A clean stop says offline; a vanished bridge says it through its last will.
    EXPECT_EQ(stop(publisher), 0);
    EXPECT_EQ(retained("nyr/v1/dev1/status")["nyr/v1/dev1/status"], R"({"online":false})");
    EXPECT_TRUE(wait_for([&] {
        return nyr(central, {"get", "/fleet/dev1/online"}).out == "false\n";
    }));
    publisher = bridge(device, "publish", {"--device", "dev1", "/plant"}, "publish");
    ASSERT_TRUE(wait_for([&] {
        return nyr(central, {"get", "/fleet/dev1/online"}).out == "true\n";
    }));
    stop(publisher, SIGKILL);
    EXPECT_TRUE(wait_for([&] {
        return nyr(central, {"get", "/fleet/dev1/online"}).out == "false\n";
    }));
}

TEST_F(Bridge, InboundWritesAreCheckedAndAnswered) {
    start_broker();
    const std::vector<std::string> device{"--socket", start_nyrd("device")};
    ASSERT_EQ(nyr(device, {"set", "/plant/pump/speed", "double:1"}).status, 0);
    ASSERT_EQ(nyr(device, {"set", "/plant/valve", "bool:false"}).status, 0);
    subscribe("nyr/v1/dev1/result/#", "results");
    bridge(device, "publish",
           {"--device", "dev1", "--writable", "/plant/pump", "--writable", "/plant/gate", "/plant"},
           "pub");
    ASSERT_TRUE(wait_for([&] { return count(read_file(_dir + "/pub.err"), "birth") == 1; }));
    publish("nyr/v1/dev1/set/plant/pump/speed", "{\"type\":\"double\",");
    publish("nyr/v1/dev1/set/plant/pump/speed", R"({"type":"double","value":"fast"})");
    publish("nyr/v1/dev1/set/plant/valve", R"({"type":"bool","value":true})");
    publish("nyr/v1/dev1/set/plant/pump/speed", std::string(70000, ' '));
    publish("nyr/v1/dev1/set/plant/pump/speed", R"({"type":"double","value":2.5})");
    publish("nyr/v1/dev1/set/plant/gate/open", R"({"type":"bool","value":true})");
    ASSERT_TRUE(wait_for([&] { return messages("results").size() == 6; }))
        << read_file(_dir + "/pub.err");
    const std::vector<Message> results = messages("results");
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(results[i].payload.find("\"status\":0"), std::string::npos) << results[i].payload;
    EXPECT_NE(results[2].payload.find("outside every writable subtree"), std::string::npos);
    EXPECT_EQ(results[4].payload, R"({"meaning":"done","status":1})");
    EXPECT_EQ(results[4].topic, "nyr/v1/dev1/result/plant/pump/speed");
    EXPECT_EQ(results[5].payload, R"({"meaning":"done","status":1})");
    EXPECT_EQ(nyr(device, {"get", "/plant/valve", "/plant/pump/speed", "/plant/gate/open"}).out,
              "false\n2.5\ntrue\n");
    EXPECT_EQ(count(read_file(_dir + "/pub.err"), "nyr-bridge: refused"), 4u);
}

// Alarms taken by the bridge survive a broker that goes away and a bridge killed with kill -9;
// alarms sent while no bridge ran come from the event log.
TEST_F(Bridge, NoEventTakenIsLostWhenTheBrokerOrTheBridgeGoesAway) {
    start_broker(true);
    const std::vector<std::string> device{"--socket", start_nyrd("device")};
    pid_t collector = subscribe("nyr/v1/dev1/events/#", "events1", "collector");
    const std::vector<std::string> options{"--device",         "dev1",       "--spool",
                                           _dir + "/spool.db", "--from-log", "/plant"};
    pid_t publisher = bridge(device, "publish", options, "pub");
    ASSERT_TRUE(wait_for([&] { return count(read_file(_dir + "/pub.err"), "birth") == 1; }));
    auto send = [&](int first, int end) {
        for (int i = first; i < end; ++i)
            ASSERT_EQ(nyr(device, {"send", "--log", alarm(i)}).status, 0);
    };
    send(0, 40);
    ASSERT_TRUE(wait_for([&] { return sequence_ids(messages("events1")).size() >= 20; }));
    stop_broker();  // in the middle of the stream
    stop(collector);
    send(40, 80);  // taken by the bridge, kept in its spool
    ASSERT_TRUE(wait_for([&] { return newest_spooled(_dir + "/spool.db") == 79; }));
    stop(publisher, SIGKILL);
    send(80, 120);  // no bridge: only the event log has them
    publisher = bridge(device, "publish", options, "pub");  // the broker is still away
    ASSERT_TRUE(wait_for(
        [&] { return read_file(_dir + "/pub.err").find("logged events") != std::string::npos; }));
    send(120, 140);
    start_broker(true);
    collector = subscribe("nyr/v1/dev1/events/#", "events2", "collector");
    ASSERT_TRUE(wait_for(
        [&] {
            std::vector<int> ids = sequence_ids(messages("events1"));
            const std::vector<int> more = sequence_ids(messages("events2"));
            ids.insert(ids.end(), more.begin(), more.end());
            return std::set<int>(ids.begin(), ids.end()).size() == 140;
        },
        30))
        << read_file(_dir + "/pub.err");
    std::vector<int> ids = sequence_ids(messages("events1"));
    const std::vector<int> more = sequence_ids(messages("events2"));
    ids.insert(ids.end(), more.begin(), more.end());
    std::vector<int> first;
    std::set<int> seen;
    for (const int id : ids)
        if (seen.insert(id).second) first.push_back(id);
    std::string order;
    for (const int id : ids) order += std::to_string(id) + " ";
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end()))
        << order << read_file(_dir + "/pub.err");
    EXPECT_EQ(first.size(), 140u);
    EXPECT_EQ(first.back(), 139);
    RecordProperty("duplicates", static_cast<int>(ids.size() - first.size()));
    std::printf("alarms: 140 sent, %zu received, %zu duplicates\n", ids.size(),
                ids.size() - first.size());
}

TEST_F(Bridge, TwentyDevicesMirrorIntoOneStore) {
    start_broker();
    const std::vector<std::string> central{"--socket", start_nyrd("central")};
    bridge(central, "mirror", {"--into", "/fleet", "--devices", "dev*"}, "mirror");
    constexpr int kDevices = 20;
    std::vector<std::string> exports;
    for (int d = 0; d < kDevices; ++d) {
        const std::vector<std::string> store{"--store", _dir + "/dev" + std::to_string(d) + ".db"};
        const std::string n = std::to_string(d);
        write_file(_dir + "/site.json",
                   document({R"({"path":"line/count","property":0,"time":[1,)" + n +
                                 R"(],"type":"uint64","value":18446744073709551615})",
                             R"({"path":"line/name","property":2,"type":"string","value":"dev)" +
                                 n + "\"}",
                             R"({"path":"temp","property":0,"time":[2,0],"type":"double",)"
                             R"("value":0.1})"}));
        ASSERT_EQ(nyr(store, {"import", "/site", _dir + "/site.json"}).status, 0);
        ASSERT_EQ(nyr(store, {"send", "--log", alarm(d)}).status, 0);
        exports.push_back(nyr(store, {"export", "/site"}).out);
    }
    for (int d = 0; d < kDevices; ++d)
        bridge({"--store", _dir + "/dev" + std::to_string(d) + ".db"}, "publish",
               {"--device", "dev" + std::to_string(d), "--from-log", "/site", "/plant"},
               "dev" + std::to_string(d));
    for (int d = 0; d < kDevices; ++d) {
        const std::string id = "dev" + std::to_string(d);
        EXPECT_TRUE(mirrored(central, id, "/site", exports[d]))
            << id << ": " << read_file(_dir + "/" + id + ".err");
        EXPECT_TRUE(wait_for([&] {
            const std::string log = nyr(central, {"log", "/fleet/" + id, "--json"}).out;
            return log.find("\"sequence_id\":" + std::to_string(d) + ",") != std::string::npos &&
                   log.find("\"event_time\":[" + std::to_string(1000000 + d) + ",0]") !=
                       std::string::npos;
        })) << id;
    }
    EXPECT_EQ(count(nyr(central, {"ls", "/fleet"}).out, "dev"), size_t(kDevices));
}

// mqtts with a client certificate, a user with a password file, MQTT 5.
TEST_F(Bridge, PublishesOverTlsWithCredentials) {
    auto sh = [&](const std::string& command) {
        return run("/bin/sh", {"-c", "cd " + _dir + " && " + command + " >/dev/null 2>&1"}).status;
    };
    const std::string subject = " -days 1 -subj /CN=";
    ASSERT_EQ(sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt" + subject +
                 "test-ca"),
              0)
        << "openssl";
    write_file(_dir + "/san", "subjectAltName=IP:127.0.0.1\n");
    for (const char* name : {"server", "client"})
        ASSERT_EQ(
            sh(std::string("openssl req -newkey rsa:2048 -nodes -keyout ") + name + ".key -out " +
               name + ".csr -subj /CN=127.0.0.1 && openssl x509 -req -in " + name +
               ".csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 -extfile san "
               "-out " +
               name + ".crt"),
            0);
    ASSERT_EQ(sh("mosquitto_passwd -b -c users device1 'word with spaces'"), 0);
    write_file(_dir + "/password", "word with spaces\n");
    start_broker(false, "cafile " + _dir + "/ca.crt\ncertfile " + _dir + "/server.crt\nkeyfile " +
                            _dir +
                            "/server.key\nrequire_certificate true\n"
                            "allow_anonymous false\npassword_file " +
                            _dir + "/users\n");
    const std::vector<std::string> device{"--socket", start_nyrd("device")};
    ASSERT_EQ(nyr(device, {"set", "/plant/pump/speed", "double:3"}).status, 0);
    const std::string tls = "mqtts://127.0.0.1:" + std::to_string(_port);
    const std::vector<std::string> files{"--cafile", _dir + "/ca.crt",
                                         "--cert",   _dir + "/client.crt",
                                         "--key",    _dir + "/client.key"};
    std::vector<std::string> args = device;
    args.insert(args.end(), {"publish", "--broker", tls, "--username", "device1", "--password-file",
                             _dir + "/password", "--mqtt", "5", "--device", "dev1", "/plant"});
    args.insert(args.end(), files.begin(), files.end());
    spawn(BRIDGE_PATH, args, "pub");
    std::vector<std::string> sub{"-h",
                                 "127.0.0.1",
                                 "-p",
                                 std::to_string(_port),
                                 "-u",
                                 "device1",
                                 "-P",
                                 "word with spaces",
                                 "-t",
                                 "nyr/v1/dev1/#",
                                 "--retained-only",
                                 "-W",
                                 "1",
                                 "-v"};
    sub.insert(sub.end(), files.begin(), files.end());
    std::string seen;
    EXPECT_TRUE(wait_for([&] {
        seen = run(MOSQUITTO_SUB_PATH, sub).out;
        return seen.find("nyr/v1/dev1/status {\"online\":true") != std::string::npos;
    })) << seen
        << read_file(_dir + "/pub.err");
    EXPECT_NE(seen.find("nyr/v1/dev1/state/plant/pump/speed {"), std::string::npos) << seen;
    // A wrong password is refused by the broker; the bridge says so and keeps trying.
    write_file(_dir + "/wrong", "guess\n");
    auto option = [&](const char* name) { return std::find(args.begin(), args.end(), name) + 1; };
    *option("--password-file") = _dir + "/wrong";
    *option("--device") = "dev2";
    spawn(BRIDGE_PATH, args, "wrong");
    EXPECT_TRUE(wait_for([&] {
        return read_file(_dir + "/wrong.err").find("refused the connection") != std::string::npos;
    })) << read_file(_dir + "/wrong.err");
}

// With --poll the bridge compares the subtrees instead of following tree changes.
TEST_F(Bridge, PollingFindsWritesAndRemovals) {
    start_broker();
    const std::vector<std::string> device{"--socket", start_nyrd("device")};
    ASSERT_EQ(nyr(device, {"set", "/plant/a", "int32:1"}).status, 0);
    subscribe("nyr/v1/dev1/state/#", "state");
    bridge(device, "publish", {"--device", "dev1", "--poll", "0.2", "/plant"}, "pub");
    ASSERT_TRUE(wait_for([&] { return messages("state").size() == 1; }));
    ASSERT_EQ(nyr(device, {"set", "/plant/b", "int32:2"}).status, 0);
    ASSERT_EQ(nyr(device, {"rm", "/plant/a"}).status, 0);
    ASSERT_TRUE(wait_for([&] { return messages("state").size() == 3; }));
    std::map<std::string, std::string> changes;
    for (const Message& message : messages("state")) changes[message.topic] = message.payload;
    ASSERT_EQ(changes.count("nyr/v1/dev1/state/plant/a"), 1u);
    EXPECT_EQ(changes["nyr/v1/dev1/state/plant/a"], "");  // the retained leaf cleared
    EXPECT_NE(changes["nyr/v1/dev1/state/plant/b"].find("\"value\":2"), std::string::npos);
    EXPECT_EQ(retained("nyr/v1/dev1/state/#").size(), 1u);
}

// Events the store dropped from the bridge's queue may have been tree changes: the bridge
// publishes the whole state again.
TEST_F(Bridge, AQueueOverflowBringsANewBirth) {
    start_broker();
    const std::string socket = start_nyrd("device");
    ASSERT_EQ(nyr({"--socket", socket}, {"set", "/plant/a", "int32:1"}).status, 0);
    bridge({"--socket", socket}, "publish", {"--device", "dev1", "/plant"}, "pub");
    ASSERT_TRUE(wait_for([&] { return count(read_file(_dir + "/pub.err"), "birth") == 1; }));
    // One batch larger than the store's queue of 4096 events.
    const qel_handle_t handle = qel_host_connect(socket.c_str());
    ASSERT_NE(handle, nullptr);
    std::vector<toolkit::CEvent> flood;
    for (int i = 0; i < 6000; ++i) {
        flood.emplace_back(0x8);
        flood.back().path = "/plant/boiler";
    }
    std::vector<api_status_t> statuses;
    EXPECT_EQ(toolkit::CNyr(handle).events_send(flood, statuses), 0);
    qel_host_disconnect(handle);
    EXPECT_TRUE(wait_for([&] { return count(read_file(_dir + "/pub.err"), "birth") == 2; }))
        << read_file(_dir + "/pub.err");
    EXPECT_NE(read_file(_dir + "/pub.err").find("publishing the whole state again"),
              std::string::npos);
}

TEST_F(Bridge, ExitStatusesSayWhatWentWrong) {
    const std::string store = _dir + "/store.db";
    const std::string broker = broker_url();
    EXPECT_EQ(run(BRIDGE_PATH, {"publish", "--device", "d", "/x"}).status, 2);  // no --broker
    EXPECT_EQ(run(BRIDGE_PATH, {"publish", "--broker", "http://h:1", "--device", "d", "/x"}).status,
              2);
    EXPECT_EQ(run(BRIDGE_PATH, {"publish", "--broker", broker, "--device", "d", "x"}).status, 2);
    EXPECT_EQ(run(BRIDGE_PATH, {"--store", store, "publish", "--broker", broker, "--cafile", "ca",
                                "--device", "d", "/x"})
                  .status,
              2);  // TLS files without mqtts
    const Outcome unreachable = run(BRIDGE_PATH, {"--socket", _dir + "/none.sock", "publish",
                                                  "--broker", broker, "--device", "d", "/x"});
    EXPECT_EQ(unreachable.status, 1);
    EXPECT_NE(unreachable.err.find("cannot reach nyrd"), std::string::npos) << unreachable.err;
    write_file(_dir + "/junk", "not a spool, only a user's text file of some length");
    const Outcome junk = run(BRIDGE_PATH, {"--store", store, "publish", "--broker", broker,
                                           "--spool", _dir + "/junk", "--device", "d", "/x"});
    EXPECT_EQ(junk.status, 1);
    EXPECT_NE(junk.err.find("not a spool"), std::string::npos) << junk.err;
    EXPECT_EQ(read_file(_dir + "/junk"), "not a spool, only a user's text file of some length");
    const Outcome version = run(BRIDGE_PATH, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "nyr-bridge 1.0.0\n");
}

TEST_F(Bridge, WaitsForTheBrokerAndComesBackWithTheStore) {
    const std::vector<std::string> device{"--socket", start_nyrd("device")};
    ASSERT_EQ(nyr(device, {"set", "/plant/a", "int32:1"}).status, 0);
    const pid_t publisher = bridge(device, "publish", {"--device", "dev1", "/plant"}, "pub");
    ASSERT_TRUE(wait_for(
        [&] { return read_file(_dir + "/pub.err").find("not reachable") != std::string::npos; }));
    start_broker();
    ASSERT_TRUE(wait_for([&] { return count(read_file(_dir + "/pub.err"), "birth") == 1; }))
        << read_file(_dir + "/pub.err");
    // nyrd restarts on its store file: the bridge reaches it again and publishes a new birth.
    subscribe("nyr/v1/dev1/#", "all");
    stop(_started[0]);
    start_nyrd("device");
    ASSERT_TRUE(wait_for([&] { return count(read_file(_dir + "/pub.err"), "birth") == 2; }))
        << read_file(_dir + "/pub.err");
    ASSERT_EQ(nyr(device, {"set", "/plant/b", "int32:2"}).status, 0);
    EXPECT_TRUE(wait_for([&] { return retained("nyr/v1/dev1/state/#").size() == 2; }));
    // The status retained from the first birth, then the second's.
    EXPECT_EQ(count(read_file(_dir + "/all.out"), "dev1/status|{\"online\":true"), 2u);
    EXPECT_EQ(stop(publisher), 0);
}

}  // namespace

}  // namespace bridge_test
