// stats: what the store, and the nyrd serving it, are doing (qel_host_stats).
#include <nyr_host.h>

#include <cstdio>
#include <memory>

#include "commands.h"
#include "tool_error.h"

namespace nyr_tool {

namespace {

Json stats_json(const qel_host_stats_t& s) {
    Json out = {{"handles", s.handles},
                {"registrations", s.registrations},
                {"queued_events", s.queued_events},
                {"queued_bytes", s.queued_bytes},
                {"overflow", s.overflow},
                {"file_bytes", s.file_bytes},
                {"commits", s.commits},
                {"commit_us", s.commit_us},
                {"log_events", s.log_events},
                {"history_changes", s.history_changes},
                {"history_bytes", s.history_bytes}};
    Json handles = Json::array();
    for (uint32_t k = 0; k < s.handle_count; ++k) {
        const qel_host_handle_stats_t& h = s.per_handle[k];
        handles.push_back({{"registrations", h.registrations},
                           {"queued_events", h.queued_events},
                           {"queued_bytes", h.queued_bytes},
                           {"overflow", h.overflow}});
    }
    out["per_handle"] = handles;
    if (s.served == 0) return out;  // a store in this process: no daemon
    Json users = Json::array();
    for (uint32_t k = 0; k < s.user_count; ++k)
        users.push_back({{"uid", s.users[k].uid}, {"connections", s.users[k].connections}});
    out["daemon"] = {{"connections", s.connections},
                     {"users", users},
                     {"sessions", s.sessions},
                     {"requests_in_flight", s.requests_in_flight},
                     {"request_memory", s.request_memory},
                     {"request_memory_limit", s.request_memory_limit},
                     {"requests_waited", s.requests_waited},
                     {"requests_refused", s.requests_refused}};
    return out;
}

// One "name value" line per figure; the lists one line per entry.
void print_text(const qel_host_stats_t& s) {
    std::printf(
        "handles %u\nregistrations %u\nqueued_events %llu\nqueued_bytes %llu\n"
        "overflow %llu\nfile_bytes %llu\ncommits %llu\ncommit_us %llu\nlog_events %llu\n"
        "history_changes %llu\nhistory_bytes %llu\n",
        s.handles, s.registrations, static_cast<unsigned long long>(s.queued_events),
        static_cast<unsigned long long>(s.queued_bytes),
        static_cast<unsigned long long>(s.overflow), static_cast<unsigned long long>(s.file_bytes),
        static_cast<unsigned long long>(s.commits), static_cast<unsigned long long>(s.commit_us),
        static_cast<unsigned long long>(s.log_events),
        static_cast<unsigned long long>(s.history_changes),
        static_cast<unsigned long long>(s.history_bytes));
    for (uint32_t k = 0; k < s.handle_count; ++k) {
        const qel_host_handle_stats_t& h = s.per_handle[k];
        std::printf("handle %u registrations %u queued_events %u queued_bytes %llu overflow %llu\n",
                    k, h.registrations, h.queued_events,
                    static_cast<unsigned long long>(h.queued_bytes),
                    static_cast<unsigned long long>(h.overflow));
    }
    if (s.served == 0) return;
    std::printf("connections %u\n", s.connections);
    for (uint32_t k = 0; k < s.user_count; ++k)
        std::printf("user %u connections %u\n", s.users[k].uid, s.users[k].connections);
    std::printf(
        "sessions %u\nrequests_in_flight %u\nrequest_memory %llu\n"
        "request_memory_limit %llu\nrequests_waited %llu\nrequests_refused %llu\n",
        s.sessions, s.requests_in_flight, static_cast<unsigned long long>(s.request_memory),
        static_cast<unsigned long long>(s.request_memory_limit),
        static_cast<unsigned long long>(s.requests_waited),
        static_cast<unsigned long long>(s.requests_refused));
}

}  // namespace

void add_stats_command(CLI::App& app, Context& context) {
    auto json = std::make_shared<bool>(false);
    CLI::App* command = app.add_subcommand(
        "stats",
        "Print what the store is doing: handles, registrations, queued events and bytes with "
        "the overflow of each handle, the store file's size, commits and their time; through "
        "nyrd also its connections (in all and per user), sessions, calls in flight and the "
        "memory they hold");
    command->add_flag("--json", *json, "One JSON object");
    command->callback([&context, json] {
        context.action = [&context, json] {
            Session session(context.store);
            qel_host_stats_t stats{};
            check_result("stats", qel_host_stats(session.handle(), &stats));
            if (*json)
                print_json(stats_json(stats));
            else
                print_text(stats);
            return kExitOk;
        };
    });
}

}  // namespace nyr_tool
