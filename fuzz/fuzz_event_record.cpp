// Arbitrary event records, as the store could hand them back: any scalar bytes, texts of any
// content, and waveform and detail arrays whose lengths agree with their counts (entries may be
// null pointers of length 0). The record is assigned to events, dumped, rebuilt with get_base,
// and sent through the wire encoding and the host store's owned copies.
#include <toolkit/event.h>
#include <toolkit/serialize.h>

#include <deque>

#include "codec/wire_format.h"
#include "core/owned_event.h"
#include "fuzz_support.h"

namespace {

// The texts and arrays a record points into, kept alive for the whole run.
struct RecordStorage {
    std::deque<std::string> texts;
    std::vector<_byte_array_t> urls, keys, values;

    _byte_array_t pair(fuzz::Input& in) {
        const uint8_t shape = in.u8();
        if (shape == 0xFF) return _byte_array_t{nullptr, 0};  // an absent text
        texts.push_back(in.text(shape));
        std::string& t = texts.back();
        return _byte_array_t{t.empty() ? nullptr : &t[0], static_cast<uint32_t>(t.size())};
    }
};

_event_t build_record(fuzz::Input& in, RecordStorage& storage) {
    _event_t record;
    std::memset(&record, 0, sizeof record);
    in.fill(&record, sizeof record);  // every scalar byte from the input
    record.path = storage.pair(in);
    record.source = storage.pair(in);
    record.description = storage.pair(in);
    record.note = storage.pair(in);
    record.value.type = static_cast<data_type_t>(in.u8());
    if (record.value.type == DATATYPE_STRING || record.value.type == DATATYPE_BLOB) {
        record.value.value.string_value = storage.pair(in);
    }
    const uint32_t url_count = in.u8() % 8;
    for (uint32_t i = 0; i < url_count; ++i) storage.urls.push_back(storage.pair(in));
    const uint32_t detail_count = in.u8() % 8;
    for (uint32_t i = 0; i < detail_count; ++i) {
        storage.keys.push_back(storage.pair(in));
        storage.values.push_back(storage.pair(in));
    }
    record.waveform_urls = storage.urls.empty() ? nullptr : storage.urls.data();
    record.waveform_url_count = url_count;
    record.detail_keys = storage.keys.empty() ? nullptr : storage.keys.data();
    record.detail_values = storage.values.empty() ? nullptr : storage.values.data();
    record.detail_count = detail_count;
    return record;
}

std::string text_of(const _byte_array_t& pair) {
    return pair.data == nullptr ? std::string() : std::string(pair.data, pair.length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    RecordStorage storage;
    const _event_t record = build_record(in, storage);

    // The record constructor, and assignment over an event of another kind.
    const toolkit::CEvent event(record);
    fuzz::check(event.type == record.type, "the kind is taken");
    fuzz::check(event.path == text_of(record.path), "the path is copied");
    fuzz::check(event.source == text_of(record.source), "the source is copied");
    fuzz::check(event.cmd == record.cmd && event.cause == record.cause, "scalars are copied");
    fuzz::check(event.value.type == record.value.type, "the value's type is taken");
    fuzz::check_payload_invariant(event.value);
    if (event.generic()) {
        fuzz::check(event.waveform_urls.size() == record.waveform_url_count,
                    "every waveform entry is taken");
        fuzz::check(event.details.size() <= record.detail_count, "at most one detail per key");
    }
    toolkit::CEvent reused(0x100);
    reused.note = "kept";
    reused = record;
    fuzz::check(reused.type == record.type && reused.path == event.path, "assignment");
    if (!reused.is_alarm()) fuzz::check(reused.note == "kept", "fields not carried are kept");

    fuzz::read_everything(event.value);
    const std::string line = event.to_string();
    fuzz::check(line.compare(0, 5, "type:") == 0, "the dump starts with the kind");

    // get_base and back: an event built from its own record dumps the same.
    _event_t base = event.get_base();
    fuzz::check(base._reserved == 0, "the reserved word is zero");
    fuzz::check(base.path.length == event.path.size(), "path pair length");
    if (!event.generic()) {
        fuzz::check(base.waveform_urls == nullptr && base.detail_keys == nullptr &&
                        base.detail_count == 0 && base.waveform_url_count == 0,
                    "kinds without generic fields carry no lists");
    }
    const toolkit::CEvent again(base);
    fuzz::check(again.to_string() == line, "an event survives its own record");

    // Through the wire encoding and back.
    std::vector<char> bytes;
    const int result = toolkit::serialize_event(bytes, base);
    if (record.value.type >= DATATYPE_INVALID && record.value.type <= DATATYPE_UINT64) {
        fuzz::check(result == 0, "an event with a known value type is encoded");
        nyrhost::OwnedEvent decoded;
        fuzz::check(nyrhost::decode_event(bytes.data(), bytes.size(), decoded) == 0,
                    "an encoded event decodes");
        fuzz::check(decoded.path == event.path && decoded.source == event.source,
                    "decoding keeps the texts");
        fuzz::check(decoded.scalars.type == event.type, "decoding keeps the kind");
        _event_t rebuilt;
        std::deque<std::string> texts;
        nyrhost::to_record(decoded, rebuilt, texts);
        const toolkit::CEvent from_wire(rebuilt);
        destruct_event(&rebuilt);
        fuzz::check(from_wire.to_string() == line, "an event survives the wire encoding");
    } else {
        fuzz::check(result != 0, "an unknown value type is not encoded");
    }
    destruct_event(&base);

    // The host store's own copy of the raw record.
    const nyrhost::OwnedEvent owned = nyrhost::from_record(record);
    _event_t copy;
    std::deque<std::string> texts;
    nyrhost::to_record(owned, copy, texts);
    fuzz::check(copy.type == record.type, "the host copy keeps the kind");
    destruct_event(&copy);
    return 0;
}
