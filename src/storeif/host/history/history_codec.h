// The bytes the history keeps of a leaf and of the entries below a removed node, and the
// checksum of a history row.
//
// A leaf: its property word and fill word (4 bytes each, big-endian), then its record in the
// value encoding of serialize_element with the time stamp. Entries below a removed node: for
// each, parents first, its path relative to the node (starting with '/') length-prefixed, a
// byte 1 for a leaf or 0 for a node, and for a leaf its encoding length-prefixed.
#ifndef NYR_HOST_HISTORY_HISTORY_CODEC_H
#define NYR_HOST_HISTORY_HISTORY_CODEC_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/tree.h"
#include "history/history.h"

namespace nyrhost {

// Throw std::bad_alloc.
std::string encode_leaf(const _element_datatype_t& record, std::string_view payload,
                        element_property_t property);
std::string encode_removed(const std::vector<RemovedEntry>& entries, std::string_view node);

// False for bytes that are not such an encoding.
bool decode_leaf(std::string_view bytes, LeafCopy& out);
struct RemovedItem {
    std::string path;  // relative to the removed node
    std::optional<LeafCopy> leaf;
};
bool decode_removed(std::string_view bytes, std::vector<RemovedItem>& out);

// CRC-32C over every field of a change, each length-prefixed or fixed-width.
uint32_t change_checksum(const HistoryChange& change);

}  // namespace nyrhost

#endif  // NYR_HOST_HISTORY_HISTORY_CODEC_H
