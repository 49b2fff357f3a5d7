// Services that need no store: uuid and hmac.
#include <toolkit/nyr.h>

#include <cstdio>
#include <memory>

#include "commands.h"
#include "tool_error.h"

namespace nyr_tool {

void add_service_commands(CLI::App& app, Context& context) {
    auto text = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(
        "uuid", "Print a UUID: name-based from TEXT (version 5), random without (version 4)");
    command->add_option("TEXT", *text, "Name to derive the UUID from");
    command->callback([&context, text] {
        context.action = [text] {
            std::string out;
            check_result("uuid", toolkit::CNyr::create_uuid(*text, out));
            std::printf("%s\n", out.c_str());  // the store's text ends with its NUL
            return kExitOk;
        };
    });

    auto key = std::make_shared<std::string>();
    auto message = std::make_shared<std::string>();
    auto length = std::make_shared<unsigned>(20);
    command = app.add_subcommand("hmac", "Print the HMAC-SHA1 of MESSAGE under KEY in hex");
    command->add_option("KEY", *key, "The key")->required();
    command->add_option("MESSAGE", *message, "The message")->required();
    command->add_option("LENGTH", *length, "Hex digits to print, 1 to 20")
        ->check(CLI::Range(1, 20))
        ->capture_default_str();
    command->callback([&context, key, message, length] {
        context.action = [key, message, length] {
            std::string out;
            if (toolkit::CNyr::create_hmac(*key, *message, out, *length) != 0)
                throw refused("hmac: this build cannot compute HMAC codes");
            std::printf("%s\n", out.c_str());
            return kExitOk;
        };
    });
}

}  // namespace nyr_tool
