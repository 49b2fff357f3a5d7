// The host store's decoders of events on arbitrary bytes: the wire encoding (serialize_event)
// and the body of an event in the SQLite log. What a decoder accepts must make a record that the
// library can take over, and must encode again to something that decodes the same way.
#include <toolkit/event.h>
#include <toolkit/serialize.h>

#include <deque>

#include "fuzz_support.h"
#include "core/owned_event.h"
#include "log/body_codec.h"
#include "codec/wire_format.h"

namespace {

// A record built from a decoded event, taken over by the library and dumped.
std::string dump_of(const nyrhost::OwnedEvent& owned) {
    _event_t record;
    std::deque<std::string> texts;
    nyrhost::to_record(owned, record, texts);
    const toolkit::CEvent event(record);
    destruct_event(&record);
    fuzz::read_everything(event.value);
    return event.to_string();
}

void wire(const std::vector<char>& bytes) {
    nyrhost::OwnedEvent decoded;
    if (nyrhost::decode_event(bytes.empty() ? nullptr : bytes.data(), bytes.size(), decoded) != 0)
        return;
    const std::string line = dump_of(decoded);

    _event_t record;
    std::deque<std::string> texts;
    nyrhost::to_record(decoded, record, texts);
    std::vector<char> encoded;
    const int result = toolkit::serialize_event(encoded, record);
    destruct_event(&record);
    fuzz::check(result == 0, "a decoded event encodes");
    nyrhost::OwnedEvent again;
    fuzz::check(nyrhost::decode_event(encoded.data(), encoded.size(), again) == 0,
                "a re-encoded event decodes");
    fuzz::check(dump_of(again) == line, "the event round-trips");
}

void log_body(const std::vector<char>& bytes) {
    nyrhost::OwnedEvent decoded;
    const auto* first = reinterpret_cast<const unsigned char*>(bytes.data());
    if (!nyrhost::decode_logged_event(bytes.empty() ? nullptr : first, bytes.size(), decoded))
        return;
    const std::string line = dump_of(decoded);
    const std::string body = nyrhost::encode_logged_event(decoded);
    nyrhost::OwnedEvent again;
    fuzz::check(nyrhost::decode_logged_event(reinterpret_cast<const unsigned char*>(body.data()),
                                             body.size(), again),
                "a re-encoded log body decodes");
    fuzz::check(dump_of(again) == line, "the logged event round-trips");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the decoder; the rest is an exact-size copy of the encoding.
    const std::vector<char> bytes(data + 1, data + size);
    if (data[0] & 1) {
        log_body(bytes);
    } else {
        wire(bytes);
    }
    return 0;
}
