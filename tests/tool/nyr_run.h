// Running the nyr binary as a user runs it, against a nyrd the test starts (on a socket and a
// store file in the test's own folder) or against a store file.
#ifndef TESTS_TOOL_NYR_RUN_H
#define TESTS_TOOL_NYR_RUN_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../support/file_text.h"

extern char** environ;

namespace nyrruntest {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Starts `program` with `args`, its stdout and stderr going to the given files.
inline pid_t start(const std::string& program, const std::vector<std::string>& args,
                   const std::string& out, const std::string& err) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

inline int finish(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits up to ten seconds for `ready`.
template <typename Ready>
bool wait_for(Ready ready) {
    for (int i = 0; i < 1000; ++i) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

enum class Backend { daemon, store_file };

class NyrCommandTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        char folder[] = "/tmp/nyr-tool-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        _dir = folder;
#ifdef NYRD_PATH
        if (GetParam() == Backend::daemon) {
            start_daemon({});
            _where = {"--socket", _socket};
            return;
        }
#endif
        _where = {"--store", _dir + "/store.db"};
    }

    void TearDown() override {
        stop_daemon();
        std::filesystem::remove_all(_dir);
    }

#ifdef NYRD_PATH
    // Starts nyrd on the test's socket and store file, with `options` besides.
    void start_daemon(const std::vector<std::string>& options) {
        _socket = _dir + "/s";
        std::vector<std::string> args{"--socket", _socket, "--store", _dir + "/served.db",
                                      "--foreground"};
        args.insert(args.end(), options.begin(), options.end());
        _daemon = start(NYRD_PATH, args, _dir + "/nyrd.out", _dir + "/nyrd.err");
        struct stat info;
        ASSERT_TRUE(wait_for([&] { return stat(_socket.c_str(), &info) == 0; }))
            << read_file(_dir + "/nyrd.err");
    }
#endif
    void stop_daemon() {
        if (_daemon <= 0) return;
        kill(_daemon, SIGTERM);
        finish(_daemon);
        _daemon = -1;
    }

    // Runs nyr on this test's store with `args`.
    Outcome nyr(std::vector<std::string> args) {
        args.insert(args.begin(), _where.begin(), _where.end());
        const pid_t pid = start(NYR_PATH, args, _dir + "/out", _dir + "/err");
        const int status = finish(pid);
        return {status, read_file(_dir + "/out"), read_file(_dir + "/err")};
    }

    // Runs nyr and expects exit status 0, showing stderr otherwise.
    ::testing::AssertionResult succeeds(std::vector<std::string> args) {
        const Outcome outcome = nyr(args);
        if (outcome.status == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "exit status " << outcome.status << ": " << outcome.err;
    }

    std::string _dir;
    std::string _socket;
    pid_t _daemon = -1;
    std::vector<std::string> _where;
};

}  // namespace nyrruntest

#endif  // TESTS_TOOL_NYR_RUN_H
