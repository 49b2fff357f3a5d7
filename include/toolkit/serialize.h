/// @file
/// @brief Byte vectors of store records.
///
/// The encoding is the store's (::serialize_event / ::serialize_element); these functions manage
/// the output buffer for it, with at most two store calls: `out` is offered as it is, and only
/// when the store reports that it needs more room is it resized once, to exactly that size, and
/// offered again.
#ifndef TOOLKIT_SERIALIZE_H
#define TOOLKIT_SERIALIZE_H

#include <nyr.h>
#include <toolkit/export.h>

#include <vector>

namespace toolkit {

/// The store's encoding of an event record.
/// @param[in,out] out Offered to the store as it is, resized once when the store needs more room.
/// @param event The event record, only read.
/// @return 0 with `out` holding exactly the encoding; a negative store result with `out`
///         unchanged in size; a positive second result with `out` at the size the first call
///         asked for.
TOOLKIT_API int serialize_event(std::vector<char>& out, const _event_t& event);
/// The store's encoding of a value record, as serialize_event().
/// @param[in,out] out Offered to the store as it is, resized once when the store needs more room.
/// @param value The value record, only read.
/// @param flag Passed to the store (the host store includes the value's time stamp when it is
///        set).
/// @return As serialize_event().
TOOLKIT_API int serialize_element(std::vector<char>& out, const _element_datatype_t& value,
                                  bool flag);

}  // namespace toolkit

#endif  // TOOLKIT_SERIALIZE_H
