// nyr-bridge: a device's store on an MQTT broker (publish), and a fleet mirrored into one store
// (mirror).
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <memory>

#include "command_line.h"
#include "mirror.h"
#include "payloads.h"
#include "publish.h"
#include "store_link.h"
#include "tool_error.h"
#include "value_text.h"

namespace {

const char kDescription[] =
    "nyr-bridge: a device's store on an MQTT broker (publish), and a fleet mirrored into one "
    "store (mirror).\n"
    "It reaches nyrd at --socket, $NYR_SOCKET or the default socket, or opens a store file with "
    "--store. $NYR_TIMEOUT=MS bounds reaching nyrd and each call (default: 5 s to connect, "
    "calls unbounded; 0: no bound); a call that runs out counts as a lost store.\n"
    "Exit status: 0 clean stop (SIGTERM, SIGINT), 1 cannot start or a fatal error, 2 usage "
    "error.";

const char kTopics[] =
    "Topics, with B = PREFIX/DEVICE:\n"
    "  B/status         retained, QoS 1: {\"online\":true,\"since\":[sec,usec],\"version\":...};\n"
    "                   {\"online\":false} is the last will and is published on a clean stop\n"
    "  B/state/PATH     retained, QoS 1: one leaf as the export document writes it (type, value,\n"
    "                   time, property); empty when the leaf is cleared or removed\n"
    "  B/events/PATH    QoS 1: one event as nyr watch --json prints it\n"
    "  B/set/PATH       inbound, QoS 1: a leaf in the same form, written below --writable only;\n"
    "                   the outcome goes to B/result/PATH as {\"status\":N,\"meaning\":...}\n"
    "                   (N the store's status, 1 written; 0 refused by the bridge)\n"
    "Names in topics: each name of a store path is one topic level. The bytes + # % /, the\n"
    "control bytes 0x00-0x1F and 0x7F, the characters U+0080-U+009F and every byte that is not\n"
    "part of valid UTF-8 are written as %XX (two upper-case hexadecimal digits of the byte); an\n"
    "empty name is the level % alone. The device ID is one level encoded the same way. mirror\n"
    "decodes them, so the mirrored names are the device's bytes.";

void add_broker_options(CLI::App& command, nyr_bridge::BrokerOptions& broker) {
    command.add_option("--broker", broker.url, "mqtt://HOST:PORT or mqtts://HOST:PORT")->required();
    command.add_option("--cafile", broker.cafile, "CA certificates for mqtts");
    command.add_option("--cert", broker.cert, "Client certificate for mqtts");
    command.add_option("--key", broker.key, "Key of the client certificate");
    command.add_option("--username", broker.username, "User name at the broker");
    command.add_option("--password-file", broker.password_file,
                       "File whose first line is the password");
    command.add_option("--mqtt", broker.protocol, "Protocol: 4 (MQTT 3.1.1) or 5 (MQTT 5)")
        ->check(CLI::IsMember({4, 5}))
        ->capture_default_str();
    command.add_option("--client-id", broker.client_id,
                       "MQTT client ID (default: nyr-bridge-DEVICE, nyr-mirror-HOST-PID)");
}

std::string host_name() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    nyr_tool::StoreOptions store;
    nyr_bridge::BrokerOptions broker;
    nyr_bridge::PublishOptions publish;
    nyr_bridge::MirrorOptions mirror;
    std::string kinds;
    std::function<int()> action;

    CLI::App app(kDescription, "nyr-bridge");
    app.footer(kTopics);
    app.set_version_flag("--version", std::string("nyr-bridge ") + nyr_bridge::kBridgeVersion);
    app.set_help_all_flag("--help-all", "Print the help of every command");
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--socket", store.socket, "Socket of nyrd");
    app.add_option("--store", store.store_file, "Open this store file in process");

    CLI::App* command = app.add_subcommand(
        "publish", "Publish subtrees of the store: state retained, events, status; take writes");
    add_broker_options(*command, broker);
    command->add_option("--device", publish.device, "Device ID (a topic level)")->required();
    command->add_option("--prefix", publish.prefix, "Topic prefix")->capture_default_str();
    command->add_option("--kinds", kinds,
                        "Event kinds to publish: numbers (0x8), tree, all; comma-separated "
                        "(default: every kind but tree changes)");
    command->add_option("--spool", publish.spool_file,
                        "SQLite file keeping events until the broker acknowledged them "
                        "(default: in memory)");
    command
        ->add_option("--spool-bytes", publish.spool_bytes,
                     "Bound of the spool; past it the oldest events are dropped and counted")
        ->capture_default_str();
    command
        ->add_option("--writable", publish.writable,
                     "Subtree that B/set/... may write (repeatable); none by default")
        ->expected(1)  // one subtree per --writable: what follows is PATH
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command
        ->add_option("--poll", publish.poll_seconds,
                     "Compare the subtrees every SECONDS instead of following tree changes")
        ->check(CLI::PositiveNumber);
    command->add_flag("--from-log", publish.from_log,
                      "First publish the logged events since the last event taken");
    command->add_option("PATH", publish.paths, "Subtrees to publish")->required();
    command->callback([&] {
        if (!kinds.empty()) publish.kinds = nyr_tool::parse_kinds(kinds);
        if (broker.client_id.empty()) broker.client_id = "nyr-bridge-" + publish.device;
        action = [&] { return nyr_bridge::run_publish(store, broker, publish); };
    });

    command = app.add_subcommand("mirror", "Mirror every device under the prefix into the store");
    add_broker_options(*command, broker);
    command->add_option("--into", mirror.into, "Store path of the fleet")->required();
    command->add_option("--prefix", mirror.prefix, "Topic prefix")->capture_default_str();
    command->add_option("--devices", mirror.devices, "Glob of device IDs to mirror")
        ->capture_default_str();
    command->callback([&] {
        if (broker.client_id.empty())
            broker.client_id = "nyr-mirror-" + host_name() + "-" + std::to_string(getpid());
        action = [&] { return nyr_bridge::run_mirror(store, broker, mirror); };
    });

    const int parsed = nyr_tool::parse_command_line(app, argc, argv, "nyr-bridge", [&] {
        if (!store.socket.empty() && !store.store_file.empty())
            throw nyr_tool::usage_error("give --socket or --store, not both");
        for (const std::string& path : publish.paths)
            if (path.empty() || path[0] != '/')
                throw nyr_tool::usage_error("\"" + path + "\" is no store path");
        if (!mirror.into.empty() && mirror.into[0] != '/')
            throw nyr_tool::usage_error("--into \"" + mirror.into + "\" is no store path");
        nyr_bridge::parse_broker_url(broker.url);
    });
    if (parsed >= 0) return parsed;
    nyr_bridge::install_stop_handlers();
    // A usage error found only now (TLS files without mqtts, say) keeps its status 2.
    return nyr_tool::run_command("nyr-bridge", action);
}
