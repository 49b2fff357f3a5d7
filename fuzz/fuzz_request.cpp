// The daemon's decoder of requests on arbitrary bytes, and what it accepts carried out on a store
// of its own: no input may crash, leak or read outside its bytes, and every accepted request gets
// a reply that starts with the call's result.
#include <deque>

#include "codec/byte_cursor.h"
#include "fuzz_support.h"
#include "nyr_host.h"
#include "protocol/frame.h"
#include "protocol/messages.h"
#include "session_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // An exact-size copy of the input, so that a read past it is caught.
    const std::vector<char> bytes(data, data + size);
    nyrproto::Request request;
    if (!nyrproto::decode_request(bytes.empty() ? nullptr : bytes.data(), bytes.size(), request))
        return 0;

    qel_store_t* store = qel_host_store_open(nullptr);
    fuzz::check(store != nullptr, "a store in memory opens");
    qel_host_set_event_wait(store, 0);
    qel_handle_t handle = qel_host_handle_open(store);
    nyrd::Workspace work;
    nyrproto::FrameOut reply;
    nyrd::carry_out(request, handle, work, reply);
    fuzz::check(reply.body_size() >= 4, "every request gets a result");
    qel_host_store_close(store);
    return 0;
}
