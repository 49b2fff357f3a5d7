// Reaching the store again after it was lost; the stop signals.
#include "store_link.h"

#include <csignal>
#include <cstdio>
#include <thread>

#include "tool_error.h"

namespace nyr_bridge {

namespace {

volatile std::sig_atomic_t g_stop = 0;

void on_stop(int) {
    g_stop = 1;
}

}  // namespace

void install_stop_handlers() {
    struct sigaction action {};
    action.sa_handler = on_stop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a broken socket is reported by the call, not a signal
}

bool stop_requested() {
    return g_stop != 0;
}

StoreLink::StoreLink(const nyr_tool::StoreOptions& options)
    : _options(options), _session(std::make_unique<nyr_tool::Session>(options)) {}

bool StoreLink::lost() {
    api_status_t status = 0;
    return client().test_node("/", status) == QEL_RESULT_LOST;
}

bool StoreLink::reopen() {
    std::fprintf(stderr, "nyr-bridge: the store was lost; reaching it again\n");
    _session.reset();
    auto delay = std::chrono::milliseconds(200);
    while (!stop_requested()) {
        try {
            _session = std::make_unique<nyr_tool::Session>(_options);
            std::fprintf(stderr, "nyr-bridge: the store is back\n");
            return true;
        } catch (const nyr_tool::ToolError&) {
        }
        // Sleeps in short steps so that a stop is not held up.
        for (auto slept = std::chrono::milliseconds(0); slept < delay && !stop_requested();
             slept += std::chrono::milliseconds(50))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        delay = std::min(delay * 2, std::chrono::milliseconds(5000));
    }
    return false;
}

}  // namespace nyr_bridge
