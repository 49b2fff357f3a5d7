// nyrd: serves one host store to the processes of its user over a Unix domain socket.
#include <grp.h>
#include <nyr_host.h>
#include <signal.h>
#include <sys/resource.h>
#include <syslog.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/mutex.h"
#include "listener.h"
#include "request_budget.h"

namespace {

constexpr int kExitStopped = 0;
constexpr int kExitCannotStart = 1;
constexpr int kExitUsage = 2;

// Frames smaller than this could not carry an ordinary call with its path.
constexpr uint32_t kMinMaxFrame = 4096;
// Descriptors the daemon needs besides one per connection: the store file and its journal, the
// listening socket, the system log, wake-ups.
constexpr rlim_t kOwnDescriptors = 64;

struct Options {
    std::string socket_path;
    std::string store_file;
    bool log_stderr = false;
    std::string group;
    uint32_t max_frame = nyrd::kDefaultMaxFrame;
    unsigned max_connections = nyrd::kDefaultMaxConnections;
    unsigned max_connections_per_user = nyrd::kDefaultMaxConnectionsPerUser;
    uint32_t idle_timeout_ms = 0;
    uint64_t max_request_memory = nyrd::kDefaultMaxRequestMemory;
    // The store's own settings; unset ones keep the store's defaults.
    std::optional<uint32_t> event_wait_ms, queue_events, log_capacity;
    std::optional<uint64_t> queue_bytes;
    uint64_t history_changes = QEL_HOST_DEFAULT_HISTORY_CHANGES;
    uint64_t history_bytes = QEL_HOST_DEFAULT_HISTORY_BYTES;
    uint64_t history_days = QEL_HOST_DEFAULT_HISTORY_SECONDS / 86400;
};

// Diagnostics: lines on stderr with --log-stderr, the system log otherwise. Reports come from
// every connection's thread, one line at a time.
class Diagnostics {
public:
    explicit Diagnostics(bool to_stderr) : to_stderr_(to_stderr) {
        if (!to_stderr_) openlog("nyrd", LOG_PID, LOG_DAEMON);
    }
    ~Diagnostics() {
        if (!to_stderr_) closelog();
    }
    void report(int priority, const std::string& line) {
        nyrhost::MutexLock guard(mutex_);
        if (to_stderr_) {
            std::fprintf(stderr, "nyrd: %s\n", line.c_str());
        } else {
            syslog(priority, "%s", line.c_str());
        }
    }
    // Why the daemon cannot start goes to stderr as well, for the person who started it.
    void fail(const std::string& line) {
        if (!to_stderr_) std::fprintf(stderr, "nyrd: %s\n", line.c_str());
        report(LOG_ERR, line);
    }
    nyrd::Report reporter() {
        return [this](int priority, const std::string& line) { report(priority, line); };
    }

private:
    const bool to_stderr_;
    nyrhost::Mutex mutex_;  // one line at a time
};

std::optional<gid_t> find_group(const std::string& name) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        return found->gr_gid;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long number = std::strtoul(name.c_str(), &end, 10);
    if (!name.empty() && *end == '\0' && errno == 0 && number <= static_cast<gid_t>(-1) - 1) {
        return static_cast<gid_t>(number);
    }
    return std::nullopt;
}

std::string default_socket() {
    std::vector<char> buffer(4096);
    if (qel_host_default_socket(buffer.data(), static_cast<uint32_t>(buffer.size())) != 0) {
        return {};
    }
    return buffer.data();
}

void store_err_to_log(void*, int code, const char* text) {
    syslog(LOG_ERR, "store report %d: %s", code, text);
}

// Every connection holds a descriptor: the soft limit (often 1024) is raised to the hard one, and
// the connection limit is lowered, with a report, when even that leaves too few.
unsigned fit_descriptors(unsigned wanted, unsigned per_user, Diagnostics& diagnostics) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    const rlim_t room = limit.rlim_cur == RLIM_INFINITY
                            ? wanted + kOwnDescriptors + nyrd::kAdminRoom
                            : limit.rlim_cur;
    if (room >= rlim_t{wanted} + kOwnDescriptors + nyrd::kAdminRoom) return wanted;
    const rlim_t fits = room > kOwnDescriptors + nyrd::kAdminRoom + 1
                            ? room - kOwnDescriptors - nyrd::kAdminRoom
                            : 1;
    diagnostics.report(LOG_WARNING, "the file limit of " + std::to_string(room) +
                                        " descriptors allows " + std::to_string(fits) +
                                        " connections, not " + std::to_string(wanted) + " (" +
                                        std::to_string(per_user) + " per user)");
    return static_cast<unsigned>(fits);
}

