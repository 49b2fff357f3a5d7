// The host store's decoder of events (the encoding serialize_event writes, which the SQLite log
// keeps too) on arbitrary bytes. What it accepts must make a record that the library can take
// over, and must encode again to something that decodes the same way.
#include <toolkit/event.h>
#include <toolkit/serialize.h>

#include <deque>

#include "codec/wire_format.h"
#include "core/owned_event.h"
#include "fuzz_support.h"
#include "log/log_entry.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // An exact-size copy of the input, so that a read past it is caught.
    const std::vector<char> bytes(data, data + size);
    nyrhost::OwnedEvent decoded;
    if (nyrhost::decode_event(bytes.empty() ? nullptr : bytes.data(), bytes.size(), decoded) != 0)
        return 0;
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

    // The SQLite log keeps an event as such an encoding plus its side columns.
    const nyrhost::LogEntry entry = nyrhost::entry_of(decoded);
    nyrhost::OwnedEvent logged;
    fuzz::check(nyrhost::event_of(nyrhost::row_of(decoded, entry), logged),
                "a log entry reads back");
    fuzz::check(dump_of(logged) == line, "the logged event round-trips");
    return 0;
}
