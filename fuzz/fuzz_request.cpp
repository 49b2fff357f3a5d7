// The daemon's decoder of requests on arbitrary bytes, and what it accepts carried out on a store
// of its own: no input may crash, leak or read outside its bytes, and every accepted request gets
// a reply that starts with the call's result.
#include "core/store.h"
#include "fuzz_support.h"
#include "nyr_host.h"
#include "protocol/fields.h"
#include "session_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // An exact-size copy of the input, so that a read past it is caught.
    const std::vector<char> bytes(data, data + size);
    const char* body = bytes.empty() ? nullptr : bytes.data();
    nyrproto::Memory memory;
    if (nyrproto::decode_request(body, bytes.size(), memory, [](auto&) {}) !=
        nyrproto::Decoded::kCarried)
        return 0;

    qel_store_t* store = qel_host_store_open(nullptr);
    fuzz::check(store != nullptr, "a store in memory opens");
    qel_host_set_event_wait(store, 0);
    qel_handle_t handle = qel_host_handle_open(store);
    nyrproto::FrameOut reply;
    fuzz::check(nyrd::carry_out(body, bytes.size(), nyrhost::find(handle).local, memory, reply),
                "a request that decodes is carried out");
    fuzz::check(reply.body_size() >= 8, "every request gets a result");
    qel_host_store_close(store);
    return 0;
}
