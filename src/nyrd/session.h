// One client connection of nyrd: the handshake, then the client's calls carried out on the store
// until the client goes, breaks the protocol or the connection is shut down.
#ifndef NYRD_SESSION_H
#define NYRD_SESSION_H

#include <nyr_host.h>

#include <cstdint>
#include <functional>
#include <string>

#include "core/scratch.h"

namespace nyrd {

// How the service reports what it sees: a syslog priority (LOG_ERR, LOG_WARNING, LOG_INFO, ...)
// and one line of text. Called from any connection's thread, one report at a time.
using Report = std::function<void(int priority, const std::string& line)>;

// Largest frame a client may send, in bytes, unless nyrd is told otherwise (--max-frame).
constexpr uint32_t kDefaultMaxFrame = 16u << 20;

// How long a client may take over its hello before the connection is closed, in milliseconds.
constexpr int kDefaultHandshakeMs = 10000;
// How long a request may take to arrive once its first byte has, in milliseconds.
constexpr int kDefaultFrameMs = 30000;

class RequestBudget;

// Fills the daemon's part of qel_host_stats() (connections, users, the request budget); its arrays
// go to `memory`, which the reply is built from.
using DaemonStats = std::function<void(qel_host_stats_t& stats, nyrhost::Scratch& memory)>;

// Sessions open now, and calls being carried out now, in every connection of this process.
uint32_t open_sessions();
uint32_t requests_in_flight();

struct SessionLimits {
    uint32_t max_frame = kDefaultMaxFrame;
    int handshake_ms = kDefaultHandshakeMs;
    int frame_ms = kDefaultFrameMs;
    // How long an established connection may stay silent between requests; -1: for ever (a
    // client's idle pooled connections and its waits for events would otherwise be cut).
    int idle_ms = -1;
    // The daemon's memory for requests in flight, shared by every connection; none: no bound.
    RequestBudget* budget = nullptr;
    DaemonStats daemon_stats;  // what qel_host_stats() adds through the daemon; none: nothing
};

// Serves the connection on `fd`, already accepted and admitted, on `store`. Returns when the
// client closes it, sends something malformed or oversized (reported), runs out of the time
// `limits` give it (reported), or reading ends because
// the service shut the socket down (shutdown(fd, SHUT_RD)): a call already read is carried out
// and answered first. The caller closes `fd` afterwards. Never throws.
// Running out of time is reported through `throttle` when there is one (a flood of silent
// connections would report itself line for line otherwise).
class ReportThrottle;
void serve_connection(int fd, qel_store_t* store, const SessionLimits& limits, const Report& report,
                      ReportThrottle* throttle = nullptr);

// Tells a client that is not admitted why, in the form its handshake reads (qel_host_connect
// reports "refused by the daemon at PATH: <reason>"), instead of a bare close. The caller closes
// `fd` afterwards. Never throws.
void refuse_connection(int fd, const std::string& reason);

}  // namespace nyrd

#endif  // NYRD_SESSION_H
