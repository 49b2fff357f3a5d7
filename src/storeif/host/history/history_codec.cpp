// The history's encodings of leaves and removed subtrees.
#include "history/history_codec.h"

#include "codec/wire_format.h"
#include "core/record_rules.h"
#include "log/crc32c.h"
#include "persist/tree_row.h"

namespace nyrhost {

namespace {

void put32(std::string& out, uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    out.append(bytes, 4);
}

bool take32(std::string_view& in, uint32_t& v) {
    if (in.size() < 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    v = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
    in.remove_prefix(4);
    return true;
}

bool take_text(std::string_view& in, std::string_view& text) {
    uint32_t n = 0;
    if (!take32(in, n) || in.size() < n) return false;
    text = in.substr(0, n);
    in.remove_prefix(n);
    return true;
}

}  // namespace

std::string encode_leaf(const _element_datatype_t& record, std::string_view payload,
                        element_property_t property) {
    std::string out;
    put32(out, property);
    put32(out, record._fill);
    out += encode_leaf_value(record, payload);
    return out;
}

std::string encode_removed(const std::vector<RemovedEntry>& entries, std::string_view node) {
    std::string out;
    for (const RemovedEntry& entry : entries) {
        const std::string_view relative = std::string_view(entry.path).substr(node.size());
        put32(out, static_cast<uint32_t>(relative.size()));
        out += relative;
        out += entry.leaf ? '\1' : '\0';
        if (entry.leaf) {
            const std::string leaf =
                encode_leaf(entry.leaf->record, entry.leaf->payload, entry.leaf->property);
            put32(out, static_cast<uint32_t>(leaf.size()));
            out += leaf;
        }
    }
    return out;
}

bool decode_leaf(std::string_view bytes, LeafCopy& out) {
    uint32_t property = 0, fill = 0;
    if (!take32(bytes, property) || !take32(bytes, fill)) return false;
    _element_datatype_t record{};
    std::string payload;
    if (decode_element(bytes.data(), bytes.size(), record, payload) != 0) return false;
    const int32_t type = static_cast<int32_t>(record.type);
    if (type < DATATYPE_BOOL || type > DATATYPE_UINT64) return false;
    record._fill = fill;
    if (has_payload(type)) record.value.string_value.data = nullptr;
    out.record = record;
    out.payload = std::move(payload);
    out.property = property;
    return true;
}

bool decode_removed(std::string_view bytes, std::vector<RemovedItem>& out) {
    while (!bytes.empty()) {
        RemovedItem item;
        std::string_view path;
        if (!take_text(bytes, path) || path.empty() || path[0] != '/' || bytes.empty())
            return false;
        item.path = std::string(path);
        const char is_leaf = bytes[0];
        bytes.remove_prefix(1);
        if (is_leaf == '\1') {
            std::string_view leaf;
            item.leaf.emplace();
            if (!take_text(bytes, leaf) || !decode_leaf(leaf, *item.leaf)) return false;
        } else if (is_leaf != '\0') {
            return false;
        }
        out.push_back(std::move(item));
    }
    return true;
}

uint32_t change_checksum(const HistoryChange& change) {
    Crc32c crc;
    crc.u64(change.revision);
    crc.u64(change.index);
    crc.u64(static_cast<uint64_t>(change.time_us));
    crc.u64(static_cast<uint64_t>(change.kind));
    crc.text(change.path);
    for (const auto* value : {&change.old_value, &change.new_value}) {
        crc.u64(*value ? 1 : 0);
        if (*value) crc.text(**value);
    }
    crc.text(change.source);
    crc.u64(change.has_peer ? 1 : 0);
    crc.u64(change.uid);
    crc.u64(change.pid);
    return crc.value();
}

}  // namespace nyrhost