// The daemon's settings for its store; false, with a report, when the store refused one.
bool apply_settings(qel_store_t* store, const Options& options, Diagnostics& diagnostics) {
    int failed = 0;
    if (options.event_wait_ms) failed |= qel_host_set_event_wait(store, *options.event_wait_ms);
    if (options.queue_events) failed |= qel_host_set_queue_capacity(store, *options.queue_events);
    if (options.queue_bytes) failed |= qel_host_set_queue_bytes(store, *options.queue_bytes);
    if (options.log_capacity) failed |= qel_host_set_log_capacity(store, *options.log_capacity);
    if (failed != 0) diagnostics.fail("the store refused a setting");
    return failed == 0;
}

int serve(const Options& options) {
    Diagnostics diagnostics(options.log_stderr);
    if (!options.log_stderr) qel_host_set_err_sink(&store_err_to_log, nullptr);

    nyrd::ListenerOptions listen;
    listen.socket_path = options.socket_path.empty() ? default_socket() : options.socket_path;
    listen.limits.max_frame = options.max_frame;
    if (options.idle_timeout_ms != 0)
        listen.limits.idle_ms = static_cast<int>(options.idle_timeout_ms);
    listen.max_connections =
        fit_descriptors(options.max_connections, options.max_connections_per_user, diagnostics);
    listen.max_connections_per_user = options.max_connections_per_user;
    listen.max_request_memory = options.max_request_memory;
    listen.report = diagnostics.reporter();
    if (listen.socket_path.empty()) {
        diagnostics.fail("no default socket path could be made; give --socket");
        return kExitCannotStart;
    }
    if (!options.group.empty()) {
        listen.group = find_group(options.group);
        if (!listen.group) {
            diagnostics.fail("no such group: " + options.group);
            return kExitCannotStart;
        }
    }

    int opened = QEL_HOST_OPEN_FAILED;
    const char* file = options.store_file.empty() ? nullptr : options.store_file.c_str();
    qel_store_t* store = qel_host_store_open_ex(file, &opened);
    if (!store) {
        diagnostics.fail("cannot open store " + options.store_file + ": " +
                         qel_host_open_text(opened));
        return kExitCannotStart;
    }
    if (!apply_settings(store, options, diagnostics)) {
        qel_host_store_close(store);
        return kExitCannotStart;
    }
    qel_host_set_history_limits(store, options.history_changes, options.history_bytes,
                                options.history_days * 86400);
    std::string error;
    auto listener = nyrd::Listener::start(store, listen, error);
    if (!listener) {
        diagnostics.fail(error);
        qel_host_store_close(store);
        return kExitCannotStart;
    }
    diagnostics.report(
        LOG_INFO, "serving " +
                      (file ? "store " + options.store_file : std::string("a store in memory")) +
                      " on " + listen.socket_path);

    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    int received = 0;
    while (sigwait(&stop_signals, &received) != 0) {
    }
    diagnostics.report(LOG_INFO, std::string("stopping on ") + strsignal(received));
    listener->stop();
    qel_host_store_close(store);  // commits what the connections wrote
    diagnostics.report(LOG_INFO, "stopped");
    return kExitStopped;
}

}  // namespace

