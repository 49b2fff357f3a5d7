// Values crossing into and out of the host store's tree.
#ifndef NYR_HOST_CORE_VALUE_H
#define NYR_HOST_CORE_VALUE_H

#include "core/record_rules.h"
#include "core/store.h"
#include "core/tree.h"

namespace nyrhost {

// Builds the leaf a write keeps: a deep copy of `record`, stamped with the current time when
// `auto_time` is set, with `tribool` as its property word. Returns QEL_STATUS_OK, or
// QEL_STATUS_BAD_TYPE for a type code outside 1..10, or QEL_STATUS_BAD_ARGUMENT for a text or
// byte array with a null data pointer and a non-zero length (`out` is then unspecified).
int make_leaf(const _element_datatype_t& record, bool auto_time, qel_tribool_t tribool,
              LeafValue& out);

// The record handed back for a leaf; its payload is copied into `scratch`.
_element_datatype_t hand_out(const LeafValue& leaf, Scratch& scratch);

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_VALUE_H
