// Shared helpers for the host store's tests.
#include "store_fixture.h"

#include <cstdlib>

namespace storetest {

std::vector<Seen> take_events(qel_handle_t handle, bool wait) {
    _event_t* records = nullptr;
    const int n =
        wait ? qel_events_get(handle, &records) : qel_events_get_nonblocking(handle, &records);
    std::vector<Seen> seen;
    if (n <= 0) {
        EXPECT_EQ(records, nullptr);
        return seen;
    }
    for (int i = 0; i < n; ++i) {
        const _event_t& r = records[i];
        Seen s{bytes_of(r.path), r.cmd, r.type, bytes_of(r.source), r.value, {}};
        if (r.value.type == DATATYPE_STRING || r.value.type == DATATYPE_BLOB)
            s.payload = bytes_of(r.value.value.string_value);
        seen.push_back(s);
        destruct_event(&records[i]);
    }
    std::free(records);
    return seen;
}

}  // namespace storetest
