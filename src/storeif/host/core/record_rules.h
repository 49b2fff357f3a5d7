// Rules about records that several parts of the host store apply, each defined once here.
#ifndef NYR_HOST_CORE_RECORD_RULES_H
#define NYR_HOST_CORE_RECORD_RULES_H

#include <cstdint>

#include "nyr.h"

namespace nyrhost {

// Which fields an event record of kind `type` carries besides those every kind carries.
inline bool carries_generic(int32_t type) {
    return (type & QEL_EVENT_GENERIC_MASK) != 0;
}
inline bool carries_alarm(int32_t type) {
    return (type & QEL_EVENT_ALARM_MASK) != 0;
}
inline bool carries_final(int32_t type) {
    return type == QEL_EVENT_FINAL_KIND;
}
inline bool carries_severity(int32_t type) {
    return type == QEL_EVENT_SEVERITY_KIND;
}

// True for the value types whose record points at bytes (a string or a blob).
inline bool has_payload(int32_t type) {
    return type == DATATYPE_STRING || type == DATATYPE_BLOB;
}

// A text argument as the store reads it: null reads as empty.
inline const char* or_empty(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_RECORD_RULES_H
