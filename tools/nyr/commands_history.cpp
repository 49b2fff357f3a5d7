// The tree's history: history, diff, and the leaves of get --at/--rev.
#include <cstdio>
#include <map>
#include <memory>

#include "commands.h"
#include "history_view.h"
#include "tool_error.h"
#include "value_text.h"

namespace nyr_tool {

namespace {

// Changes per call: a page of the history.
constexpr uint32_t kPage = 1000;

struct HistoryOptions {
    std::string path;
    HistoryPoint since, until;
    uint32_t limit = 0;
    bool json = false;
};

void print_change(const qel_host_change_t& change, bool json) {
    if (json)
        print_json(change_json(change));
    else
        std::puts(change_line(change).c_str());
}

int run_history(const Context& context, const HistoryOptions& options) {
    const bool since_given = options.since.given(), until_given = options.until.given();
    ParsedPoint since, until;
    if (since_given) since = parse_point(options.since, "--since", "--since-rev");
    if (until_given) until = parse_point(options.until, "--until", "--until-rev");
    // Nothing comes after the last revision there can be.
    if (since_given && !since.by_time && since.revision == UINT64_MAX) return kExitOk;
    Session session(context.store);
    // After --since-rev REV: from the revision after it; otherwise from the oldest held.
    uint64_t from = since_given && !since.by_time ? since.revision + 1 : 0;
    uint32_t index = 0;
    const uint64_t last = until_given && !until.by_time ? until.revision : UINT64_MAX;
    api_status_t status = 0;
    qel_host_change_t* changes = nullptr;
    uint32_t count = 0;
    if (options.limit != 0) {
        // The newest N of the range, oldest first, as log --limit gives them.
        check_item(options.path,
                   qel_host_history_changes(session.handle(), options.path.c_str(), from, 0, last,
                                            since.time(), until.time(), options.limit, true,
                                            &status, &changes, &count),
                   status);
        for (uint32_t i = 0; i < count; ++i) print_change(changes[i], options.json);
        return kExitOk;
    }
    do {
        check_item(options.path,
                   qel_host_history_changes(session.handle(), options.path.c_str(), from, index,
                                            last, since.time(), until.time(), kPage, false, &status,
                                            &changes, &count),
                   status);
        for (uint32_t i = 0; i < count; ++i) print_change(changes[i], options.json);
        if (count != 0) from = changes[count - 1].revision, index = changes[count - 1].index + 1;
    } while (count == kPage);
    return kExitOk;
}

std::string past_text(const PastEntry& entry) {
    return entry.is_leaf
               ? std::string(type_name(entry.value.type)) + ":" + value_text(entry.value) +
                     " (property " + std::to_string(entry.property) + ", time " +
                     time_text(entry.value.timestamp) + ")"
               : "node";
}

struct DiffOptions {
    std::string path;
    HistoryPoint from, to;
};

// Each entry that differs between the two points, in path order: "+ PATH NEW" for one that came,
// "- PATH OLD" for one that went, "~ PATH OLD -> NEW" for one that changed.
int run_diff(const Context& context, const DiffOptions& options) {
    const ParsedPoint from = parse_point(options.from, "--from", "--from-rev");
    const ParsedPoint to = parse_point(options.to, "--to", "--to-rev");
    Session session(context.store);
    // A subtree that was not there at one of the points is empty there, not an error.
    const auto read = [&](const ParsedPoint& point) {
        std::map<std::string, PastEntry> entries;
        uint64_t revision = 0;
        try {
            for (PastEntry& entry : subtree_then(session.handle(), options.path, point, revision))
                entries.emplace(entry.relative, std::move(entry));
        } catch (const ToolError&) {
            api_status_t status = 0;
            qel_host_entry_t* found = nullptr;
            uint32_t count = 0;
            const int result =
                qel_host_subtree_at(session.handle(), options.path.c_str(), point.revision,
                                    point.time(), &status, &found, &count, &revision);
            if (result != 0 || status != QEL_STATUS_NOT_FOUND) throw;
        }
        return entries;
    };
    const auto before = read(from), after = read(to);
    const auto shown = [&](const std::string& relative) {
        return relative.empty() ? options.path
                                : (options.path == "/" ? "/" : options.path + "/") + relative;
    };
    auto b = before.begin();
    auto a = after.begin();
    while (b != before.end() || a != after.end()) {
        if (a == after.end() || (b != before.end() && b->first < a->first)) {
            std::printf("- %s %s\n", shown(b->first).c_str(), past_text(b->second).c_str());
            ++b;
        } else if (b == before.end() || a->first < b->first) {
            std::printf("+ %s %s\n", shown(a->first).c_str(), past_text(a->second).c_str());
            ++a;
        } else {
            const std::string was = past_text(b->second), is = past_text(a->second);
            const bool both_leaves = b->second.is_leaf && a->second.is_leaf;
            if (was != is || (both_leaves && !(b->second.value == a->second.value)))
                std::printf("~ %s %s -> %s\n", shown(a->first).c_str(), was.c_str(), is.c_str());
            ++a, ++b;
        }
    }
    return kExitOk;
}

}  // namespace

int run_get_at(const Context& context, const std::vector<std::string>& paths,
               const HistoryPoint& then, bool json) {
    const ParsedPoint point = parse_point(then, "--at", "--rev");
    Session session(context.store);
    int exit_status = kExitOk;
    Json list = Json::array();
    for (const std::string& path : paths) {
        api_status_t status = 0;
        _element_datatype_t value{};
        element_property_t property = 0;
        uint64_t revision = 0;
        check_result(path, qel_host_leaf_at(session.handle(), path.c_str(), point.revision,
                                            point.time(), &status, &value, &property, &revision));
        if (status != QEL_STATUS_OK) {
            std::fprintf(stderr, "nyr: %s: %s (status %d) at revision %llu\n", path.c_str(),
                         status_meaning(status).c_str(), status,
                         static_cast<unsigned long long>(revision));
            exit_status = kExitRefused;
            continue;
        }
        toolkit::CElement element;
        element = value;
        if (json) {
            Json entry = {{"path", text_json(path)}, {"property", property}};
            put_value(element, entry);
            entry["revision"] = revision;
            list.push_back(std::move(entry));
        } else {
            std::printf("%s\n", value_text(element).c_str());
        }
    }
    if (json) print_json(list);
    return exit_status;
}

void add_history_point(CLI::App* command, HistoryPoint& point, const char* time_name,
                       const char* revision_name, const std::string& what) {
    command->add_option(time_name, point.time,
                        what + " at this time (YYYY-MM-DDThh:mm:ss[.ffffff]Z or seconds)");
    command->add_option(revision_name, point.revision, what + " at this revision");
}

void add_history_commands(CLI::App& app, Context& context) {
    auto history = std::make_shared<HistoryOptions>();
    CLI::App* command = app.add_subcommand(
        "history",
        "Print the changes of the tree at and below PATH, oldest first: revision, time, kind, "
        "path, old -> new, source, user and pid");
    command->add_option("PATH", history->path, "Path of the subtree")->required();
    command->add_option("--since", history->since.time, "Changes at or after this time");
    command->add_option("--since-rev", history->since.revision, "Changes after this revision");
    command->add_option("--until", history->until.time, "Changes at or before this time");
    command->add_option("--until-rev", history->until.revision, "Changes up to this revision");
    command->add_option("--limit", history->limit, "Only the newest N changes");
    command->add_flag("--json", history->json,
                      "Print each change as a JSON line (revision, time, kind, path, old, new, "
                      "source, uid, pid)");
    command->callback([&context, history] {
        context.action = [&context, history] { return run_history(context, *history); };
    });

    auto diff = std::make_shared<DiffOptions>();
    command = app.add_subcommand(
        "diff",
        "Print what changed at and below PATH between two points of the history: + came, "
        "- went, ~ changed");
    command->add_option("PATH", diff->path, "Path of the subtree")->required();
    add_history_point(command, diff->from, "--from", "--from-rev", "The subtree");
    add_history_point(command, diff->to, "--to", "--to-rev", "Compared with the subtree");
    command->callback([&context, diff] {
        context.action = [&context, diff] { return run_diff(context, *diff); };
    });
}

}  // namespace nyr_tool
