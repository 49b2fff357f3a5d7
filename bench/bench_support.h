// What several benchmark programs share.
#ifndef TOOLKIT_BENCH_SUPPORT_H
#define TOOLKIT_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <stdlib.h>
#include <toolkit/log.h>
#include <toolkit/nyr.h>

#include <filesystem>
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

// A fresh folder under the system's temporary one, removed with everything in it at the end;
// `path` is empty when it could not be made.
struct TempFolder {
    explicit TempFolder(const char* prefix = "nyrbench")
        : path((std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX"))
                   .string()) {
        if (::mkdtemp(&path[0]) == nullptr) path.clear();
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string path;
};

// An int leaf with a fixed time stamp, so that every write carries the same bytes but its value.
inline _element_datatype_t int_leaf(int32_t v) {
    _element_datatype_t record{};
    record.type = DATATYPE_INT;
    record.timestamp = {1700000000, 0};
    record.value.int_value = v;
    return record;
}

// One set_leaf per iteration through `handle`, of paths[i % paths.size()] with the value i: the
// write loop of the persisted and the nyrd write benchmarks.
inline void set_leaf_loop(benchmark::State& state, qel_handle_t handle,
                          const std::vector<std::string>& paths) {
    int32_t i = 0;
    for (auto _ : state) {
        api_status_t status = 0;
        if (qel_set_leaf(handle, paths[static_cast<std::size_t>(i) % paths.size()].c_str(),
                         int_leaf(i), 0, false, "bench", &status) != 0 ||
            status != QEL_STATUS_OK) {
            state.SkipWithError("set_leaf failed");
            break;
        }
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

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
    explicit Daemon(const char* store_file = nullptr, std::string program = TOOLKIT_BENCH_NYRD)
        : folder("nyrd-bench"), dir(folder.path) {
        if (dir.empty()) return;
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
    }
    TempFolder folder;  // removed after the daemon has ended
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
