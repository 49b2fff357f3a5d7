// CEvent: construction and the two conversions to and from the store's event record.
#include <toolkit/event.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace toolkit {

namespace {

// A pair that borrows the characters of `text`; valid while `text` is unchanged.
_byte_array_t borrow(const std::string& text) {
    _byte_array_t pair;
    pair.data = const_cast<char*>(text.data());
    pair.length = static_cast<uint32_t>(text.size());
    return pair;
}

// The text a pair describes; a null pointer or a length of 0 gives "".
bool has_text(const _byte_array_t& pair) {
    return pair.data != nullptr && pair.length != 0;
}

void take_text(std::string& to, const _byte_array_t& pair) {
    // assign() copes with a pair that points into `to` itself.
    if (has_text(pair))
        to.assign(pair.data, pair.length);
    else
        to.clear();
}

std::string text_of(const _byte_array_t& pair) {
    return has_text(pair) ? std::string(pair.data, pair.length) : std::string();
}

_byte_array_t* allocate_pairs(std::size_t count) {
    return static_cast<_byte_array_t*>(std::malloc(count * sizeof(_byte_array_t)));
}

}  // namespace

CEvent::CEvent(int32_t kind)
    : type(kind),
      path("/"),
      cmd(10),
      value(true),
      severity(0),
      was_logged(false),
      event_id(0),
      sequence_id(0),
      event_time(CElement::_invalid_time),
      cause(0),
      final(false),
      ack_status(0),
      base_priority(0),
      condition_raised(false),
      auto_close(false),
      variation_level(0) {
    // The slot starts all zero, so a quality leaves no stray bytes above its 16 bits.
    if (kind != QEL_EVENT_SEVERITY_KIND) quality = 192;
}

CEvent::CEvent(const _event_t& record) : CEvent(0) {
    value = CElement();
    *this = record;
}

_event_t CEvent::get_base() const {
    _event_t out;
    std::memset(static_cast<void*>(&out), 0, sizeof(out));

    out.type = type;
    out.cmd = cmd;
    out.was_logged = was_logged ? 1 : 0;
    out.cause = cause;
    out.event_time = to_time32(event_time);
    out.path = borrow(path);
    out.source = borrow(source);
    out.value = value;  // the 32 bytes as they stand: a payload points into `value`'s buffer
    if (type == QEL_EVENT_SEVERITY_KIND)
        out.severity = severity;
    else
        out.quality = quality;

    if (!generic()) return out;

    out.description = borrow(description);
    out.event_id = event_id;
    out.sequence_id = sequence_id;

    // An allocation failure leaves the array null with the count kept: the list is absent.
    if (!waveform_urls.empty()) {
        out.waveform_url_count = static_cast<uint32_t>(waveform_urls.size());
        out.waveform_urls = allocate_pairs(waveform_urls.size());
        if (out.waveform_urls != nullptr) {
            for (std::size_t i = 0; i < waveform_urls.size(); ++i)
                out.waveform_urls[i] = borrow(waveform_urls[i]);
        }
    }
    if (!details.empty()) {
        out.detail_count = static_cast<uint32_t>(details.size());
        out.detail_keys = allocate_pairs(details.size());
        if (out.detail_keys != nullptr) {
            out.detail_values = allocate_pairs(details.size());
            if (out.detail_values == nullptr) {
                std::free(out.detail_keys);
                out.detail_keys = nullptr;
            }
        }
        if (out.detail_keys != nullptr) {
            std::size_t i = 0;
            for (const auto& entry : details) {
                out.detail_keys[i] = borrow(entry.first);
                out.detail_values[i] = borrow(entry.second);
                ++i;
            }
        }
    }

    if (is_alarm()) {
        out.ack_status = ack_status;
        out.base_priority = base_priority;
        out.condition_raised = condition_raised ? 1 : 0;
        out.auto_close = auto_close ? 1 : 0;
        out.variation_level = variation_level;
        out.note = borrow(note);
    }
    if (type == QEL_EVENT_FINAL_KIND) out.final = final ? 1 : 0;
    return out;
}

// Partial assignment: the record's kind decides which fields are taken; the rest keep their
// values. The record may be one built by this event's own get_base, so lists are built aside and
// swapped in rather than emptied first. A list array that is null while its count is not zero
// marks the list as absent (what get_base leaves after a failed allocation): the list becomes
// empty. A detail list needs both its key and its value array.
CEvent& CEvent::operator=(const _event_t& record) {
    type = record.type;
    take_text(path, record.path);
    cmd = record.cmd;
    event_time = from_time32(record.event_time);
    value = record.value;
    take_text(source, record.source);
    if (type == QEL_EVENT_SEVERITY_KIND)
        severity = record.severity;
    else
        quality = record.quality;
    was_logged = record.was_logged != 0;
    cause = record.cause;

    if (!generic()) return *this;

    take_text(description, record.description);
    event_id = record.event_id;
    sequence_id = record.sequence_id;

    std::vector<std::string> urls;
    if (record.waveform_urls != nullptr) {
        urls.reserve(record.waveform_url_count);
        for (uint32_t i = 0; i < record.waveform_url_count; ++i)
            urls.push_back(text_of(record.waveform_urls[i]));
    }
    waveform_urls.swap(urls);

    std::map<std::string, std::string> entries;
    if (record.detail_keys != nullptr && record.detail_values != nullptr) {
        for (uint32_t i = 0; i < record.detail_count; ++i) {
            if (!has_text(record.detail_keys[i])) continue;
            entries.insert_or_assign(text_of(record.detail_keys[i]),
                                     text_of(record.detail_values[i]));
        }
    }
    details.swap(entries);

    if (is_alarm()) {
        ack_status = record.ack_status;
        base_priority = record.base_priority;
        condition_raised = record.condition_raised != 0;
        take_text(note, record.note);
        auto_close = record.auto_close != 0;
        variation_level = record.variation_level;
    }
    if (type == QEL_EVENT_FINAL_KIND) final = record.final != 0;
    return *this;
}

}  // namespace toolkit