int main(int argc, char** argv) {
    // Blocked before any thread starts, so every thread inherits it: the stop signals are taken
    // only by sigwait below, and a client that goes away gives EPIPE rather than killing us.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);

    Options options;
    CLI::App app(
        "Serves one nyr host store to the processes of this user over a Unix domain socket. "
        "It stays in the foreground as a process either way (for systemd and tests); "
        "SIGTERM or SIGINT stops it: it stops accepting, finishes the calls in flight, commits "
        "the store, removes the socket and exits 0. It exits 1 when it cannot start (socket "
        "served by another daemon, store refused, bad option value) and 2 on a usage error.",
        "nyrd");
    app.add_option("--socket", options.socket_path,
                   "Socket to listen on (default: $XDG_RUNTIME_DIR/nyr/nyr.sock, else "
                   "/tmp/nyr-UID/nyr.sock); its folder is created 0700 when missing")
        ->type_name("PATH");
    app.add_option("--store", options.store_file,
                   "SQLite file that keeps the tree and the event log across restarts "
                   "(default: a store in memory, gone when nyrd stops)")
        ->type_name("FILE");
    app.add_flag("--log-stderr,--foreground", options.log_stderr,
                 "Write diagnostics to stderr instead of the system log (--foreground is the "
                 "older name of the same choice)");
    app.add_option("--group", options.group,
                   "Also admit members of this group (name or number); otherwise only this "
                   "user and root may connect")
        ->type_name("NAME");
    app.add_option("--max-frame", options.max_frame,
                   "Largest message a client may send, in bytes (at least " +
                       std::to_string(kMinMaxFrame) + "); a larger one closes that connection")
        ->type_name("BYTES")
        ->default_val(nyrd::kDefaultMaxFrame);
    app.add_option("--max-connections", options.max_connections,
                   "Connections served at once; more are refused with a reason (root may open " +
                       std::to_string(nyrd::kAdminRoom) +
                       " more). The file limit is raised to its hard limit at start, and this is "
                       "lowered with a report when even that is too small")
        ->type_name("N")
        ->check(CLI::PositiveNumber)
        ->default_val(nyrd::kDefaultMaxConnections);
    app.add_option("--max-connections-per-user", options.max_connections_per_user,
                   "Connections of one user served at once (root has no such bound); a client "
                   "handle uses one per thread that calls on it at the same time")
        ->type_name("N")
        ->check(CLI::PositiveNumber)
        ->default_val(nyrd::kDefaultMaxConnectionsPerUser);
    app.add_option(
           "--max-request-memory", options.max_request_memory,
           "Memory the calls in flight may take in all, in bytes: each request's frame, the "
           "arrays its decoding makes and its reply. A call that does not fit waits "
           "up to " +
               std::to_string(std::chrono::seconds(nyrd::kBudgetWait).count()) +
               " s for others to finish, then gives QEL_RESULT_NO_MEMORY (at once when it "
               "exceeds the whole budget); 0 for no bound")
        ->type_name("BYTES")
        ->default_val(nyrd::kDefaultMaxRequestMemory);
    app.add_option("--idle-timeout", options.idle_timeout_ms,
                   "Closes a connection that sends nothing for this long, in milliseconds; 0 "
                   "(the default) keeps it. A client whose connection was closed loses its "
                   "handle. Independently of this, a client has " +
                       std::to_string(nyrd::kDefaultHandshakeMs / 1000) +
                       " s for its hello and a request must arrive whole within " +
                       std::to_string(nyrd::kDefaultFrameMs / 1000) + " s of its first byte")
        ->type_name("MS")
        ->default_val(0);
    app.add_option("--event-wait", options.event_wait_ms,
                   "How long qel_events_get waits for an event, in milliseconds (default " +
                       std::to_string(QEL_HOST_DEFAULT_EVENT_WAIT_MS) + ")")
        ->type_name("MS");
    app.add_option("--queue-events", options.queue_events,
                   "Events a handle's queue holds at most; more are dropped and counted (default " +
                       std::to_string(QEL_HOST_DEFAULT_QUEUE_CAPACITY) + ")")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    app.add_option("--queue-bytes", options.queue_bytes,
                   "Bytes a handle's queue holds at most (default " +
                       std::to_string(QEL_HOST_DEFAULT_QUEUE_BYTES) + ")")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    app.add_option("--log-capacity", options.log_capacity,
                   "Events the event log keeps when it lives in memory (without --store); the "
                   "oldest go first (default " +
                       std::to_string(QEL_HOST_DEFAULT_LOG_CAPACITY) + ")")
        ->type_name("N");
    app.set_config("--config", "",
                   "Reads options from FILE, one 'name = value' per line (names as the long "
                   "options without their dashes, '#' begins a comment); the command line wins")
        ->type_name("FILE");
    app.allow_config_extras(CLI::config_extras_mode::error);  // a misspelt name is refused
    app.add_option("--history-changes", options.history_changes,
                   "Keep at most this many changes in the tree's history (0: none)")
        ->type_name("N")
        ->default_val(QEL_HOST_DEFAULT_HISTORY_CHANGES);
    app.add_option("--history-bytes", options.history_bytes,
                   "Keep at most this many bytes of the tree's history (0: none)")
        ->type_name("N")
        ->default_val(QEL_HOST_DEFAULT_HISTORY_BYTES);
    app.add_option("--history-days", options.history_days,
                   "Keep no change of the tree's history older than this many days (0: none)")
        ->type_name("N")
        ->default_val(QEL_HOST_DEFAULT_HISTORY_SECONDS / 86400)
        ->check(CLI::Range(uint64_t{0}, uint64_t{1} << 40));
    app.set_version_flag("--version", std::string("nyrd ") + NYRD_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& wrong) {
        app.exit(wrong);
        return kExitUsage;
    }
    if (options.max_frame < kMinMaxFrame) {
        std::fprintf(stderr, "nyrd: --max-frame must be at least %u bytes\n", kMinMaxFrame);
        return kExitCannotStart;
    }
    return serve(options);
}
