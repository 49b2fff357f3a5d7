// Events and the event log: watch, send, log, log clear.
#include <nyr_host.h>
#include <toolkit/log.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "commands.h"
#include "tool_error.h"
#include "value_text.h"

namespace nyr_tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int) {
    g_interrupted = 1;
}

struct WatchOptions {
    std::string path;
    std::string kinds = "all";
    bool recursive = false;
    bool json = false;
    HistoryPoint from;  // --from-rev: first the tree changes after that revision
};

int run_watch(const Context& context, const WatchOptions& options) {
    const api_event_t kinds = parse_kinds(options.kinds);
    const bool resume = options.from.given();
    const ParsedPoint from =
        resume ? parse_point(options.from, "--from", "--from-rev") : ParsedPoint{};
    Session session(context.store);
    api_status_t status = 0;
    if (resume)
        check_item(options.path,
                   qel_host_event_register_from(session.handle(), options.path.c_str(), kinds,
                                                options.recursive, from.revision, &status),
                   status);
    else
        check_item(options.path,
                   session.client().event_register(options.path, kinds, options.recursive, status),
                   status);
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::fprintf(stderr, "nyr: watching %s (kinds 0x%x%s); interrupt to stop\n",
                 options.path.c_str(), static_cast<unsigned>(kinds),
                 options.recursive ? ", recursive" : "");
    std::vector<toolkit::CEvent> events;
    while (g_interrupted == 0) {
        const int count = session.client().events_get(events);  // waits a bounded time
        if (count < 0) check_result(options.path, count);
        // With --from-rev each tree change shows its revision, where a later watch resumes.
        uint64_t* revisions = nullptr;
        uint32_t known = 0;
        if (resume && count > 0)
            check_result(options.path,
                         qel_host_event_revisions(session.handle(), &revisions, &known));
        for (int i = 0; i < count; ++i) {
            const uint64_t revision = static_cast<uint32_t>(i) < known ? revisions[i] : 0;
            if (options.json) {
                Json json = event_to_json(events[i]);
                if (revision != 0) json["revision"] = revision;
                print_json(json);
            } else if (revision != 0) {
                std::printf("revision %llu: %s\n", static_cast<unsigned long long>(revision),
                            events[i].to_string().c_str());
            } else {
                std::puts(events[i].to_string().c_str());
            }
        }
        std::fflush(stdout);
    }
    return kExitOk;
}

int run_send(const Context& context, const std::string& argument, bool log) {
    std::string text = argument;
    if (argument == "-") text.assign(std::istreambuf_iterator<char>(std::cin), {});
    Json json;
    try {
        json = Json::parse(text);
    } catch (const Json::parse_error& error) {
        std::string message = error.what();
        const std::size_t tag_end = message.find("] ");
        if (tag_end != std::string::npos) message.erase(0, tag_end + 2);
        throw refused("malformed JSON: " + message);
    }
    const toolkit::CEvent event = event_from_json(json);
    Session session(context.store);
    std::vector<api_status_t> statuses;
    check_result(event.path, session.client().events_send({event}, statuses));
    check_item(event.path, 0, statuses.empty() ? 0 : statuses.front());
    if (log)
        check_result(
            event.path,
            toolkit::CLog(session.handle()).store(std::vector<toolkit::CEvent>{event}, false));
    return kExitOk;
}

struct LogOptions {
    std::string path;
    std::string from;
    std::string to;
    unsigned limit = 0;
    bool json = false;
};

timeval time_option(const std::string& text, const char* name) {
    qel_time32_t time{};
    if (!parse_time(text, time))
        throw usage_error(std::string(name) + " \"" + text +
                          "\" is no time: write YYYY-MM-DDThh:mm:ss[.ffffff]Z or seconds");
    return toolkit::from_time32(time);
}

int run_log(const Context& context, const LogOptions& options) {
    timeval from{};
    timeval to{};
    if (!options.from.empty()) from = time_option(options.from, "--from");
    if (!options.to.empty()) to = time_option(options.to, "--to");
    Session session(context.store);
    toolkit::CLog log(session.handle());
    std::vector<toolkit::CEvent> events;
    // With a limit the newest events are meant; they still come oldest first.
    const bool newest = options.limit != 0;
    check_result(
        options.path,
        log.retrieve(events, options.path, options.from.empty() ? nullptr : &from,
                     options.to.empty() ? nullptr : &to, options.limit, newest, newest, 0));
    for (const toolkit::CEvent& event : events) {
        if (options.json)
            print_json(event_to_json(event));
        else
            std::puts(event.to_string().c_str());
    }
    return kExitOk;
}

}  // namespace

void add_event_commands(CLI::App& app, Context& context) {
    auto watch = std::make_shared<WatchOptions>();
    CLI::App* command = app.add_subcommand(
        "watch",
        "Print events as they arrive (from other processes through nyrd), until interrupted");
    command->add_option("PATH", watch->path, "Path to watch")->required();
    command
        ->add_option("--kinds", watch->kinds,
                     "Comma-separated event kinds: numbers (0x8), tree (tree changes), all")
        ->capture_default_str();
    command->add_flag("-r,--recursive", watch->recursive, "Also events below PATH");
    command->add_flag("--json", watch->json, "Print each event as a JSON line");
    command->add_option("--from-rev", watch->from.revision,
                        "First the tree changes made after revision REV (from the history), "
                        "then live ones; each tree change shows its revision (the key "
                        "\"revision\" with --json)");
    command->callback([&context, watch] {
        context.action = [&context, watch] { return run_watch(context, *watch); };
    });

    auto event = std::make_shared<std::string>();
    auto also_log = std::make_shared<bool>(false);
    command =
        app.add_subcommand("send", "Send an event described in JSON (as watch --json prints)");
    command->add_option("EVENT", *event, "The event as a JSON object, or - to read it from stdin")
        ->required();
    command->add_flag("--log", *also_log, "Also store the event in the event log");
    command->callback([&context, event, also_log] {
        context.action = [&context, event, also_log] {
            return run_send(context, *event, *also_log);
        };
    });

    auto log = std::make_shared<LogOptions>();
    command = app.add_subcommand("log", "Print the event log of a path (and below it)");
    command->add_option("PATH", log->path, "Path whose events are printed");
    command->add_option("--from", log->from,
                        "Earliest event time (YYYY-MM-DDThh:mm:ssZ or seconds)");
    command->add_option("--to", log->to, "Latest event time");
    command->add_option("--limit", log->limit, "At most the newest N events");
    command->add_flag("--json", log->json, "Print each event as a JSON line");
    auto clear_path = std::make_shared<std::string>();
    CLI::App* clear = command->add_subcommand("clear", "Clear the event log (of PATH and below)");
    clear->add_option("PATH", *clear_path, "Path whose events are cleared; all when absent");
    clear->callback([&context, clear_path] {
        context.action = [&context, clear_path] {
            Session session(context.store);
            check_result(clear_path->empty() ? "event log" : *clear_path,
                         toolkit::CLog(session.handle()).clear(*clear_path, nullptr, nullptr));
            return kExitOk;
        };
    });
    command->callback([&context, log, clear] {
        if (clear->parsed()) return;
        if (log->path.empty()) throw CLI::RequiredError("PATH");
        context.action = [&context, log] { return run_log(context, *log); };
    });
}

}  // namespace nyr_tool
