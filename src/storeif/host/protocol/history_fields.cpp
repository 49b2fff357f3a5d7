// The wire form of the history's records: a change of the tree, and an entry of a subtree as it
// was. Each is its fields in declaration order, in the codec's forms of each; a value and its
// property word travel only when their flag says the change has them.
#include "protocol/fields.h"

namespace nyrproto {

void FieldWriter::operator()(const qel_host_change_t& v) {
    (*this)(v.revision);
    (*this)(v.index);
    (*this)(v.kind);
    (*this)(&v.time);
    (*this)(v.path);
    (*this)(v.has_old);
    if (v.has_old) (*this)(v.old_value), (*this)(v.old_property);
    (*this)(v.has_new);
    if (v.has_new) (*this)(v.new_value), (*this)(v.new_property);
    (*this)(v.source);
    (*this)(v.has_peer);
    (*this)(v.uid);
    (*this)(v.pid);
}

void FieldReader::operator()(qel_host_change_t& v) {
    (*this)(v.revision);
    (*this)(v.index);
    (*this)(v.kind);
    const struct timeval* time = nullptr;
    (*this)(time);
    if (time == nullptr) return r.fail();
    v.time = *time;
    (*this)(v.path);
    (*this)(v.has_old);
    if (v.has_old) (*this)(v.old_value), (*this)(v.old_property);
    (*this)(v.has_new);
    if (v.has_new) (*this)(v.new_value), (*this)(v.new_property);
    (*this)(v.source);
    (*this)(v.has_peer);
    (*this)(v.uid);
    (*this)(v.pid);
    if (v.path == nullptr || v.source == nullptr) r.fail();
}

void FieldWriter::operator()(const qel_host_entry_t& v) {
    (*this)(v.path);
    (*this)(v.is_leaf);
    if (v.is_leaf) (*this)(v.value), (*this)(v.property);
}

void FieldReader::operator()(qel_host_entry_t& v) {
    (*this)(v.path);
    (*this)(v.is_leaf);
    if (v.is_leaf) (*this)(v.value), (*this)(v.property);
    if (v.path == nullptr) r.fail();
}

}  // namespace nyrproto
