// Processes, files and waits for the bridge's end-to-end tests.
#include "bridge_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace bridge_test {

namespace {

// A loopback port nobody listens on now.
int free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

bool accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

}  // namespace

bool wait_for(const std::function<bool()>& ready, double seconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ready();
}

void BridgeTest::SetUp() {
    char folder[] = "/tmp/nyr-bridge-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    _dir = folder;
    _port = free_port();
}

void BridgeTest::TearDown() {
    for (const pid_t pid : _started) kill(pid, SIGKILL);
    for (const pid_t pid : _started) waitpid(pid, nullptr, 0);
    // BRIDGE_TEST_KEEP=1 keeps the folder (logs, outputs, stores) of a failed test.
    if (HasFailure() && std::getenv("BRIDGE_TEST_KEEP") != nullptr)
        std::fprintf(stderr, "kept %s\n", _dir.c_str());
    else
        std::filesystem::remove_all(_dir);
}

pid_t BridgeTest::spawn(const std::string& program, const std::vector<std::string>& args,
                        const std::string& name) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const std::string out = _dir + "/" + name + ".out";
    const std::string err = _dir + "/" + name + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return -1;
    _started.push_back(pid);
    return pid;
}

Outcome BridgeTest::run(const std::string& program, const std::vector<std::string>& args) {
    static int runs = 0;
    const std::string name = "run" + std::to_string(++runs);
    const pid_t pid = spawn(program, args, name);
    int status = 0;
    waitpid(pid, &status, 0);
    _started.erase(std::remove(_started.begin(), _started.end(), pid), _started.end());
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                   read_file(_dir + "/" + name + ".out"), read_file(_dir + "/" + name + ".err")};
}

int BridgeTest::stop(pid_t pid, int signal) {
    kill(pid, signal);
    int status = 0;
    pid_t done = 0;
    wait_for([&] { return (done = waitpid(pid, &status, WNOHANG)) == pid; }, 10);
    if (done != pid) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        status = 0x7f00;  // reported as not ending
    }
    _started.erase(std::remove(_started.begin(), _started.end(), pid), _started.end());
    if (status == 0x7f00) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void BridgeTest::start_broker(bool persistent, const std::string& listener) {
    std::string config = "listener " + std::to_string(_port) + " 127.0.0.1\n" +
                         (listener.empty() ? "allow_anonymous true\n" : listener) +
                         "max_queued_messages 0\nmax_inflight_messages 0\n";
    // Started by root, mosquitto would run as the user "mosquitto", who cannot write this folder.
    if (getuid() == 0) config += "user root\n";
    config += persistent ? "persistence true\npersistence_location " + _dir + "/\n"
                         : "persistence false\n";
    write_file(_dir + "/mosquitto.conf", config);
    _broker = spawn(MOSQUITTO_PATH, {"-c", _dir + "/mosquitto.conf"}, "mosquitto");
    ASSERT_TRUE(wait_for([&] { return accepts(_port); })) << read_file(_dir + "/mosquitto.err");
}

void BridgeTest::stop_broker() {
    stop(_broker);
    _broker = -1;
}

std::string BridgeTest::start_nyrd(const std::string& name) {
    const std::string socket = _dir + "/" + name + ".sock";
    spawn(NYRD_PATH, {"--foreground", "--socket", socket, "--store", _dir + "/" + name + ".db"},
          name);
    EXPECT_TRUE(wait_for([&] {
        return read_file(_dir + "/" + name + ".err").find("serving") != std::string::npos;
    })) << read_file(_dir + "/" + name + ".err");
    return socket;
}

Outcome BridgeTest::nyr(const std::vector<std::string>& where,
                        const std::vector<std::string>& args) {
    std::vector<std::string> all = where;
    all.insert(all.end(), args.begin(), args.end());
    return run(NYR_PATH, all);
}

pid_t BridgeTest::bridge(const std::vector<std::string>& where, const std::string& command,
                         const std::vector<std::string>& args, const std::string& name) {
    std::vector<std::string> all = where;
    all.push_back(command);
    all.push_back("--broker");
    all.push_back(broker_url());
    all.insert(all.end(), args.begin(), args.end());
    return spawn(BRIDGE_PATH, all, name);
}

pid_t BridgeTest::subscribe(const std::string& filter, const std::string& name,
                            const std::string& session) {
    std::vector<std::string> args{
        "-h", "127.0.0.1", "-p", std::to_string(_port), "-q", "1", "-t", filter, "-F", "%r|%t|%p"};
    if (!session.empty()) args.insert(args.end(), {"-c", "-i", session});
    args.push_back("-d");  // its debug lines say when the subscription stands
    auto subscriptions = [&] {
        const std::string text = read_file(_dir + "/" + name + ".out");
        std::size_t count = 0;
        for (std::size_t at = text.find("SUBACK"); at != std::string::npos;
             at = text.find("SUBACK", at + 1))
            ++count;
        return count;
    };
    const std::size_t before = subscriptions();
    // Line-buffered, so that each message can be read as soon as it is printed.
    args.insert(args.begin(), {"-oL", MOSQUITTO_SUB_PATH});
    const pid_t pid = spawn(STDBUF_PATH, args, name);
    EXPECT_TRUE(wait_for([&] { return subscriptions() > before; }))
        << read_file(_dir + "/" + name + ".err");
    return pid;
}

std::vector<Message> BridgeTest::messages(const std::string& name) {
    std::vector<Message> out;
    std::istringstream lines(read_file(_dir + "/" + name + ".out"));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t first = line.find('|');
        const std::size_t second = line.find('|', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        out.push_back(Message{line.compare(0, first, "1") == 0,
                              line.substr(first + 1, second - first - 1), line.substr(second + 1)});
    }
    return out;
}

std::map<std::string, std::string> BridgeTest::retained(const std::string& filter) {
    const Outcome outcome =
        run(MOSQUITTO_SUB_PATH, {"-h", "127.0.0.1", "-p", std::to_string(_port), "-t", filter,
                                 "--retained-only", "-W", "1", "-F", "%t|%p"});
    std::map<std::string, std::string> out;
    std::istringstream lines(outcome.out);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t bar = line.find('|');
        if (bar != std::string::npos) out[line.substr(0, bar)] = line.substr(bar + 1);
    }
    return out;
}

void BridgeTest::publish(const std::string& topic, const std::string& payload) {
    const Outcome outcome = run(MOSQUITTO_PUB_PATH, {"-h", "127.0.0.1", "-p", std::to_string(_port),
                                                     "-q", "1", "-t", topic, "-m", payload});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
}

}  // namespace bridge_test
