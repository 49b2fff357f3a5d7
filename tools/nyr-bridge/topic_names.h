// Store paths as MQTT topic levels, and back.
//
// Each name of a store path becomes one topic level. A level keeps the name's bytes except those
// a topic cannot carry as they are: '+', '#', '%', '/', the control bytes 0x00-0x1F and 0x7F, the
// C1 controls U+0080-U+009F and every byte of a sequence that is not valid UTF-8; each of those is
// written as '%' and two upper-case hexadecimal digits of the byte. An empty name is the level
// "%" alone. Decoding reverses this exactly, so every path, whatever its bytes, comes back whole.
#ifndef NYR_BRIDGE_TOPIC_NAMES_H
#define NYR_BRIDGE_TOPIC_NAMES_H

#include <string>

namespace nyr_bridge {

// One name as a topic level.
std::string encode_name(const std::string& name);
// The name of a topic level; false for a level that encode_name() never writes (a '%' without two
// hexadecimal digits, a '+' or '#').
bool decode_name(const std::string& level, std::string& name);

// A store path ("/a/b") as the topic levels that follow a topic's stem ("/a/b" with each name
// encoded); the root "/" gives "".
std::string path_to_levels(const std::string& path);
// The store path of the levels after a stem: "" gives "/", "/a/b" gives "/a/b". False for levels
// that do not start with '/' or hold a level that does not decode.
bool levels_to_path(const std::string& levels, std::string& path);

// The path `relative` (a store path) moved below `base`: base + relative, or base for "/".
std::string below(const std::string& base, const std::string& relative);
// True when `path` is `root` or lies below it.
bool is_within(const std::string& path, const std::string& root);

}  // namespace nyr_bridge

#endif  // NYR_BRIDGE_TOPIC_NAMES_H
