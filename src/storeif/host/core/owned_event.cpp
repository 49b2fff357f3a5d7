// Owned copies of event records and records built back from them.
#include "core/owned_event.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace nyrhost {

namespace {

std::string text_of(const _byte_array_t& pair) {
    if (pair.data == nullptr || pair.length == 0) return std::string();
    return std::string(pair.data, pair.length);
}

// A pair pointing at a copy of `text` kept alive by `texts`; empty texts point nowhere.
_byte_array_t pair_for(const std::string& text, std::deque<std::string>& texts) {
    _byte_array_t pair{};
    if (text.empty()) return pair;
    texts.push_back(text);
    pair.data = &texts.back()[0];
    pair.length = static_cast<uint32_t>(text.size());
    return pair;
}

// The value record without the pointer of a string or blob; the bytes go to `payload`.
void copy_value(const _element_datatype_t& from, _element_datatype_t& to, std::string& payload) {
    std::memcpy(static_cast<void*>(&to), &from, sizeof to);
    if (!has_payload(from.type)) return;
    payload = text_of(from.value.string_value);
    std::memset(static_cast<void*>(&to.value), 0, sizeof to.value);
    to.value.string_value.length = static_cast<uint32_t>(payload.size());
}

void copy_generic(const _event_t& record, OwnedEvent& event) {
    _event_t& s = event.scalars;
    event.description = text_of(record.description);
    s.event_id = record.event_id;
    s.sequence_id = record.sequence_id;
    if (record.waveform_urls != nullptr) {
        event.waveform_urls.reserve(record.waveform_url_count);
        for (uint32_t i = 0; i < record.waveform_url_count; ++i)
            event.waveform_urls.push_back(text_of(record.waveform_urls[i]));
    }
    if (record.detail_keys != nullptr && record.detail_values != nullptr) {
        for (uint32_t i = 0; i < record.detail_count; ++i) {
            std::string key = text_of(record.detail_keys[i]);
            if (key.empty()) continue;
            event.details.emplace_back(std::move(key), text_of(record.detail_values[i]));
        }
    }
    s.waveform_url_count = static_cast<uint32_t>(event.waveform_urls.size());
    s.detail_count = static_cast<uint32_t>(event.details.size());
}

void copy_alarm(const _event_t& record, OwnedEvent& event) {
    _event_t& s = event.scalars;
    s.ack_status = record.ack_status;
    s.base_priority = record.base_priority;
    s.condition_raised = record.condition_raised;
    s.auto_close = record.auto_close;
    s.variation_level = record.variation_level;
    event.note = text_of(record.note);
}

// malloc'd array of pairs for `count` entries, or null; never for zero entries.
_byte_array_t* allocate_pairs(size_t count) {
    if (count == 0) return nullptr;
    return static_cast<_byte_array_t*>(std::calloc(count, sizeof(_byte_array_t)));
}

void build_lists(const OwnedEvent& event, _event_t& out, std::deque<std::string>& texts) {
    out.waveform_urls = allocate_pairs(event.waveform_urls.size());
    out.waveform_url_count = 0;
    if (out.waveform_urls != nullptr) {
        for (const std::string& url : event.waveform_urls)
            out.waveform_urls[out.waveform_url_count++] = pair_for(url, texts);
    }

    out.detail_keys = allocate_pairs(event.details.size());
    out.detail_values = out.detail_keys ? allocate_pairs(event.details.size()) : nullptr;
    out.detail_count = 0;
    if (out.detail_values == nullptr) {
        std::free(out.detail_keys);
        out.detail_keys = nullptr;
        return;
    }
    for (const auto& detail : event.details) {
        out.detail_keys[out.detail_count] = pair_for(detail.first, texts);
        out.detail_values[out.detail_count] = pair_for(detail.second, texts);
        ++out.detail_count;
    }
}

}  // namespace

std::size_t footprint(const OwnedEvent& event) {
    std::size_t bytes = sizeof(OwnedEvent) + event.path.size() + event.source.size() +
                        event.description.size() + event.note.size() + event.value_payload.size();
    for (const std::string& url : event.waveform_urls) bytes += sizeof(std::string) + url.size();
    for (const auto& detail : event.details)
        bytes += 2 * sizeof(std::string) + detail.first.size() + detail.second.size();
    return bytes;
}

OwnedEvent from_record(const _event_t& record) {
    OwnedEvent event;
    _event_t& s = event.scalars;  // value-initialised: every field zero, every pointer null
    s.type = record.type;
    s.cmd = record.cmd;
    copy_value(record.value, s.value, event.value_payload);
    if (carries_severity(record.type))
        s.severity = record.severity;
    else
        s.quality = record.quality;
    s.was_logged = record.was_logged;
    s.event_time = record.event_time;
    s.cause = record.cause;
    event.path = text_of(record.path);
    event.source = text_of(record.source);

    if (!carries_generic(record.type)) return event;
    copy_generic(record, event);
    if (carries_alarm(record.type)) copy_alarm(record, event);
    if (carries_final(record.type)) s.final = record.final;
    return event;
}

void to_record(const OwnedEvent& event, _event_t& out, std::deque<std::string>& texts) {
    std::memcpy(static_cast<void*>(&out), &event.scalars, sizeof out);
    out.path = pair_for(event.path, texts);
    out.source = pair_for(event.source, texts);
    out.description = _byte_array_t{};
    out.note = _byte_array_t{};
    if (has_payload(out.value.type)) {
        out.value.value.string_value = pair_for(event.value_payload, texts);
    }
    out.waveform_urls = nullptr;
    out.waveform_url_count = 0;
    out.detail_keys = nullptr;
    out.detail_values = nullptr;
    out.detail_count = 0;
    if (!carries_generic(out.type)) return;
    out.description = pair_for(event.description, texts);
    build_lists(event, out, texts);
    if (carries_alarm(out.type)) out.note = pair_for(event.note, texts);
}

RecordArray::RecordArray(std::size_t n)
    : records_(static_cast<_event_t*>(std::calloc(n == 0 ? 1 : n, sizeof(_event_t)))) {
    if (!records_) throw std::bad_alloc();
}

RecordArray::~RecordArray() {
    for (std::size_t k = 0; k < made_; ++k) destruct_event(&records_[k]);
    std::free(records_);
}

_event_t* RecordArray::release(uint32_t& count) {
    count = static_cast<uint32_t>(made_);
    made_ = 0;
    return std::exchange(records_, nullptr);
}

}  // namespace nyrhost
