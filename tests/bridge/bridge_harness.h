// What the bridge's end-to-end tests run: a mosquitto broker of their own on a free loopback
// port, nyrd on sockets in a temporary folder, nyr-bridge, and mosquitto_sub/mosquitto_pub as
// independent clients. Everything started is stopped when the test ends.
#ifndef NYR_TESTS_BRIDGE_HARNESS_H
#define NYR_TESTS_BRIDGE_HARNESS_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../support/file_text.h"

namespace bridge_test {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// One message as mosquitto_sub printed it.
struct Message {
    bool retained;
    std::string topic;
    std::string payload;
};

// Waits up to `seconds` for `ready`, looking every 20 ms.
bool wait_for(const std::function<bool()>& ready, double seconds = 15);

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts `program`; its output goes to DIR/NAME.out and DIR/NAME.err.
    pid_t spawn(const std::string& program, const std::vector<std::string>& args,
                const std::string& name);
    // Runs `program` to its end.
    Outcome run(const std::string& program, const std::vector<std::string>& args);
    // SIGTERM (or `signal`) and the exit status (128 + signal when killed), at most 10 s.
    int stop(pid_t pid, int signal = 15);

    // `listener` replaces the plain listener's options (TLS, authentication).
    void start_broker(bool persistent = false, const std::string& listener = "");
    void stop_broker();
    // Starts nyrd on DIR/NAME.sock (with its tree and log in DIR/NAME.db) and gives the socket.
    std::string start_nyrd(const std::string& name);
    // nyr with these arguments against the socket or store file in `where` (--socket S / --store
    // F).
    Outcome nyr(const std::vector<std::string>& where, const std::vector<std::string>& args);
    // nyr-bridge ... with --broker of this test's broker after the command word.
    pid_t bridge(const std::vector<std::string>& where, const std::string& command,
                 const std::vector<std::string>& args, const std::string& name);
    // mosquitto_sub at QoS 1 on `filter`, printing into DIR/NAME.out; `session` names a
    // persistent session to resume.
    pid_t subscribe(const std::string& filter, const std::string& name,
                    const std::string& session = "");
    std::vector<Message> messages(const std::string& name);
    // The retained messages below `filter` now, by topic.
    std::map<std::string, std::string> retained(const std::string& filter);
    void publish(const std::string& topic, const std::string& payload);

    std::string broker_url() const { return "mqtt://127.0.0.1:" + std::to_string(_port); }

    std::string _dir;
    int _port = 0;
    pid_t _broker = -1;
    std::vector<pid_t> _started;
};

}  // namespace bridge_test

#endif  // NYR_TESTS_BRIDGE_HARNESS_H
