// What several benchmark programs share.
#ifndef TOOLKIT_BENCH_SUPPORT_H
#define TOOLKIT_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <toolkit/log.h>
#include <toolkit/nyr.h>

#include <string>
#include <vector>

#ifdef TOOLKIT_BENCH_NYRD
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;
#endif

namespace benchsupport {

// A store with one handle, closed at the end of the benchmark.
struct Store {
    explicit Store(const char* log = nullptr)
        : store(qel_host_store_open(log)), handle(qel_host_handle_open(store)) {}
    ~Store() { qel_host_store_close(store); }
    qel_store_t* store;
    qel_handle_t handle;
};

// The paths of a batch of n leaves, a hundred to a node.
inline std::vector<std::string> batch_paths(int n) {
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i)
        paths.push_back("/bench/n" + std::to_string(i / 100) + "/leaf" + std::to_string(i));
    return paths;
}

// Writes (or reads) a batch of state.range(0) int leaves through the client object, once per
// iteration, on whatever store `handle` reaches.
inline void client_set_leaves(benchmark::State& state, qel_handle_t handle) {
    toolkit::CNyr client(handle);
    const auto paths = batch_paths(static_cast<int>(state.range(0)));
    std::vector<toolkit::CElement> values;
    for (std::size_t i = 0; i < paths.size(); ++i) values.emplace_back(int32_t(i), timeval{1, 0});
    std::vector<qel_tribool_t> tribools(paths.size(), 0);
    std::vector<api_status_t> statuses;
    for (auto _ : state) {
        client.set_leaves(paths, values, tribools, statuses, "bench");
        benchmark::DoNotOptimize(statuses.data());
    }
    if (statuses.size() != paths.size()) state.SkipWithError("set_leaves failed");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

inline void client_get_leaves(benchmark::State& state, qel_handle_t handle) {
    toolkit::CNyr client(handle);
    const auto paths = batch_paths(static_cast<int>(state.range(0)));
    std::vector<toolkit::CElement> values(paths.size(),
                                          toolkit::CElement(int32_t(1), timeval{1, 0}));
    std::vector<qel_tribool_t> tribools(paths.size(), 0);
    std::vector<api_status_t> statuses;
    std::vector<element_property_t> properties;
    client.set_leaves(paths, values, tribools, statuses, "bench");
    for (auto _ : state) {
        client.get_leaves(paths, statuses, values, properties);
        benchmark::DoNotOptimize(values.data());
    }
    if (values.size() != paths.size()) state.SkipWithError("get_leaves failed");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

#ifdef TOOLKIT_BENCH_NYRD
// nyrd on a socket in a fresh temporary folder, killed and cleaned up at the end. With
// `store_file`, it keeps its store in a file of that name in the folder; `program` is another
// build's nyrd, to measure against.
struct Daemon {
    explicit Daemon(const char* store_file = nullptr, std::string program = TOOLKIT_BENCH_NYRD) {
        char folder[] = "/tmp/nyrd-bench.XXXXXX";
        if (!mkdtemp(folder)) return;
        dir = folder;
        socket = dir + "/nyr.sock";
        std::string file = store_file ? dir + "/" + store_file : "";
        std::vector<char*> argv = {program.data(), const_cast<char*>("--foreground"),
                                   const_cast<char*>("--socket"), socket.data()};
        if (store_file) argv.insert(argv.end(), {const_cast<char*>("--store"), file.data()});
        argv.push_back(nullptr);
        // Its lines on stderr ("serving ...") would only interleave with the benchmark's table.
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        int spawned = posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (spawned != 0) {
            pid = -1;
            return;
        }
        struct stat st;
        for (int i = 0; i < 500 && stat(socket.c_str(), &st) != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Daemon() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        std::error_code ignored;
        if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
    }
    std::string dir;
    std::string socket;
    pid_t pid = -1;
};
#endif

// Retrieves one window of `log` per iteration and checks that it gave `hits` events.
inline void retrieve_window(benchmark::State& state, toolkit::CLog& log, const char* path,
                            const timeval& from, const timeval& to, std::size_t hits) {
    std::vector<toolkit::CEvent> out;
    for (auto _ : state) {
        out.clear();
        log.retrieve(out, path, &from, &to, 0, false, false, 0);
        benchmark::DoNotOptimize(out.data());
    }
    if (out.size() != hits) state.SkipWithError("unexpected hits");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}

}  // namespace benchsupport

#endif  // TOOLKIT_BENCH_SUPPORT_H
