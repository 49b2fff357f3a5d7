// The wire form of the history's records: a change of the tree, and an entry of a subtree as it
// was. Each is its fields in declaration order; a value and its property word travel only when
// their flag says the change has them.
#include "protocol/fields.h"

namespace nyrproto {

namespace {

void write_flag(nyrhost::WireWriter& w, bool v) {
    w.u8(v ? 1 : 0);
}

bool read_flag(nyrhost::WireReader& r) {
    const uint8_t v = r.u8();
    if (v > 1) r.fail();
    return v == 1;
}

}  // namespace

void FieldWriter::operator()(const qel_host_change_t& v) {
    w.u64(v.revision);
    w.u32(v.index);
    w.i32(v.kind);
    write_time(w, &v.time);
    write_ptext(w, v.path);
    write_flag(w, v.has_old);
    if (v.has_old) write_value(w, v.old_value), w.u32(v.old_property);
    write_flag(w, v.has_new);
    if (v.has_new) write_value(w, v.new_value), w.u32(v.new_property);
    write_ptext(w, v.source);
    write_flag(w, v.has_peer);
    w.u32(v.uid);
    w.u32(v.pid);
}

void FieldReader::operator()(qel_host_change_t& v) {
    v.revision = r.u64();
    v.index = r.u32();
    v.kind = r.i32();
    bool present = false;
    read_time(r, present, v.time);
    if (!present) r.fail();
    read_ptext(r, v.path);
    if ((v.has_old = read_flag(r)))
        read_value(r, v.old_value, memory.text()), v.old_property = r.u32();
    if ((v.has_new = read_flag(r)))
        read_value(r, v.new_value, memory.text()), v.new_property = r.u32();
    read_ptext(r, v.source);
    v.has_peer = read_flag(r);
    v.uid = r.u32();
    v.pid = r.u32();
    if (v.path == nullptr || v.source == nullptr) r.fail();
}

void FieldWriter::operator()(const qel_host_entry_t& v) {
    write_ptext(w, v.path);
    write_flag(w, v.is_leaf);
    if (v.is_leaf) write_value(w, v.value), w.u32(v.property);
}

void FieldReader::operator()(qel_host_entry_t& v) {
    read_ptext(r, v.path);
    if ((v.is_leaf = read_flag(r))) read_value(r, v.value, memory.text()), v.property = r.u32();
    if (v.path == nullptr) r.fail();
}

}  // namespace nyrproto
